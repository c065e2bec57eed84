#include "app/qt/qsettings_store.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#include "app/parameters.h"
#include "app/settings.h"

using namespace dravik;

namespace {

// QSettings fixes the user's configuration folder at its first use in the
// process, so every test here shares one temporary XDG_CONFIG_HOME, made before
// any test runs and removed after the last.
class ConfigHomeEnvironment : public testing::Environment {
  public:
    void SetUp() override {
        std::string pattern = testing::TempDir() + "dravik_qsettings_XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        setenv("XDG_CONFIG_HOME", pattern.c_str(), 1);
        home = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        if (!home.empty()) std::filesystem::remove_all(home, ec);
    }
    std::string home;
};

// gtest owns the environment.
ConfigHomeEnvironment* const g_config = static_cast<ConfigHomeEnvironment*>(
    testing::AddGlobalTestEnvironment(new ConfigHomeEnvironment));

const std::string& ConfigHome() {
    return g_config->home;
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A file of its own per test: QSettings shares what it read per file name.
std::string FreshIni(const char* name, const std::string& text) {
    std::string path = ConfigHome() + "/" + name + ".ini";
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

}  // namespace

TEST(QSettingsStore, UserFileRoundTripsTheSections) {
    const std::string home = ConfigHome();
    const std::string path = home + "/Quillfern/Dravik.conf";
    std::filesystem::remove(path);

    CDravikParameters p;
    for (const char* option : {"/d, ", "/ci", "/tf", "/efc", "/b2048", "/l10-2", "/fe", "/w12"}) {
        ASSERT_TRUE(p.ParseOption(option)) << option;
    }
    CFileListSettings log(FileListKind::kLog, "/data/casts/");
    log.file_selected = "cast 1.raw";
    log.sort_type = 1;
    CNamingSettings naming(NamingKind::kHeader);
    naming.file_increment = "";
    CConversionLogWindowSettings window;
    window.rect = CWindowRect{-1920, 10, -900, 700};
    {
        CQSettingsStore store;
        EXPECT_EQ(store.FileName(), path);
        p.WriteParameters(store);
        log.Write(store);
        naming.Write(store);
        window.WriteRect(store);
        EXPECT_TRUE(store.Sync());
    }
    const std::string text = Slurp(path);
    EXPECT_NE(text.find("Buffer=2048"), std::string::npos) << text;

    CQSettingsStore store;
    CDravikParameters p_back;
    p_back.ReadParameters(store);
    EXPECT_EQ(p_back.delimiter, ", ");
    EXPECT_EQ(p_back.format.apply_fit, 1);  // a key with a space
    EXPECT_EQ(p_back.immersed, 1);
    EXPECT_EQ(p_back.time_tags_formatted, 1);
    EXPECT_EQ(p_back.check_sum_checking + p_back.frame_counter_checking, 2);
    EXPECT_EQ(p_back.buffer, 2048);
    EXPECT_EQ(p_back.process_limit, 10);
    EXPECT_EQ(p_back.process_depth, 2);
    EXPECT_EQ(p_back.format.double_type, 1);
    EXPECT_EQ(p_back.format.width, 12);
    EXPECT_EQ(p_back.format.precision, -1);
    CFileListSettings log_back(FileListKind::kLog, "/x/");
    log_back.Read(store);
    EXPECT_EQ(log_back.working_directory, "/data/casts/");
    EXPECT_EQ(log_back.file_selected, "cast 1.raw");
    EXPECT_EQ(log_back.sort_type, 1);
    CNamingSettings naming_back(NamingKind::kHeader);
    naming_back.Read(store);
    EXPECT_EQ(naming_back.file_increment, "");
    CConversionLogWindowSettings window_back;
    window_back.Read(store);
    EXPECT_TRUE(window_back.rect == window.rect);
}

TEST(QSettingsStore, StoredTextIsReadStrictly) {
    CQSettingsStore store(FreshIni("strict",
                                   "[Parameters]\n"
                                   "Apply%20Fit=1\n"
                                   "Buffer=4096x\n"
                                   "Width=+12\n"
                                   "Precision=99999999999\n"
                                   "Process%20Limit=-1\n"
                                   "Process%20Depth=\"-1\"\n"
                                   "Hex%20Format=true\n"
                                   "Show%20Extra=\n"
                                   "Double%20Type=2\n"
                                   "Delimiter=-1\n"
                                   "[Log%20View]\n"
                                   "File%20Filter=\n"
                                   "File%20Selected=\n"));
    CDravikParameters p;
    p.process_limit = 50;
    p.ReadParameters(store);
    EXPECT_EQ(p.format.apply_fit, 1);
    EXPECT_EQ(p.buffer, 8192);
    EXPECT_EQ(p.format.width, 12);
    EXPECT_EQ(p.format.precision, -1);
    EXPECT_EQ(p.process_limit, 50);
    EXPECT_EQ(p.process_depth, 1);
    EXPECT_EQ(p.format.hex_format, 0);
    EXPECT_EQ(p.show_extra, 0);
    EXPECT_EQ(p.format.double_type, 2);
    EXPECT_EQ(p.delimiter, "\t");

    CFileListSettings log(FileListKind::kLog, "/start/");
    log.file_selected = "old.raw";
    log.Read(store);
    EXPECT_EQ(log.file_filter, "*.raw");
    EXPECT_EQ(log.file_selected, "");
    EXPECT_EQ(store.GetInt("Parameters", "Missing", 7), 7);
    EXPECT_EQ(store.GetString("Parameters", "Missing", "d"), "d");
}

TEST(QSettingsStore, AwkwardStringsComeBackUnchanged) {
    const std::string path = FreshIni("strings", "");
    const std::string texts[] = {
        "\t", ",", " ", "a,b", "@x", ";", "\"q\"", "k=v", "\\", "\xA7", "caf\xC3\xA9", "-1x", "",
    };
    {
        CQSettingsStore store(path);
        int i = 0;
        for (const std::string& text : texts) {
            store.WriteString("Strings", "Key " + std::to_string(i++), text);
        }
        store.WriteInt("Numbers", "Low", -2147483647 - 1);
        store.WriteInt("Numbers", "High", 2147483647);
        EXPECT_TRUE(store.Sync());
    }
    CQSettingsStore store(path);
    int i = 0;
    for (const std::string& text : texts) {
        EXPECT_EQ(store.GetString("Strings", "Key " + std::to_string(i++), "?"), text);
    }
    EXPECT_EQ(store.GetInt("Numbers", "Low", 0), -2147483647 - 1);
    EXPECT_EQ(store.GetInt("Numbers", "High", 0), 2147483647);
}

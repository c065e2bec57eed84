#include "settings/qt/qsettings_store.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#include "settings/parameters.h"
#include "settings/settings.h"

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

// A file of its own per test: QSettings shares what it read per file name.
std::string FreshIni(const char* name, const std::string& text) {
    std::string path = g_config->home + "/" + name + ".ini";
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

}  // namespace

// The user's file; what it holds comes back as the tests below show.
TEST(QSettingsStore, TheUserFileIsInTheConfigurationFolder) {
    EXPECT_EQ(CQSettingsStore().FileName(), g_config->home + "/Quillfern/Dravik.conf");
}

TEST(QSettingsStore, StoredTextIsReadStrictly) {
    CQSettingsStore store(FreshIni("strict",
                                   "[Parameters]\nApply%20Fit=1\nBuffer=4096x\nWidth=+12\n"
                                   "Precision=99999999999\nProcess%20Limit=-1\n"
                                   "Process%20Depth=\"-1\"\nHex%20Format=true\nShow%20Extra=\n"
                                   "Delimiter=-1\n[Log%20View]\nFile%20Filter=\n"));
    CDravikParameters p;
    p.process_limit = 50;
    p.ReadParameters(store);
    EXPECT_EQ(p.format.apply_fit, 1);
    EXPECT_EQ(p.buffer, 8192);
    EXPECT_EQ(p.format.width, 12);
    EXPECT_EQ(p.format.precision, -1);
    EXPECT_EQ(p.process_limit, 50);
    EXPECT_EQ(p.process_depth, 1);
    EXPECT_EQ(p.format.hex_format + p.show_extra, 0);
    EXPECT_EQ(p.delimiter, "\t");
    CFileListSettings log(FileListKind::kLog, "/start/");
    log.Read(store);
    EXPECT_EQ(log.file_filter, "*.raw");
    EXPECT_EQ(store.GetString("Parameters", "Missing", "d"), "d");
}

TEST(QSettingsStore, AwkwardStringsComeBackUnchanged) {
    const std::string path = FreshIni("strings", "");
    const std::string texts[] = {"\t",  ",",  " ",    "a,b",         "@x",  ";", "\"q\"",
                                 "k=v", "\\", "\xA7", "caf\xC3\xA9", "-1x", ""};
    {
        CQSettingsStore store(path);
        for (std::size_t i = 0; i < std::size(texts); ++i) {
            store.WriteString("Strings", "Key " + std::to_string(i), texts[i]);
        }
        store.WriteInt("Numbers", "Low", -2147483647 - 1);
        EXPECT_TRUE(store.Sync());
    }
    CQSettingsStore store(path);
    for (std::size_t i = 0; i < std::size(texts); ++i) {
        EXPECT_EQ(store.GetString("Strings", "Key " + std::to_string(i), "?"), texts[i]) << i;
    }
    EXPECT_EQ(store.GetInt("Numbers", "Low", 0), -2147483647 - 1);

    // Saving the same values again leaves the file alone (a save syncs the
    // file to the disk); one changed value is saved.
    namespace fs = std::filesystem;
    const auto old_time = fs::file_time_type::clock::now() - std::chrono::hours(1);
    fs::last_write_time(path, old_time);
    {
        CQSettingsStore again(path);
        for (std::size_t i = 0; i < std::size(texts); ++i) {
            again.WriteString("Strings", "Key " + std::to_string(i), texts[i]);
        }
        again.WriteInt("Numbers", "Low", -2147483647 - 1);
        EXPECT_TRUE(again.Sync());
    }
    EXPECT_EQ(fs::last_write_time(path), old_time);
    {
        CQSettingsStore again(path);
        again.WriteString("Strings", "Key 0", "changed");
    }
    EXPECT_NE(fs::last_write_time(path), old_time);
    EXPECT_EQ(CQSettingsStore(path).GetString("Strings", "Key 0", "?"), "changed");
}

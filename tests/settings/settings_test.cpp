#include "settings/settings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <variant>

#include "settings/memory_settings.h"
#include "settings/parameters.h"
#include "settings/program_dir.h"

using namespace dravik;

namespace dravik {
void PrintTo(const CWindowRect& r, std::ostream* os) {
    *os << FormatWindowRect(r);
}
}  // namespace dravik

// The value a section's record holds for `key` after reading `stored` from a
// store of its own: the record is written out again and the key looked up.
std::string Loaded(std::string_view section, std::string_view key,
                   const std::variant<int, std::string>& stored) {
    CMemorySettings in, out;
    if (const int* value = std::get_if<int>(&stored)) {
        in.WriteInt(section, key, *value);
    } else {
        in.WriteString(section, key, std::get<std::string>(stored));
    }
    CDravikParameters p;
    CAppSettings app("/start/");
    CViewSettings view;
    CFileListSettings lists[] = {{FileListKind::kLog, "/start/"},
                                 {FileListKind::kInstrument, "/start/"},
                                 {FileListKind::kOutput, "/start/"}};
    CNamingSettings naming(NamingKind::kInstrument);
    p.ReadParameters(in);
    app.Read(in);
    view.Read(in);
    naming.Read(in);
    p.WriteParameters(out);
    app.Write(out, CDravikParameters());
    view.Write(out);
    naming.Write(out);
    for (CFileListSettings& list : lists) {
        list.Read(in);
        list.Write(out);
    }
    const std::string text = out.GetString(section, key, "?");
    return text != "?" ? text : std::to_string(out.GetInt(section, key, -99));
}

// A missing key, a stored -1 and a stored "-1" keep the value in memory; an
// empty string replaces it only under the not-minus-one rule; a value of the
// wrong kind is missing; stored numbers get no range test. A fresh profile
// starts in the start-up directory.
TEST(Settings, LoadRulesDecideWhichStoredValuesReplaceTheDefaults) {
    const struct {
        std::string_view section, key;
        std::variant<int, std::string> stored;
        std::string expected;
    } cases[] = {
        {kParametersSection, "Delimiter", "-1", "\t"},
        {kParametersSection, "Delimiter", "", "\t"},
        {kParametersSection, "Delimiter", ",", ","},
        {kParametersSection, "Process Depth", -1, "1"},
        {kParametersSection, "Process Depth", 0, "0"},
        {kParametersSection, "Buffer", "4096", "8192"},
        {kSettingsSection, "Conversion Log Directory", "", "/start/"},
        {kViewSection, "Default Outfile", "", ""},
        {kViewSection, "ConvertHeader", -1, "0"},
        {kLogViewSection, "File Filter", "", "*.raw"},
        {kLogViewSection, "Working Directory", "-1", "/start/"},
        {kInstrumentViewSection, "File Filter", "-1", "*.cal"},
        {kInstrumentViewSection, "Use Working Directory", 0, "0"},
        {kInstrumentViewSection, "Instrument Package File", "/a/deploy.zpk", "/a/deploy.zpk"},
        {kOutputViewSection, "File Filter", "", "*.dat"},
        {kOutputViewSection, "Use Working Directory", 0, "-99"},  // the instrument list's key
        {kInstrumentConversionSection, "File Increment", "", ""},
        {kInstrumentConversionSection, "File Extension", "-1", "dat"},
        {kInstrumentConversionSection, "File Base", "stn", "stn"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Loaded(c.section, c.key, c.stored), c.expected) << c.section << "/" << c.key;
    }
}

TEST(Settings, CommandLineOverridesLiveForTheRunOnly) {
    CMemorySettings store;
    CAppSettings stored("/start/");
    stored.conversion_log = 1;
    stored.Write(store, CDravikParameters());

    CDravikParameters options;
    for (const char* option : {"/ow=yes", "/ew=yes", "/cl=run.log"}) options.ParseOption(option);
    CAppSettings app("/elsewhere/");
    app.Read(store);
    app.ApplyCommandLineOverrides(options);
    EXPECT_EQ(app.overwrite_prompt, 0);
    EXPECT_EQ(app.dismiss_progress, 1);
    app.conversion_log = 0;
    app.save_settings = 0;
    app.conversion_log_directory = "/logs/";
    app.Write(store, options);

    CAppSettings next("/elsewhere/");
    next.Read(store);
    EXPECT_EQ(next.overwrite_prompt, 1);
    EXPECT_EQ(next.dismiss_progress, 0);
    EXPECT_EQ(next.conversion_log, 1);
    EXPECT_EQ(next.save_settings, 0);  // still written, as is the directory
    EXPECT_EQ(next.conversion_log_directory, "/logs/");
}

TEST(Settings, WindowRectanglesFormatAndParse) {
    EXPECT_EQ(FormatWindowPosition(12, 340), "0012 0340");
    EXPECT_EQ(FormatWindowRect({1, 2, 1024, 768}), "0001 0002 1024 0768");
    const struct {
        const char* text;
        int count;
        CWindowRect rect;
    } cases[] = {
        {"0012 0340", 2, {12, 340, 0, 0}},
        {"0001 0002 1024 0768", 4, {1, 2, 1024, 768}},
        // A window left of and above the main screen: numbers wider than four.
        {"-1920 -1080 -0100 12000", 4, {-1920, -1080, -100, 12000}},
        // Anything else is read at the fixed offsets; non-numbers read as 0.
        {"12ab 0034", 2, {12, 34, 0, 0}},
        {"0012", 2, {12, 0, 0, 0}},
        {"xxxx 0005 yyyy 0007", 4, {0, 5, 0, 7}},
        {"99999999999 0002", 2, {0, 999999, 0, 0}},  // overflow reads as 0
    };
    for (const auto& c : cases) EXPECT_EQ(ParseWindowRect(c.text, c.count), c.rect) << c.text;

    CMemorySettings store;
    CConversionLogWindowSettings log_window;
    log_window.WriteRect(store);  // nothing to write yet
    EXPECT_FALSE(store.Contains(kConversionLogWindowSection, "Rect"));
    log_window.rect = CWindowRect{-1920, 10, -900, 700};
    log_window.WriteRect(store);
    CConversionWindowSettings progress;
    progress.position = CWindowRect{30, 40, 0, 0};
    progress.Write(store);
    EXPECT_EQ(store.GetString(kConversionWindowSection, "Rect", ""), "0030 0040");
    store.WriteString(kMainWindowSection, "Rect", "-1");

    CConversionLogWindowSettings log_back;
    CMainWindowSettings main_back;
    log_back.Read(store);
    main_back.Read(store);
    EXPECT_EQ(log_back.rect, log_window.rect);
    EXPECT_FALSE(main_back.rect);
}

TEST(Settings, StartUpAndProgramDirectoriesEndInASlash) {
    EXPECT_EQ(StartupWorkingDirectory(), std::filesystem::current_path().string() + "/");
    EXPECT_EQ(CAppSettings().conversion_log_directory, StartupWorkingDirectory());
    EXPECT_TRUE(std::filesystem::exists(ProgramDirectory() + "dravik_settings_tests"));
}

// The header definition beside the program wins (the build tree); an
// installed program finds it in ../share/dravik/; with neither, messages
// name the place beside the program.
TEST(Settings, DataFilesAreFoundBesideTheProgramThenInTheInstalledDataDirectory) {
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("dravik-data-" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "bin");
    fs::create_directories(root / "share" / "dravik");
    const std::string bin = (root / "bin").string() + "/";
    const std::string share = (root / "share" / "dravik").string() + "/";
    struct Case {
        bool beside;
        bool installed;
        std::string expected;
    };
    for (const Case& c :
         {Case{true, true, bin}, Case{false, true, share}, Case{false, false, bin}}) {
        fs::remove(bin + "oxahdr1.tdf");
        fs::remove(share + "oxahdr1.tdf");
        if (c.beside) std::ofstream(bin + "oxahdr1.tdf") << "x";
        if (c.installed) std::ofstream(share + "oxahdr1.tdf") << "x";
        EXPECT_EQ(DataFileDirectory("oxahdr1.tdf", bin), c.expected) << c.beside << c.installed;
    }
    fs::remove_all(root);
}

#include "settings/settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>

#include "settings/memory_settings.h"
#include "settings/parameters.h"
#include "settings/program_dir.h"

using namespace dravik;

namespace dravik {
void PrintTo(const CWindowRect& r, std::ostream* os) {
    *os << FormatWindowRect(r);
}
}  // namespace dravik

TEST(Settings, FreshProfileStartsInTheStartUpDirectory) {
    // What an empty profile gives where the default is not a constant.
    const CMemorySettings empty;
    CAppSettings app("/start/");
    app.Read(empty);
    EXPECT_EQ(app.conversion_log_directory, "/start/");
    const std::pair<FileListKind, const char*> lists[] = {{FileListKind::kLog, "*.raw"},
                                                          {FileListKind::kInstrument, "*.cal"},
                                                          {FileListKind::kOutput, "*.dat"}};
    for (const auto& [kind, filter] : lists) {
        CFileListSettings list(kind, "/start/");
        list.Read(empty);
        EXPECT_EQ(list.working_directory, "/start/");
        EXPECT_EQ(list.file_filter, filter);
    }
    CMainWindowSettings main_window;
    main_window.Read(empty);
    EXPECT_FALSE(main_window.rect);
}

TEST(Settings, StringLoadRulesDifferBetweenNonEmptyAndNotMinusOne) {
    CMemorySettings store;
    store.WriteString(kLogViewSection, "File Filter", "");
    store.WriteString(kLogViewSection, "Working Directory", "-1");
    store.WriteString(kLogViewSection, "File Selected", "");
    store.WriteString(kInstrumentConversionSection, "File Increment", "");
    store.WriteString(kInstrumentConversionSection, "File Extension", "-1");
    store.WriteString(kHeaderConversionSection, "File Increment", "7");
    store.WriteInt(kViewSection, "ConvertHeader", -1);

    CFileListSettings log(FileListKind::kLog, "/start/");
    log.file_selected = "old.raw";
    log.Read(store);
    EXPECT_EQ(log.file_filter, "*.raw");          // empty does not replace it
    EXPECT_EQ(log.working_directory, "/start/");  // nor does "-1"
    EXPECT_EQ(log.file_selected, "");             // but an empty selection is taken

    CNamingSettings instrument(NamingKind::kInstrument), header(NamingKind::kHeader);
    instrument.Read(store);
    header.Read(store);
    EXPECT_EQ(instrument.file_increment, "");
    EXPECT_EQ(instrument.file_extension, "dat");
    EXPECT_EQ(header.file_increment, "7");

    CViewSettings view;
    view.convert_header = 1;
    view.Read(store);
    EXPECT_EQ(view.convert_header, 1);
}

TEST(Settings, OnlyTheInstrumentListStoresItsPackageKeys) {
    CMemorySettings store;
    CFileListSettings instrument(FileListKind::kInstrument, "/a/");
    instrument.use_working_directory = 0;
    instrument.instrument_package_file = "/a/deploy.zpk";
    instrument.Write(store);
    CFileListSettings(FileListKind::kOutput, "/b/").Write(store);
    EXPECT_EQ(store.KeyCount(kInstrumentViewSection), 8u);
    EXPECT_EQ(store.KeyCount(kOutputViewSection), 6u);

    CFileListSettings back(FileListKind::kInstrument, "/x/");
    back.Read(store);
    EXPECT_EQ(back.working_directory, "/a/");
    EXPECT_EQ(back.instrument_package_file, "/a/deploy.zpk");
    EXPECT_EQ(back.use_working_directory, 0);
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
    EXPECT_TRUE(std::filesystem::exists(ProgramDirectory() + "dravik_app_tests"));
    EXPECT_EQ(WithTrailingSlash("/"), "/");
    EXPECT_EQ(WithTrailingSlash("/a"), "/a/");
}

#include "conversion/conversion_log_file.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "conversion_test_support.h"
#include "settings/parameters.h"
#include "settings/settings.h"

namespace dravik {
namespace {

using namespace dravik::testing;

TEST(ConversionLogFile, AHeldLogMakesTheNextNumberAndIsLeftIntact) {
    const fs::path dir = ScratchDir("held");
    const std::string dir_text = dir.string() + "/";
    WriteAll(dir / "Dravik.log", "another run's log");
    CDiskFile other;  // another program run holding Dravik.log
    ASSERT_EQ(other.Open((dir / "Dravik.log").string(), CDiskFile::Mode::kAppend, true), 0);

    CConversionLogFile log;
    EXPECT_EQ(log.OpenInDirectory(dir_text), "");
    EXPECT_EQ(log.GetPath(), dir_text + "Dravik2.log");
    EXPECT_EQ(log.Append("text\r\n"), "");
    EXPECT_EQ(ReadAll(dir / "Dravik.log"), "another run's log");
    EXPECT_EQ(ReadAll(dir / "Dravik2.log"), "text\r\n");

    // Dravik9.log is the last name tried; with every name held, nothing is
    // opened and the user is told why.
    std::vector<std::unique_ptr<CDiskFile>> holders;
    for (int n = 3; n <= 8; ++n) {
        holders.push_back(std::make_unique<CDiskFile>());
        ASSERT_EQ(holders.back()->Open(CConversionLogFile::MakeName(dir_text, n),
                                       CDiskFile::Mode::kAppend, true),
                  0);
    }
    CConversionLogFile ninth;
    EXPECT_EQ(ninth.OpenInDirectory(dir_text), "");
    EXPECT_EQ(ninth.GetPath(), dir_text + "Dravik9.log");
    CConversionLogFile third;
    EXPECT_EQ(third.OpenInDirectory(dir_text),
              "The maximum number of available conversion log files has been exceeded. No "
              "conversion log file will be recorded.");
    EXPECT_FALSE(third.IsOpen());
    EXPECT_EQ(third.Append("x\r\n"), "");

    // One of the conversion's files is never emptied: it counts as held.
    const fs::path input = ScratchDir("held_input");
    WriteAll(input / "Dravik.log", "log data");
    CConversionLogFile beside;
    EXPECT_EQ(beside.OpenInDirectory(input.string(), {(input / "Dravik.log").string()}), "");
    EXPECT_EQ(beside.GetPath(), input.string() + "/Dravik2.log");
    EXPECT_EQ(ReadAll(input / "Dravik.log"), "log data");

    // A failure other than sharing is not retried under another number.
    const std::string missing = dir_text + "no_such_dir/";
    EXPECT_EQ(third.OpenInDirectory(missing),
              "An error occured while opening the conversion log file\r\n\"" + missing +
                  "Dravik.log\".\r\nAll or part of the path is invalid.\r\nNo conversion log file "
                  "will be recorded.");
}

TEST(ConversionLogFile, TheSettingsOrTheOptionChooseTheFile) {
    const fs::path one = ScratchDir("choose_one"), two = ScratchDir("choose_two");
    CAppSettings settings(one.string());
    settings.conversion_log = 1;
    CDravikParameters params;
    CConversionLogFile log;
    EXPECT_EQ(log.Open(settings, params, {}), "");
    EXPECT_EQ(log.GetPath(), one.string() + "/Dravik.log");
    log.Append("first\r\n");
    // Turned off in the same directory, the open file is kept and appended to.
    settings.conversion_log = 0;
    EXPECT_EQ(log.Open(settings, params, {}), "");
    log.Append("second\r\n");
    EXPECT_EQ(ReadAll(one / "Dravik.log"), "first\r\nsecond\r\n");
    // Another directory closes it; with the log off nothing new is opened.
    settings.conversion_log_directory = two.string();
    log.Open(settings, params, {});
    EXPECT_FALSE(log.IsOpen());
    // The option names the file, and keeps one already open.
    params.has_conversion_log_option = 1;
    params.conversion_log_option_file = (two / "run.log").string();
    EXPECT_EQ(log.Open(settings, params, {}), "");
    params.conversion_log_option_file = (two / "other.log").string();
    log.Open(settings, params, {});
    EXPECT_EQ(log.GetPath(), (two / "run.log").string());
    // A write that fails closes the file and says so once.
    log.Close();
    params.conversion_log_option_file = "/dev/full";
    ASSERT_EQ(log.Open(settings, params, {}), "");
    EXPECT_EQ(log.Append("lost\r\n"),
              "An error occured writing to the conversion log file:\r\n\"/dev/full\".\r\nThe disk "
              "is full.\r\nConversion log aborted.");
    EXPECT_FALSE(log.IsOpen());
}

}  // namespace
}  // namespace dravik

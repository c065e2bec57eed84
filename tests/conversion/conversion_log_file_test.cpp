#include "conversion/conversion_log_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "conversion_test_support.h"
#include "platform/disk_file.h"

namespace dravik {
namespace {

using namespace dravik::testing;

fs::path FreshDir(const char* name) {
    return ScratchDir(name);
}

TEST(ConversionLogFile, AHeldLogMakesTheNextNumberAndIsLeftIntact) {
    fs::path dir = FreshDir("held");
    std::string dir_text = dir.string() + "/";
    {
        std::ofstream old(dir / "Dravik.log", std::ios::binary);
        old << "another run's log";
    }
    CDiskFile other;  // another program run holding Dravik.log
    ASSERT_EQ(other.Open((dir / "Dravik.log").string(), CDiskFile::Mode::kAppend, true), 0);

    CConversionLogFile log;
    EXPECT_EQ(log.OpenInDirectory(dir_text), "");
    EXPECT_EQ(log.GetPath(), dir_text + "Dravik2.log");
    EXPECT_EQ(log.GetDirectory(), dir_text);
    EXPECT_EQ(log.Write("text\r\n"), 0);
    EXPECT_EQ(ReadAll(dir / "Dravik.log"), "another run's log");
    EXPECT_EQ(ReadAll(dir / "Dravik2.log"), "text\r\n");

    // With every name held, nothing is opened and the user is told why.
    std::vector<std::unique_ptr<CDiskFile>> holders;
    for (int n = 3; n <= 9; ++n) {
        holders.push_back(std::make_unique<CDiskFile>());
        ASSERT_EQ(holders.back()->Open(CConversionLogFile::MakeName(dir_text, n),
                                       CDiskFile::Mode::kAppend, true),
                  0);
    }
    CConversionLogFile third;
    EXPECT_EQ(third.OpenInDirectory(dir_text),
              "The maximum number of available conversion log files has been exceeded. No "
              "conversion log file will be recorded.");
    EXPECT_FALSE(third.IsOpen());
    EXPECT_EQ(third.Write("x\r\n"), kFileInvalid);
}

TEST(ConversionLogFile, OpenFailuresOtherThanSharingAreNotRetried) {
    fs::path dir = FreshDir("bad");
    CConversionLogFile log;
    std::string missing = (dir / "no_such_dir").string() + "/";
    EXPECT_EQ(log.OpenInDirectory(missing),
              "An error occured while opening the conversion log file\r\n\"" + missing +
                  "Dravik.log\".\r\nAll or part of the path is invalid.\r\nNo conversion log file "
                  "will be recorded.");
    EXPECT_FALSE(fs::exists(dir / "no_such_dir"));
    std::string named = (dir / "run.log").string();
    EXPECT_EQ(log.OpenNamed(named), "");
    EXPECT_EQ(log.GetPath(), named);
    EXPECT_NE(log.OpenNamed((dir / "run.log" / "x").string()), "");
}

}  // namespace
}  // namespace dravik

#include "conversion/output_text_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "conversion_test_support.h"
#include "platform/disk_file.h"

namespace dravik {
namespace {

using namespace dravik::testing;

fs::path TempPath(const char* name) {
    fs::create_directories(ProcessScratchRoot());
    return ProcessScratchRoot() / name;
}

TEST(OutputTextFile, LineEndsReachTheDiskAsCrLfAndTheFileIsCreatedAnew) {
    fs::path path = TempPath("rows.dat");
    {
        std::ofstream old(path, std::ios::binary);
        old << "an older and much longer content that must disappear";
    }
    COutputTextFile out;
    ASSERT_EQ(out.Open(path.string()), 0);
    EXPECT_EQ(out.Write("a,b\n"), 0);
    EXPECT_EQ(out.Write("\n"), 0);
    EXPECT_EQ(out.Write("c\r\nd"), 0);  // a CR already there is kept, as text mode does
    EXPECT_EQ(out.Write("\n"), 0);
    EXPECT_EQ(out.Close(), 0);
    EXPECT_EQ(ReadAll(path), "a,b\r\n\r\nc\r\r\nd\r\n");
    EXPECT_EQ(out.Write("late"), kFileInvalid);
    EXPECT_EQ(out.Close(), 0);
}

// Text appended in place takes the same path to the disk as written text,
// whatever line ends it holds, and across the buffer's flushes.
TEST(OutputTextFile, TextBuiltInPlaceGetsTheSameLineEnds) {
    fs::path path = TempPath("in_place.dat");
    COutputTextFile out;
    ASSERT_EQ(out.Open(path.string()), 0);
    std::string expected;
    const std::string row(700, 'x');
    for (int i = 0; i < 200; ++i) {  // about two buffers' worth
        EXPECT_EQ(out.Write("w\n"), 0);
        std::string& text = out.BeginText();
        text += "a\nb\r\n";
        text.append(row).append("\n");
        EXPECT_EQ(out.EndText(), 0);
        out.BeginText();  // nothing appended
        EXPECT_EQ(out.EndText(), 0);
        expected += "w\r\na\r\nb\r\r\n" + row + "\r\n";
    }
    EXPECT_EQ(out.Close(), 0);
    EXPECT_EQ(ReadAll(path), expected);
    out.BeginText() += "late\n";
    EXPECT_EQ(out.EndText(), kFileInvalid);
    EXPECT_EQ(out.Close(), 0);
}

TEST(OutputTextFile, AFileHeldByAnotherOpenIsNeitherOpenedNorEmptied) {
    fs::path path = TempPath("held.raw");
    {
        std::ofstream log(path, std::ios::binary);
        log << "precious log bytes";
    }
    CDiskFile log;
    ASSERT_EQ(log.Open(path.string(), CDiskFile::Mode::kRead, true), 0);
    COutputTextFile out;
    EXPECT_EQ(out.Open(path.string()), kFileSharingViolation);
    EXPECT_FALSE(out.IsOpen());
    EXPECT_EQ(ReadAll(path), "precious log bytes");
    EXPECT_EQ(out.Open(TempPath("missing_dir/x/out.dat").string()), kFileBadPath);
}

TEST(OutputTextFile, AFullDiskIsReportedWhenTheBufferGoesOut) {
    // (A disk filling up part way is checked with whole conversions.)
    COutputTextFile full;
    ASSERT_EQ(full.Open("/dev/full"), 0);
    EXPECT_EQ(full.Write("row\n"), 0);  // still buffered
    EXPECT_EQ(full.Flush(), kFileDiskFull);
    EXPECT_EQ(full.Write("row\n"), 0);
    EXPECT_EQ(full.Close(), kFileDiskFull);
}

}  // namespace
}  // namespace dravik

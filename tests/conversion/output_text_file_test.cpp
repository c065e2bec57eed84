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

#include "conversion/output_text_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/disk_file.h"

namespace dravik {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

fs::path TempPath(const char* name) {
    fs::path dir = fs::temp_directory_path() / ("dravik_otf_" + std::to_string(getpid()));
    fs::create_directories(dir);
    return dir / name;
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

TEST(OutputTextFile, LargeOutputIsWrittenWhole) {
    fs::path path = TempPath("large.dat");
    std::string row(99, 'x');
    row += '\n';
    std::string expected;
    COutputTextFile out;
    ASSERT_EQ(out.Open(path.string()), 0);
    for (int i = 0; i < 3000; ++i) {  // several buffers' worth
        ASSERT_EQ(out.Write(row), 0);
        expected += std::string(99, 'x') + "\r\n";
    }
    ASSERT_EQ(out.Close(), 0);
    EXPECT_EQ(ReadAll(path), expected);
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

TEST(OutputTextFile, AFullDiskIsReportedAndWhatFittedStays) {
    COutputTextFile full;
    ASSERT_EQ(full.Open("/dev/full"), 0);
    EXPECT_EQ(full.Write("row\n"), 0);  // still buffered
    EXPECT_EQ(full.Flush(), kFileDiskFull);

    // A file size limit stands for a disk that fills up part way: every byte
    // written before the failure must be on disk, none lost in the buffer.
    fs::path path = TempPath("limited.dat");
    constexpr rlim_t kLimit = 100000;
    struct rlimit old_limit {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    auto old_handler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = old_limit;
    limit.rlim_cur = kLimit;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);

    COutputTextFile out;
    int cause = out.Open(path.string());
    std::string expected;
    int failure = 0;
    for (int i = 0; cause == 0 && i < 5000 && failure == 0; ++i) {
        std::string row = "row " + std::to_string(i) + ",1.2345,6.789\n";
        failure = out.Write(row);
        expected += row.substr(0, row.size() - 1) + "\r\n";
    }
    if (failure == 0) failure = out.Close();
    int close_result = out.Close();
    setrlimit(RLIMIT_FSIZE, &old_limit);
    signal(SIGXFSZ, old_handler);

    ASSERT_EQ(cause, 0);
    EXPECT_EQ(failure, kFileDiskFull);
    EXPECT_EQ(close_result, 0);
    std::string written = ReadAll(path);
    EXPECT_EQ(written.size(), kLimit);
    EXPECT_EQ(written, expected.substr(0, kLimit));
}

}  // namespace
}  // namespace dravik

#include "platform/disk_file.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>

using namespace dravik;

namespace {

std::string TempPath(const char* name) {
    return testing::TempDir() + "dravik_disk_file_" + std::to_string(getpid()) + "_" + name;
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

TEST(DiskFile, CreateOnAFileHeldByAnotherOpenFailsAndLeavesItIntact) {
    std::string path = TempPath("held");
    { std::ofstream(path) << "log bytes"; }
    CDiskFile reader;
    ASSERT_EQ(reader.Open(path, CDiskFile::Mode::kRead), kFileNone);
    CDiskFile writer;
    EXPECT_EQ(writer.Open(path, CDiskFile::Mode::kCreate), kFileSharingViolation);
    EXPECT_FALSE(writer.IsOpen());
    EXPECT_EQ(Slurp(path), "log bytes");
    // A file named as refused, reached through a hard link or a symbolic
    // link, is not emptied either, though nothing holds it.
    reader.Close();
    CFileIdentity identity;
    ASSERT_TRUE(GetFileIdentity(path, identity));
    const std::string hard = TempPath("hard");
    const std::string soft = TempPath("soft");
    ASSERT_EQ(link(path.c_str(), hard.c_str()), 0);
    ASSERT_EQ(symlink(path.c_str(), soft.c_str()), 0);
    const CFileIdentity refused[] = {identity};
    for (const std::string& name : {hard, soft}) {
        EXPECT_EQ(writer.Open(name, CDiskFile::Mode::kCreate, true, refused),
                  kFileSharingViolation);
        EXPECT_EQ(Slurp(path), "log bytes");
    }
    ASSERT_EQ(writer.Open(hard, CDiskFile::Mode::kCreate), kFileNone);
    EXPECT_EQ(Slurp(path), "");
    for (const std::string& name : {path, hard, soft}) std::remove(name.c_str());
}

TEST(DiskFile, ReadsLengthPositionAndChunks) {
    std::string path = TempPath("chunks");
    { std::ofstream(path) << "0123456789"; }
    CDiskFile f;
    ASSERT_EQ(f.Open(path, CDiskFile::Mode::kRead), kFileNone);
    EXPECT_EQ(f.GetFilePath()[0], '/');
    std::uint64_t length = 0, pos = 0;
    ASSERT_EQ(f.GetLength(length), kFileNone);
    EXPECT_EQ(length, 10u);
    char buf[4];
    std::size_t got = 0;
    ASSERT_EQ(f.Read(buf, 4, got), kFileNone);
    EXPECT_EQ(got, 4u);
    ASSERT_EQ(f.GetPosition(pos), kFileNone);
    EXPECT_EQ(pos, 4u);
    ASSERT_EQ(f.Seek(8), kFileNone);
    ASSERT_EQ(f.Read(buf, 4, got), kFileNone);
    EXPECT_EQ(got, 2u);
    ASSERT_EQ(f.Read(buf, 4, got), kFileNone);
    EXPECT_EQ(got, 0u);
    f.Close();
    EXPECT_EQ(f.Read(buf, 4, got), kFileInvalid);
    std::remove(path.c_str());
}

TEST(DiskFile, OpenFailuresGiveTheirCauses) {
    CDiskFile f;
    EXPECT_EQ(f.Open("/nonexistent-dir-dravik/x", CDiskFile::Mode::kRead), kFileNotFound);
    EXPECT_EQ(f.Open("", CDiskFile::Mode::kRead), kFileBadPath);
    EXPECT_EQ(f.Open("/dev/null/x", CDiskFile::Mode::kCreate), kFileBadPath);
    EXPECT_EQ(FileErrorCauseFromErrno(ENOSPC), kFileDiskFull);
    EXPECT_EQ(FileErrorCauseFromErrno(EACCES), kFileAccessDenied);
    ASSERT_EQ(f.Open("/dev/full", CDiskFile::Mode::kCreate), kFileNone);
    EXPECT_EQ(f.Write("x", 1), kFileDiskFull);
}

TEST(DiskFile, FileErrorTextsInEachWording) {
    using W = FileErrorWording;
    const std::tuple<int, W, const char*> texts[] = {
        {0, W::kResource, "No error occurred.\r\n"},
        {12, W::kInstrument, "There was an attempt to lock a region that was already locked.\r\n"},
        {11, W::kMessage, "SHARE.EXE was not loaded, or a shared region was locked."},
        {11, W::kConversion, "A sharing violation occured, or a shared region was locked."},
        {14, W::kConversion, "The end of file was reached."},
        {15, W::kResource, "An unknown file error occured.\r\n"},
        {-1, W::kInstrument, "An unknown file error orrured.\r\n"},
        {15, W::kConversion, "An unknown file error orrured."},
        {99, W::kMessage, "An unknown file error occurred."},
    };
    for (const auto& [cause, wording, text] : texts) {
        EXPECT_EQ(FileErrorText(cause, wording), text) << cause << " " << static_cast<int>(wording);
    }
}

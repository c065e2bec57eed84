#include "frontend/file_listing.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "../conversion/conversion_test_support.h"

namespace dravik {
namespace {

using testing::ScratchDir;
using testing::WriteAll;
namespace fs = std::filesystem;

std::vector<std::string> SortedNames(const std::vector<CListedFile>& files) {
    std::vector<std::string> names;
    for (const CListedFile& f : files) names.push_back(f.name);
    std::sort(names.begin(), names.end());
    return names;
}

TEST(FileListingTest, FiltersMatchEitherCaseAndDotStarMatchesBareNames) {
    EXPECT_TRUE(MatchesFileFilter("INST01.CAL", "*.cal"));
    EXPECT_TRUE(MatchesFileFilter("cast12.raw", "cast??.raw"));
    EXPECT_FALSE(MatchesFileFilter("cast12.raw.bak", "*.raw"));
    EXPECT_TRUE(MatchesFileFilter("README", "*.*"));
    EXPECT_TRUE(MatchesFileFilter("notes", "notes.*"));
    EXPECT_FALSE(MatchesFileFilter("notes", "*.txt"));
}

TEST(FileListingTest, ListsMatchingFilesWithSizesAndSubfolderPaths) {
    const fs::path dir = ScratchDir("listing");
    WriteAll(dir / "a.raw", "12345");
    WriteAll(dir / "B.RAW", "");
    WriteAll(dir / "c.dat", "x");
    fs::create_directories(dir / "deep/er");
    fs::create_directories(dir / "folder.raw");  // a folder is never a file to convert
    WriteAll(dir / "deep/d.raw", "xy");
    WriteAll(dir / "deep/er/e.raw", "xyz");
    fs::create_symlink(dir / "a.raw", dir / "link.raw");
    fs::create_symlink(dir / "missing.raw", dir / "dangling.raw");
    // Links back up the tree and to the tree itself must not be followed.
    fs::create_directory_symlink(dir, dir / "deep/loop");
    fs::create_directory_symlink("..", dir / "deep/er/up");

    const std::string top = dir.string() + "/";
    EXPECT_EQ(SortedNames(ListFiles(top, "*.raw", false)),
              (std::vector<std::string>{"B.RAW", "a.raw", "link.raw"}));
    const std::vector<CListedFile> all = ListFiles(top, "*.raw", true);
    EXPECT_EQ(SortedNames(all), (std::vector<std::string>{"B.RAW", "a.raw", "deep/d.raw",
                                                          "deep/er/e.raw", "link.raw"}));
    // A subfolder's files come after those of its parent.
    EXPECT_EQ(all.back().name, "deep/er/e.raw");
    for (const CListedFile& f : all) {
        EXPECT_EQ(f.size, fs::file_size(dir / f.name)) << f.name;
        EXPECT_GT(f.modified_ns, 0) << f.name;
    }
}

TEST(FileListingTest, UnreadableOrMissingDirectoriesListNothing) {
    const fs::path dir = ScratchDir("listing_missing");
    WriteAll(dir / "plain.raw", "x");
    EXPECT_TRUE(ListFiles(dir.string() + "/nowhere/", "*.*", true).empty());
    EXPECT_TRUE(ListFiles((dir / "plain.raw").string() + "/", "*.*", false).empty());
    EXPECT_TRUE(ListFiles("", "*.*", false).empty());
    // A listing asked to stop lists no further.
    std::stop_source stop;
    stop.request_stop();
    EXPECT_TRUE(ListFiles(dir.string() + "/", "*.*", true, stop.get_token()).empty());
}

TEST(FileListingTest, ValidDirectoriesGetATrailingSlash) {
    const fs::path dir = ScratchDir("listing_valid");
    WriteAll(dir / "plain.raw", "x");
    EXPECT_EQ(ValidDirectory(dir.string()), dir.string() + "/");
    EXPECT_EQ(ValidDirectory(dir.string() + "/"), dir.string() + "/");
    EXPECT_EQ(ValidDirectory("/"), "/");
    EXPECT_EQ(ValidDirectory(""), std::nullopt);
    EXPECT_EQ(ValidDirectory((dir / "none").string()), std::nullopt);
    EXPECT_EQ(ValidDirectory((dir / "plain.raw").string()), std::nullopt);
}

}  // namespace
}  // namespace dravik

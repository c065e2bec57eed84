#include "frontend/file_naming.h"

#include <gtest/gtest.h>

#include <cctype>

#include <vector>

namespace dravik {
namespace {

CFileNaming Naming(NamingKind kind, int mode, const char* extension = "dat") {
    CFileNaming naming(kind);
    naming.Settings().file_mode = mode;
    naming.Settings().file_extension = extension;
    return naming;
}

TEST(FileNamingTest, TitlesDropDirectoryAndFinalExtensionOnly) {
    EXPECT_EQ(FileTitle("a.b.raw"), "a.b");
    EXPECT_EQ(FileTitle("/data/v1.2/noext"), "noext");
    EXPECT_EQ(FileTitle(""), "");
    EXPECT_TRUE(HasExtension("dir.d/out.txt"));
    EXPECT_FALSE(HasExtension("dir.d/out"));
}

TEST(FileNamingTest, FileTitlesJoinLogAndInstrument) {
    CFileNaming inst = Naming(NamingKind::kInstrument, kNamingFileTitles);
    EXPECT_EQ(inst.GenerateName("/d/raw/cast12.raw", "/cal/inst01.cal"), "cast12-inst01.dat");
    // An instrument conversion needs both titles; a header conversion uses the log's alone.
    EXPECT_EQ(inst.GenerateName("/d/raw/cast12.raw", ""), std::nullopt);
    EXPECT_EQ(inst.GenerateName("", "/cal/inst01.cal"), std::nullopt);
    CFileNaming header = Naming(NamingKind::kHeader, kNamingFileTitles);
    EXPECT_EQ(header.GenerateName("cast12.raw", ""), "cast12.dat");
    CFileNaming bare = Naming(NamingKind::kHeader, kNamingFileTitles, "");
    EXPECT_EQ(bare.GenerateName("cast12.raw", ""), "cast12");
    // User Defined names are typed, never generated.
    EXPECT_EQ(Naming(NamingKind::kInstrument, kNamingUserDefined).GenerateName("a.raw", "b.cal"),
              std::nullopt);
}

TEST(FileNamingTest, NumericIncrementCountsToNineHundredNinetyNineAndStays) {
    CFileNaming naming = Naming(NamingKind::kInstrument, kNamingAutoIncrement, "txt");
    ASSERT_EQ(naming.Store(kNamingAutoIncrement, "stn", "7", "txt", kIncrementNumeric),
              ENamingError::kNone);
    EXPECT_EQ(naming.GenerateName("", ""), "stn007.txt");
    naming.AdvanceIncrement();
    EXPECT_EQ(naming.GenerateName("", ""), "stn008.txt");
    naming.Settings().file_increment = "998";
    naming.AdvanceIncrement();
    EXPECT_EQ(naming.Settings().file_increment, "999");
    naming.AdvanceIncrement();
    EXPECT_EQ(naming.GenerateName("", ""), "stn999.txt");
}

TEST(FileNamingTest, AlphabeticIncrementStopsAtZ) {
    CFileNaming naming = Naming(NamingKind::kHeader, kNamingAutoIncrement);
    naming.Settings().file_base = "run";
    naming.Settings().file_increment = "Y";
    std::vector<std::string> names;
    for (int i = 0; i < 3; ++i) {
        names.push_back(*naming.GenerateName("", ""));
        naming.AdvanceIncrement();
    }
    EXPECT_EQ(names, (std::vector<std::string>{"runY.dat", "runZ.dat", "runZ.dat"}));
    naming.Settings().file_increment = "b";  // lower case counts as its capital
    naming.AdvanceIncrement();
    EXPECT_EQ(naming.Settings().file_increment, "C");
    naming.Settings().file_increment = "5";  // below "A": starts again
    naming.AdvanceIncrement();
    EXPECT_EQ(naming.Settings().file_increment, "A");
    naming.Settings().file_increment = "\xc3\xa9";  // outside 7-bit ASCII
    naming.AdvanceIncrement();
    EXPECT_EQ(naming.Settings().file_increment, "A");
    naming.Settings().file_increment = "";
    EXPECT_EQ(naming.GenerateName("", ""), std::nullopt);
}

TEST(FileNamingTest, TypedNamesGetTheExtensionOnlyWhenTheyHaveNone) {
    CFileNaming naming = Naming(NamingKind::kInstrument, kNamingUserDefined);
    EXPECT_EQ(naming.CompleteTypedName("result"), "result.dat");
    EXPECT_EQ(naming.CompleteTypedName("result.txt"), "result.txt");
    EXPECT_EQ(Naming(NamingKind::kInstrument, kNamingUserDefined, "").CompleteTypedName("result"),
              "result");
}

TEST(FileNamingTest, StoringRefusesBadIncrementsOnlyInAutoIncrementMode) {
    CFileNaming naming(NamingKind::kInstrument);
    EXPECT_EQ(naming.Store(-1, "", "A", "dat", 0), ENamingError::kNoMode);
    EXPECT_EQ(naming.Store(kNamingAutoIncrement, "", "1000", "dat", kIncrementNumeric),
              ENamingError::kIncrementRange);
    EXPECT_EQ(naming.Store(kNamingAutoIncrement, "", "-1", "dat", kIncrementNumeric),
              ENamingError::kIncrementRange);
    EXPECT_EQ(naming.Store(kNamingAutoIncrement, "", "AB", "dat", kIncrementAlphabetic),
              ENamingError::kIncrementLetter);
    EXPECT_EQ(naming.Store(kNamingAutoIncrement, "", "A", "dat", -1), ENamingError::kIncrementType);
    EXPECT_EQ(naming.Settings().file_mode, kNamingUserDefined);  // nothing stored on an error
    EXPECT_STREQ(NamingErrorText(ENamingError::kIncrementRange),
                 "Please specify an increment value from 0 to 999.");

    ASSERT_EQ(naming.Store(kNamingFileTitles, "b", "x9", "txt", kIncrementNumeric),
              ENamingError::kNone);
    EXPECT_EQ(naming.Settings().file_increment, "0");
    ASSERT_EQ(naming.Store(kNamingUserDefined, "b", "", "txt", kIncrementAlphabetic),
              ENamingError::kNone);
    EXPECT_EQ(naming.Settings().file_increment, "A");
    ASSERT_EQ(naming.Store(kNamingAutoIncrement, "b", "007", "txt", kIncrementNumeric),
              ENamingError::kNone);
    EXPECT_EQ(naming.Settings().file_increment, "7");
    EXPECT_EQ(naming.Settings().file_extension, "txt");
    // Letters are A to Z either case; their neighbours in ASCII are none.
    for (const char* letter : {"A", "Z", "a", "z", "@", "[", "`", "{"}) {
        const bool is_letter = std::isalpha(static_cast<unsigned char>(letter[0])) != 0;
        EXPECT_EQ(naming.Store(kNamingAutoIncrement, "b", letter, "txt", kIncrementAlphabetic),
                  is_letter ? ENamingError::kNone : ENamingError::kIncrementLetter)
            << letter;
    }
}

}  // namespace
}  // namespace dravik

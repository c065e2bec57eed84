#include "platform/text.h"

#include <gtest/gtest.h>

namespace dravik {
namespace {

TEST(TextTest, NamePartsLowerCaseAndLineEnds) {
    const std::pair<const char*, const char*> names[] = {{"/data/raw/cast12.raw", "cast12.raw"},
                                                         {"cast12.raw", "cast12.raw"},
                                                         {"dir/", ""},
                                                         {"/", ""},
                                                         {"a\\b.raw", "a\\b.raw"},
                                                         {"", ""}};
    for (const auto& [path, name] : names) EXPECT_EQ(NamePart(path), name) << path;
    EXPECT_EQ(AsciiLower("/CL=Run.LOG \xC3\x89"), "/cl=run.log \xC3\x89");
    EXPECT_EQ(UnixLineEnds("a\r\n\r\nb\rc\r"), "a\n\nb\rc\r");
}

}  // namespace
}  // namespace dravik

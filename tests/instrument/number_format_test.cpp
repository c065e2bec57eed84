#include "instrument/number_format.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <charconv>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>

#include "format_diff.h"
#include "instrument/shortest_number.h"

namespace dravik {
namespace {

CSensorFormat Format(int double_type, int width, int precision) {
    return CSensorFormat{double_type, 0, 0, width, precision};
}

std::string Text(double value, const CSensorFormat& fmt) {
    std::string out = "old";
    FormatDouble(out, value, fmt);
    return out;
}

// The fixed, exponent and general forms are those of the C formatter (the
// differential runs below check them); any other double type is general.
TEST(FormatDoubleTest, ReplacesTheTextWithItsForm) {
    EXPECT_EQ(Text(120.0, Format(0, 10, 3)), "   120.000");
    EXPECT_EQ(Text(120.0, Format(7, -1, 4)), "120.0");
    EXPECT_EQ(Text(120.0, Format(-1, -1, 4)), "120.0");
}

TEST(FormatDoubleTest, AppendingFormAndCharBufferForm) {
    std::string row = "a\t";
    AppendDouble(row, 2.25, Format(0, 6, 1));
    AppendDouble(row, 2.25, Format(0, -1, 1));
    EXPECT_EQ(row, "a\t   2.22.2");

    char buf[16];
    EXPECT_EQ(FormatDoubleChars(buf, sizeof buf, 7.0, Format(0, 9, 2)), 9);
    EXPECT_EQ(std::string(buf, 9), "     7.00");
    EXPECT_EQ(FormatDoubleChars(buf, sizeof buf, 7.0, Format(0, 17, 2)), -1);  // width too wide
    EXPECT_EQ(FormatDoubleChars(buf, sizeof buf, 1e20, Format(0, -1, 2)), -1);
    EXPECT_EQ(FormatDoubleChars(buf, 0, 1.0, Format(0, -1, 2)), -1);
}

// Long texts leave the fast path: they must still be the C formatter's texts.
TEST(FormatDoubleTest, LongTextsMatchTheCFormatter) {
    const double values[] = {DBL_MAX, -1e300, 0.1, -DBL_TRUE_MIN, 123.456, 0.0, NAN};
    const int precisions[] = {18, 25, 100, 390, 1100, 5000};
    const int widths[] = {-1, 50, 700, 6000};
    std::vector<char> expected(20000);
    for (double v : values) {
        for (int p : precisions) {
            for (int w : widths) {
                for (int type = 0; type < 3; ++type) {
                    const int n = type == 2 ? format_diff::StandardGeneral(expected.data(),
                                                                           expected.size(), v, w, p)
                                            : format_diff::Reference(
                                                  expected.data(), expected.size(), v, type, w, p);
                    ASSERT_GT(n, 0);
                    std::string out = "x";
                    AppendDouble(out, v, Format(type, w, p));
                    EXPECT_EQ(out.substr(1),
                              std::string(expected.data(), static_cast<std::size_t>(n)))
                        << v << " type " << type << " width " << w << " precision " << p;
                }
            }
        }
    }
}

// A width or precision read unchecked from the settings cannot blow up a cell.
TEST(FormatDoubleTest, HugeWidthAndPrecisionAreCapped) {
    std::string out;
    FormatDouble(out, 1.0, Format(0, INT_MAX, -1));
    EXPECT_EQ(out.size(), static_cast<std::size_t>(kMaxFormatWidth));
    EXPECT_EQ(out.substr(out.size() - 9), " 1.000000");
    FormatDouble(out, 1.0, Format(0, -1, INT_MAX));
    EXPECT_EQ(out.size(), static_cast<std::size_t>(kMaxFormatPrecision) + 2);
    FormatDouble(out, 1.0, Format(2, -1, INT_MAX));
    EXPECT_EQ(out.size(), static_cast<std::size_t>(kMaxFormatPrecision) + 1);
    FormatDouble(out, -1.0, Format(1, INT_MIN, INT_MIN));
    EXPECT_EQ(out, "-1.000000e+00");
}

// A fixed slice of the long differential run of dravik-format-diff: every form at
// every precision up to 17, widths in turn, against the C formatter.
TEST(FormatDoubleTest, MatchesTheCFormatterOnGeneratedValues) {
    ASSERT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
    const format_diff::Stats stats = format_diff::Run(200'000, 20261206, stdout);
    EXPECT_EQ(stats.values, 200'000u);
    EXPECT_EQ(stats.mismatches, 0u);
}

}  // namespace
}  // namespace dravik

namespace dravik {
namespace {

std::string_view Shortest(char* buffer, double value) {
    return {buffer, static_cast<std::size_t>(WriteShortestNumber(buffer, value) - buffer)};
}

std::string_view Library(char* buffer, double value) {
    return {buffer, static_cast<std::size_t>(
                        std::to_chars(buffer, buffer + kMaxShortestNumber, value).ptr - buffer)};
}

// Every text is the library's: its digits, its choice of the fixed or the
// exponent form, and above 2^53 the whole value's own digits.
TEST(ShortestNumber, TheLibrarysShortestText) {
    char mine[kMaxShortestNumber], library[kMaxShortestNumber];
    int mismatches = 0;
    const auto check = [&](double value) {
        if (Shortest(mine, value) != Library(library, value) && ++mismatches <= 5) {
            ADD_FAILURE() << Library(library, value) << " written as " << Shortest(mine, value);
        }
    };
    // The sign, fractions, whole numbers either side of 2^32 and 2^53, whole
    // values above 2^53, subnormals, the least normal and the largest.
    for (const double v : {-0.0, 0.1, 123456.789, -HUGE_VAL, std::nan("")}) check(v);
    for (const double v : {-42.0, 100000.0, 120000.0, 4294967296.0}) check(v);
    for (const double v : {9007199254740991.0, 9007199254740994.0, 18014398509481988.0}) check(v);
    for (const double v : {1.2345678901234567e21, 5e-324, 2.2250738585072009e-308}) check(v);
    for (const double v : {2.2250738585072014e-308, 1e-300, 1.7976931348623157e308}) check(v);
    for (int e = -7; e <= 22; ++e) check(std::pow(10.0, e));
    // Any bit pattern, a value of a common size (2^-30 to 2^80) and a whole
    // number below 2^53.
    std::mt19937_64 rng(2024);
    for (int i = 0; i < 1000000; ++i) {
        check(std::bit_cast<double>(rng()));
        check(std::ldexp(static_cast<double>(rng() >> 11), static_cast<int>(rng() % 110) - 83));
        check(static_cast<double>(rng() >> (11 + rng() % 53)));
    }
    EXPECT_EQ(mismatches, 0);
}

}  // namespace
}  // namespace dravik

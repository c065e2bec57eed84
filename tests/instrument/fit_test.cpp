#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <ctime>
#include <initializer_list>
#include <limits>
#include <string>
#include <vector>

#include "instrument/sensor.h"

using namespace dravik;

namespace {

// A sensor of the given fit with one gain range line per list.
void Define(CSensor& s, int data_type, int fit,
            std::initializer_list<std::initializer_list<double>> lines) {
    s.SetDataType(data_type);
    s.SetFitType(fit);
    for (auto line : lines) {
        s.NextGainRange();
        for (double v : line) s.AddCoefficient(v);
    }
}

}  // namespace

// The unsigned values of every fit, OPTIC3 with its integration time among
// them, are calibrated by the golden conversions; these are the other kinds.
TEST(CalibrationFits, OpticFitsOfSignedAndDoubleValues) {
    CSensor optic2, optic1;
    Define(optic2, kDataAF, kFitOptic2, {{100, 0.5, 1.2}});
    Define(optic1, kDataAI, kFitOptic1, {{0, 1, 1}, {4, 2, 3}});
    double v = 0;
    EXPECT_EQ(optic2.ApplyFitDouble(v, 300.0), 0);
    EXPECT_DOUBLE_EQ(v, 100.0);  // im is 1.0 while not immersed
    optic2.SetImmersed(true);
    EXPECT_EQ(optic2.ApplyFitDouble(v, 300.0), 0);
    EXPECT_DOUBLE_EQ(v, 120.0);
    optic1.SetImmersed(true);
    EXPECT_EQ(optic1.ApplyFitSigned(v, 0x0000A005), 0);
    EXPECT_DOUBLE_EQ(v, (40964.0 - 4) * 3 * 2);  // gain range 1: bits cleared, not shifted
    EXPECT_EQ(optic1.ApplyFitSigned(v, 0x0000A006), kValueGainRangeUndefined);
    EXPECT_EQ(optic1.ApplyFitDouble(v, 5.0), kValueFitNotAllowed);
}

TEST(CalibrationFits, PolynomialsCountAndRefusedFits) {
    CSensor polyu, polyf, single, huge;
    Define(polyu, kDataAF, kFitPolyU, {{1, 2, 3}});
    Define(polyf, kDataAF, kFitPolyF, {{2, 1, 3}});
    Define(single, kDataAF, kFitPolyF, {{7}});
    Define(huge, kDataAF, kFitPolyU, {{0, 1e308}});
    double v = 0;
    EXPECT_EQ(polyu.ApplyFitDouble(v, 2.0), 0);
    EXPECT_EQ(v, 17.0);
    EXPECT_EQ(polyf.ApplyFitDouble(v, 5.0), 0);
    EXPECT_EQ(v, 16.0);
    EXPECT_EQ(single.ApplyFitDouble(v, 5.0), 0);
    EXPECT_EQ(v, 7.0);
    EXPECT_EQ(huge.ApplyFitDouble(v, 10.0), kValueNotFinite);
    EXPECT_TRUE(std::isinf(v));

    CSensor count_bs, count_hs, none;
    Define(count_bs, kDataBS, kFitCount, {});
    Define(count_hs, kDataHS, kFitCount, {});
    Define(none, kDataBU, kFitNone, {});
    EXPECT_EQ(count_bs.ApplyFitSigned(v, 65534), 0);
    EXPECT_EQ(v, 65534.0);
    EXPECT_EQ(count_hs.ApplyFitUnsigned(v, static_cast<std::uint32_t>(-291)), 0);
    EXPECT_EQ(v, -291.0);  // an HS value is signed
    EXPECT_EQ(none.ApplyFitUnsigned(v, 1), kValueFitNotAllowed);
    std::string t;
    EXPECT_EQ(none.FormatTimeUnsigned(t, 1), kValueFitNotAllowed);
    EXPECT_EQ(polyu.FormatTimeDouble(t, 1.0), kValueFitNotAllowed);
}

TEST(TimeTexts, DatesTimesAndAngles) {
    CSensor ddmmyy, time2, hhmmss, ddmm, time2_hs;
    Define(ddmmyy, kDataBU, kFitDDMMYY, {});
    Define(time2, kDataBU, kFitTime2, {});
    Define(time2_hs, kDataHS, kFitTime2, {});
    Define(hhmmss, kDataAF, kFitHHMMSS, {});
    Define(ddmm, kDataAF, kFitDDMM, {});
    std::string t;
    struct IntCase {
        std::uint32_t raw;
        const char* text;
    };
    for (auto c : {IntCase{10203, "01/02/03"}, IntCase{31299, "03/12/99"}}) {
        EXPECT_EQ(ddmmyy.FormatTimeUnsigned(t, c.raw), 0);
        EXPECT_EQ(t, c.text);
    }
    EXPECT_EQ(ddmmyy.FormatTimeSigned(t, -12345), 0);
    EXPECT_EQ(t, "-1/23/45");
    EXPECT_EQ(time2.FormatTimeSigned(t, -1), 0);
    EXPECT_EQ(t, "69-12-31 23.59.59");
    EXPECT_EQ(time2_hs.FormatTimeUnsigned(t, 0xFFFFFFFFu), 0);
    EXPECT_EQ(t, "69-12-31 23.59.59");

    struct DoubleCase {
        CSensor* sensor;
        double raw;
        const char* text;
    };
    for (auto c :
         {DoubleCase{&hhmmss, -123456.78, "12:34:56.78"},
          DoubleCase{&hhmmss, 12345.6, "01:23:45.60"}, DoubleCase{&ddmm, 4434.5, "44 34' 30\""},
          DoubleCase{&ddmm, -4434.5, "44 34' 30\""}, DoubleCase{&ddmm, 4434.9999, "44 34' 60\""},
          DoubleCase{&time2, 86400.9, "70-01-02 00.00.00"},
          DoubleCase{&time2, -86400.9, "70-01-02 00.00.00"},
          DoubleCase{&time2, 1e18, CSensor::kTimeOutOfRangeText}}) {
        EXPECT_EQ(c.sensor->FormatTimeDouble(t, c.raw), 0) << c.raw;
        EXPECT_EQ(t, c.text) << c.raw;
    }
    // Values far beyond any int are written in full, never overflowing.
    EXPECT_EQ(ddmm.FormatTimeDouble(t, 1e300), 0);
    EXPECT_EQ(t.size(), 299u + 8u);  // 1e298 degrees
    EXPECT_EQ(t.substr(t.size() - 8), " 00' 00\"");
    EXPECT_EQ(hhmmss.FormatTimeDouble(t, std::numeric_limits<double>::max()), 0);
    EXPECT_EQ(t.substr(0, 6), "17:97:");
    for (double bad : {std::nan(""), std::numeric_limits<double>::infinity()}) {
        EXPECT_EQ(ddmm.FormatTimeDouble(t, bad), kValueNotFinite);
        EXPECT_EQ(hhmmss.FormatTimeDouble(t, bad), kValueNotFinite);
        EXPECT_EQ(time2.FormatTimeDouble(t, bad), kValueNotFinite);
    }
}

// TIME2 texts from 1970 on come from calendar arithmetic rather than the C
// library: they must be the library's texts, across leap days, century years
// and the last second the text can show.
TEST(TimeTexts, Time2MatchesTheCLibraryCalendar) {
    CSensor time2;
    Define(time2, kDataBD, kFitTime2, {});
    std::vector<std::int64_t> seconds = {
        0, 59, 86399, 951782400 /* 2000-02-29 */, 4107542400 /* 2100-03-01 */, 253402300799};
    for (std::int64_t s = 0; s < 253402300799; s += 12345679) seconds.push_back(s);
    std::string t;
    char expected[64];
    for (std::int64_t s : seconds) {
        const std::time_t tt = static_cast<std::time_t>(s);
        std::tm tm{};
        ASSERT_NE(gmtime_r(&tt, &tm), nullptr);
        const std::size_t n = std::strftime(expected, sizeof expected, "%y-%m-%d %H.%M.%S", &tm);
        EXPECT_EQ(time2.FormatTimeDouble(t, static_cast<double>(s)), 0);
        EXPECT_EQ(t, std::string(expected, n)) << s;
    }
}

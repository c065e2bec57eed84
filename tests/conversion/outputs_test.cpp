// The pieces of the CSV and NetCDF outputs that the example logs do not
// reach: names the netCDF library would refuse, cells that need quoting or
// hold bytes of no UTF-8, and times far from today.
#include <gtest/gtest.h>

#include "conversion/csv_output.h"
#include "conversion/netcdf_plan.h"
#include "conversion/utc_time.h"

namespace dravik {
namespace {

TEST(NetcdfNames, OnlyLettersDigitsAndUnderscoresBeginningWithALetter) {
    const struct {
        const char* text;
        const char* name;
    } cases[] = {
        {"TIME(UTC)", "TIME_UTC"},     {"ES(350.0)", "ES_350_0"}, {"1X(a/b)", "v_1X_a_b"},
        {"_x", "x"},                   {"()", "v_"},              {"\xC3\xA9(\xC3\xA9)", "v_"},
        {"LAT  (HEMI)", "LAT_HEMI"},
    };
    for (const auto& c : cases) EXPECT_EQ(NetcdfName(c.text), c.name) << c.text;
    EXPECT_EQ(NetcdfName(std::string(300, 'A')).size(), 200u);
}

TEST(CsvCells, QuotedWhenTheyHoldACommaAQuoteOrALineEnd) {
    const struct {
        const char* text;
        const char* cell;
    } cases[] = {
        {"Clear", "Clear"},
        {"Clear, light wind", "\"Clear, light wind\""},
        {"5\" rain", "\"5\"\" rain\""},
        {"two\nlines", "\"two\nlines\""},
        {"cr\r", "\"cr\r\""},
        {"", ""},
        {"5 \xB0""C", "5 \xC2\xB0""C"},  // a byte of no UTF-8 is its Latin-1 character
    };
    for (const auto& c : cases) {
        std::string cell;
        AppendCsvCell(cell, c.text);
        EXPECT_EQ(cell, c.cell) << c.text;
    }
}

TEST(UtcTimes, TimeTagsAndIsoTexts) {
    const struct {
        std::int64_t milliseconds;
        const char* text;
    } texts[] = {
        {0, "1970-01-01T00:00:00.000Z"},
        {-1, "1969-12-31T23:59:59.999Z"},
        {951782400250, "2000-02-29T00:00:00.250Z"},
        {253402300799999, "9999-12-31T23:59:59.999Z"},
        {-62135596800000, "0001-01-01T00:00:00.000Z"},
    };
    for (const auto& t : texts) {
        std::string text;
        AppendIsoUtc(text, t.milliseconds, true);
        EXPECT_EQ(text, t.text);
    }
    const struct {
        std::uint32_t date, time;
        bool valid;
        std::int64_t milliseconds;
    } tags[] = {
        {2026100, 100000250, true, 1775815200250},
        {2024366, 235959999, true, 1735689599999},  // the last day of a leap year
        {2025366, 0, false, 0},
        {2026000, 0, false, 0},
        {2026100, 240000000, false, 0},
        {2026100, 106000000, false, 0},
    };
    for (const auto& t : tags) {
        std::int64_t milliseconds = 0;
        EXPECT_EQ(TimeTagMilliseconds(CTimeTag{t.date, t.time}, milliseconds), t.valid) << t.date;
        if (t.valid) {
            EXPECT_EQ(milliseconds, t.milliseconds) << t.date;
        }
    }
}

}  // namespace
}  // namespace dravik

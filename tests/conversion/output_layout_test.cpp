#include "conversion/output_layout.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace dravik {
namespace {

TEST(OutputLayout, CellsArePaddedButNeverCutAndAbsurdWidthsAreBounded) {
    std::string line;
    AppendCell(line, "SN", 5);
    AppendCell(line, "toolongtext", 3);
    AppendLeftCell(line, "ab", 4);
    AppendUnsignedCell(line, 4294967295u, 0);
    EXPECT_EQ(line, "   SNtoolongtextab  4294967295");
    line.clear();
    AppendCell(line, "x", 2000000000);  // a stored width nobody could have meant
    EXPECT_EQ(line.size(), static_cast<std::size_t>(kMaxCellWidth));
}

TEST(OutputLayout, TimeTagCells) {
    const std::vector<std::uint8_t> record = {0x1E, 0x94, 0x9B, 0x07, 0x5B, 0xCD, 0x15};
    CTimeTag tag = DecodeTimeTag(record);
    EXPECT_EQ(tag.date, 2004123u);
    EXPECT_EQ(tag.time, 123456789u);
    // A date stored without its century gets 1800000 added.
    const std::vector<std::uint8_t> short_date = {0x03, 0x1D, 0x5B, 0, 0, 0, 0};  // 204123
    EXPECT_EQ(DecodeTimeTag(short_date).date, 2004123u);
    const std::vector<std::uint8_t> zero = {0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(DecodeTimeTag(zero).date, 1800000u);

    struct Case {
        bool formatted;
        int width;
        const char* expected;
    } cases[] = {
        {true, -1, "2004-123,12:34:56.789\n"},
        {true, 12, "    2004-123,12:34:56.789\n"},
        {true, 3, "2004-123,12:34:56.789\n"},
        {true, 14, "      2004-123,  12:34:56.789\n"},
        {false, -1, "2004123,H\n"},
        {false, 9, "  2004123,H\n"},
    };
    for (const Case& c : cases) {
        std::string line = "row,";
        AppendTimeTagCells(line, tag, c.formatted, c.width, ",", "H");
        EXPECT_EQ(line, std::string("row,") + c.expected) << c.width;
    }
    // Early times keep their leading zeros: 01:02:03.004.
    std::string line;
    AppendTimeTagCells(line, CTimeTag{2004001, 10203004}, true, 0, ";", "");
    EXPECT_EQ(line, "2004-001;01:02:03.004\n");

    EXPECT_DOUBLE_EQ(DecimalHours(123456789), 12 + 34 / 60.0 + 56 / 3600.0 + 789 / 3600000.0);
    EXPECT_DOUBLE_EQ(DecimalHours(0), 0.0);

    line.clear();
    AppendMissingTimeTagCells(line, false, -1, ",", "Error 0");
    EXPECT_EQ(line, "Error 0,Error 0\n");
    line.clear();
    AppendMissingTimeTagCells(line, false, 9, ",", "Error 0");
    EXPECT_EQ(line, "  Error 0,  Error 0\n");
    line.clear();
    AppendMissingTimeTagCells(line, true, -1, ",", "Error 0");
    EXPECT_EQ(line, ",\n");
    line.clear();
    AppendMissingTimeTagCells(line, true, 3, ",", "Error 0");
    EXPECT_EQ(line, "   ,   \n");
}

TEST(FrameChecks, CounterSequences) {
    struct Case {
        std::vector<std::uint32_t> values;
        std::vector<bool> errors;
    } cases[] = {
        {{7, 8, 9}, {false, false, false}},
        {{7, 9, 10}, {false, true, false}},  // the frame after an error is the new reference
        {{7, 9, 10, 11, 13}, {false, true, false, false, true}},
        {{254, 255, 0, 1}, {false, false, false, false}},
        {{255, 255}, {false, true}},
        {{300, 301}, {false, false}},  // compared as read while the reference runs on
    };
    for (const Case& c : cases) {
        CFrameCounterCheck check;
        for (std::size_t i = 0; i < c.values.size(); ++i) {
            EXPECT_EQ(check.Check(c.values[i]), c.errors[i]) << "frame " << i;
        }
    }
}

TEST(FrameChecks, CheckSumResidualIsTheByteSumModulo256ThroughTheCheckSumByte) {
    // 0xFF * 3 + 0x03 = 0x300: valid.
    std::vector<std::uint8_t> frame = {0xFF, 0xFF, 0xFF, 0x03, 0x77};
    EXPECT_EQ(CheckSumResidual(frame, 3), 0u);
    frame[3] = 0x04;  // 0x301
    EXPECT_EQ(CheckSumResidual(frame, 3), 1u);
    EXPECT_EQ(CheckSumResidual(frame, 0), 0xFFu);
    // Never past the frame's end.
    EXPECT_EQ(CheckSumResidual(frame, 1000), (0xFFu * 3 + 0x04 + 0x77) & 0xFF);
    EXPECT_EQ(CheckSumResidual({}, 5), 0u);
}

TEST(HeaderConversion, RecordsSplitIntoNameAndValue) {
    struct Case {
        const char* text;
        const char* name;
        const char* value;
    } cases[] = {
        {"12.5 (Battery)", "Battery", "12.5"},
        {"ABC", "", "ABC"},
        {"x (a) (b)", "b", "x"},
        {" \t12.5   (Battery)\r\n", "Battery", "12.5"},
        {"3 (open", "open", "3"},
        {"(Only name)", "Only name", ""},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        CHeaderRecord record = SplitHeaderRecord(c.text);
        EXPECT_EQ(record.name, c.name) << c.text;
        EXPECT_EQ(record.value, c.value) << c.text;
    }
    EXPECT_EQ(FormatHeaderLine({"Battery", "12.5"}, -1, ","), "Battery,12.5\n");
    EXPECT_EQ(FormatHeaderLine({"", "ABC"}, 0, ","), ",ABC\n");
    EXPECT_EQ(FormatHeaderLine({"Battery", "12.5"}, 10, ","), "Battery   ,12.5      \n");
}

}  // namespace
}  // namespace dravik

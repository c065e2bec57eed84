// The text table's pieces where the golden conversions do not reach: cells
// at odd widths, time tags without their century, header records of odd
// shapes, rows appended behind other text, and the file's CR LF and failures.
#include "conversion/text_output.h"

#include <gtest/gtest.h>

#include "conversion/output_layout.h"
#include "conversion_test_support.h"
#include "instrument/instrument.h"

namespace dravik {
namespace {

using namespace dravik::testing;

TEST(TextLayout, CellsAndTimeTags) {
    std::string line;
    AppendCell(line, "x", 2000000000);  // a stored width nobody could have meant
    EXPECT_EQ(line.size(), static_cast<std::size_t>(kMaxCellWidth));

    const std::uint8_t no_century[] = {0x03, 0x1D, 0x5B, 0x00, 0x9A, 0xF1, 0x1C};  // 204123
    const CTimeTag tag = DecodeTimeTag(no_century);
    struct Case {
        bool formatted;
        int width;
        const char* expected;
    } cases[] = {
        {true, 0, "2004-123,01:01:54.268\n"},
        {true, 14, "      2004-123,  01:01:54.268\n"},
        {false, 9, "  2004123,H\n"},
    };
    for (const Case& c : cases) {
        line = "row,";
        AppendTimeTagCells(line, tag, c.formatted, c.width, ",", "H");
        EXPECT_EQ(line, std::string("row,") + c.expected) << c.width;
    }
    line.clear();
    AppendMissingTimeTagCells(line, true, 3, ",", "Error 0");
    EXPECT_EQ(line, "   ,   \n");
}

TEST(TextLayout, HeaderRecordsSplitIntoNameAndValue) {
    const char* const cases[][3] = {
        {"3 (open", "open", "3"},
        {"(Only name)", "Only name", ""},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        const CHeaderRecord record = SplitHeaderRecord(c[0]);
        EXPECT_EQ(record.name, c[1]) << c[0];
        EXPECT_EQ(record.value, c[2]) << c[0];
    }
}

struct Worked {
    CInstrument instrument;
    std::string bytes = ReadAll(DataDir() / "worked_example" / "data.raw").substr(0, 12);
    Worked() {
        EXPECT_EQ(instrument.Load((DataDir() / "worked_example" / "abcd0042.tdf").string()), 0);
    }
    CSensor* Sensor(int index) { return instrument.GetSensor(index); }
    // The first frame, cut to `length` bytes (a damaged frame when short).
    CFrameData Frame(std::size_t length = 12) {
        CFrameInfo info;
        info.header = "ABCD0042";
        info.frame_size = 12;
        info.frame_counter = 7;
        return CFrameData(bytes.substr(0, length), info);
    }
};

TEST(RowWriter, Cells) {
    Worked w;
    CDravikParameters p;
    p.delimiter = ",";
    CRowWriter writer;
    // Under Suppress Strings a value that cannot be read (the frame is cut
    // inside it) is an empty cell, even in padded columns.
    p.suppress_strings = 1;
    p.format.width = 6;
    writer.Configure(p, "", {w.Sensor(1), w.Sensor(0)}, -1);
    EXPECT_EQ(writer.Row(w.Frame(9), 0), ",     1\n");

    // Positions and times are no numbers either, once fitted.
    CInstrument nav;
    ASSERT_EQ(nav.Load((ExamplesDir() / "nav0001.tdf").string()), 0);
    CFrameInfo info;
    info.header = "GPNAV0001";
    info.terminator = "\r\n";
    const CFrameData fix(
        std::string_view("GPNAV0001,123456.78,4434.5000,N,06330.2500,W,12.5,271.3\r\n"), info);
    p.format.width = 0;
    p.format.apply_fit = 1;
    writer.Configure(p, "", {nav.GetSensor(0), nav.GetSensor(1)}, -1);  // TIME, LAT
    EXPECT_EQ(writer.Row(fix, 0), ",\n");
    p.suppress_strings = 0;
    writer.Configure(p, "", {nav.GetSensor(0)}, -1);
    EXPECT_NE(writer.Row(fix, 0), "\n");
}

// A row without a single cell, the headings without columns: what the
// golden conversions never show. (Their outputs show every other layout.)
TEST(TextOutput, EmptyRowsAndHeadings) {
    Worked w;
    COutputColumns columns;
    columns.params.delimiter = ";";
    EXPECT_EQ(TextHeadings(columns), "\n");
    columns.header_conversion = true;
    EXPECT_EQ(TextHeadings(columns), "");
    CRowWriter writer;
    writer.Configure(columns.params, "", {}, -1);
    std::string out = "before;";
    writer.AppendRow(out, w.Frame(), 0);
    EXPECT_EQ(out, "before;\n");  // the row takes off its own last delimiter only
}

}  // namespace
}  // namespace dravik

// The row writer on its own: one frame in, the text of its row out.
#include "conversion/row_writer.h"

#include <gtest/gtest.h>

#include "conversion_test_support.h"
#include "instrument/instrument.h"
#include "instrument/sensor.h"

namespace dravik {
namespace {

using namespace dravik::testing;

struct Worked {
    CInstrument instrument;
    std::string bytes;
    Worked() {
        const fs::path dir = DataDir() / "worked_example";
        EXPECT_EQ(instrument.Load((dir / "abcd0042.tdf").string()), 0);
        bytes = ReadAll(dir / "data.raw").substr(0, 12);
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

TEST(RowWriter, ColumnsOfOneFrame) {
    Worked w;
    CDravikParameters p;
    p.delimiter = ",";
    p.show_extra = 1;
    CRowWriter writer;
    // Index, serial number, counter, irradiance, the check sum column (its
    // residual) and a sensor that could not be resolved.
    writer.Configure(p, "0042", {w.Sensor(0), w.Sensor(1), w.Sensor(2), nullptr}, 2);
    EXPECT_EQ(writer.Row(w.Frame(), 5), "7,0042,1,2101,5,Error 0\n");

    // Under Suppress Strings a value that cannot be read (the frame is cut
    // inside it) is an empty cell, even in padded columns.
    p.suppress_strings = 1;
    p.format.width = 6;
    p.show_extra = 0;
    writer.Configure(p, "", {w.Sensor(1), w.Sensor(0)}, -1);
    EXPECT_EQ(writer.Row(w.Frame(9), 0), ",     1\n");
    p.suppress_strings = 0;
    writer.Configure(p, "", {w.Sensor(1)}, -1);
    EXPECT_EQ(writer.Row(w.Frame(9), 0).size(), 8u);  // the padded error text and "\n"
}

TEST(RowWriter, TimeTagsCloseTheRow) {
    Worked w;
    CDravikParameters p;
    p.delimiter = ",";
    p.time_tags = 1;
    CRowWriter writer;
    writer.Configure(p, "", {w.Sensor(0)}, -1);
    EXPECT_EQ(writer.Row(w.Frame(), 0), "1,");
    const std::string tag = ReadAll(DataDir() / "worked_example" / "data.raw").substr(12, 7);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(tag.data());
    EXPECT_EQ(writer.TimeTagCells({bytes, 7}), "2004123,12.582441\n");
    EXPECT_EQ(writer.TimeTagCells({bytes, 6}), "Error 0,Error 0\n");
    p.time_tags_formatted = 1;
    writer.Configure(p, "", {w.Sensor(0)}, -1);
    EXPECT_EQ(writer.TimeTagCells({bytes, 7}), "2004-123,12:34:56.789\n");
}

// Rows appended to the text before them (the output file's buffer) are the
// same rows, and the last delimiter taken off a row is never one of the text
// before it, even when a row has no cell at all.
TEST(RowWriter, RowsAppendedBehindOtherText) {
    Worked w;
    CDravikParameters p;
    p.delimiter = ";";
    CRowWriter writer;
    writer.Configure(p, "0042", {w.Sensor(0), w.Sensor(1)}, -1);
    std::string out = "before;";
    writer.AppendRow(out, w.Frame(), 0);
    std::string expected = "before;";
    expected += writer.Row(w.Frame(), 0);
    EXPECT_EQ(out, expected);
    writer.Configure(p, "", {}, -1);
    std::string empty_row = "before;";
    writer.AppendRow(empty_row, w.Frame(), 0);
    EXPECT_EQ(empty_row, "before;\n");
    p.time_tags = 1;
    writer.Configure(p, "", {w.Sensor(0)}, -1);
    std::string cells = "x";
    writer.AppendTimeTags(cells, {});
    EXPECT_EQ(cells, "xError 0;Error 0\n");
}

}  // namespace
}  // namespace dravik

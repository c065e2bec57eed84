#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "instrument/sensor.h"
#include "instrument/value_format.h"

namespace dravik {
namespace {

using namespace std::string_literals;

CSensorFormat Fmt(int width, bool apply_fit = false, bool hex = false, int double_type = 0,
                  int precision = -1) {
    return CSensorFormat{double_type, apply_fit ? 1 : 0, hex ? 1 : 0, width, precision};
}

// One column: a sensor of one field, the frame it is read from, the format and
// the text expected in the column.
struct Column {
    int type;
    int fit;
    std::uint32_t length;  // 0: a delimited field of a comma-separated frame ended by CR LF
    std::string frame;
    CSensorFormat fmt;
    std::string text;
    std::vector<std::vector<double>> gain_ranges = {};
    int field = 0;            // index of a delimited field
    std::uint32_t offset = 0;
};

std::unique_ptr<CSensor> Make(const Column& c) {
    auto s = std::make_unique<CSensor>();
    s->SetDataType(c.type);
    s->SetFitType(c.fit);
    s->SetFieldLength(c.length);
    s->SetOffset(c.offset);
    if (c.length == 0) {
        s->SetVariable(true);
        s->SetVariableField(",,,", "\r\n", c.field);
    }
    for (const auto& line : c.gain_ranges) {
        s->NextGainRange();
        for (double v : line) s->AddCoefficient(v);
    }
    return s;
}

CFrameData Frame(const std::string& bytes, bool delimited) {
    CFrameInfo info;
    info.frame_size = static_cast<int>(bytes.size());
    if (delimited) info.terminator = "\r\n";
    return CFrameData(bytes, info);
}

// Every column text comes out the same from the value formatting of one sensor
// and from the row values of a conversion, which decode without the sensor's
// lock; each appends to what the row holds already.
TEST(SensorValueTest, ColumnTextsOfEveryDataTypeFitAndFailure) {
    const std::vector<std::vector<double>> optic1 = {{0.0, 1.0, 1.0}, {5.0, 2.0, 1.0}};
    const std::vector<std::vector<double>> optic2 = {{100.0, 0.5, 1.0}};
    const Column columns[] = {
        {kDataBU, kFitCount, 2, "\x02\x01", Fmt(6), "   513"},
        {kDataBU, kFitCount, 2, "\x02\x01", Fmt(6, false, true), "000201"},
        // COUNT with the fit applied stays an integer, and hex is for raw values only.
        {kDataBU, kFitCount, 2, "\x02\x01", Fmt(-1, true, true), "513"},
        {kDataBU, kFitOptic1, 4, "\0\0\xA0\x05"s, Fmt(6, false, true), "00A004:1", optic1},
        {kDataBU, kFitOptic1, 4, "\0\0\xA0\x05"s, Fmt(-1, true, false, 0, 1), "81918.0", optic1},
        // Short BS fields are not sign-extended when decoded but are written signed.
        {kDataBS, kFitCount, 1, "\xFF", Fmt(-1), "-1"},
        {kDataBS, kFitCount, 1, "\xFF", Fmt(-1, false, true), "FF"},
        {kDataBS, kFitCount, 2, "\xFF\xFE", Fmt(4), "  -2"},
        {kDataBS, kFitCount, 2, "\xFF\xFE", Fmt(4, true), "  -2"},
        {kDataBS, kFitCount, 4, "\xFF\xFF\xFF\xFE", Fmt(-1, false, true), "FFFFFFFE"},
        {kDataBS, kFitCount, 4, "\xFF\xFF\xFF\xFE", Fmt(-1), "-2"},
        {kDataHS, kFitCount, 4, "4123", Fmt(6), "  -291"},
        {kDataAI, kFitCount, 5, "  -42", Fmt(4), " -42"},
        {kDataBU, kFitOptic2, 2, "\x01\x2C", Fmt(10, true, false, 0, 3), "   100.000", optic2},
        {kDataBU, kFitOptic2, 2, "\x01\x2C", Fmt(10, true, false, 2, 3), "      100.", optic2},
        {kDataBU, kFitOptic2, 2, "\x01\x2C", Fmt(-1, true, false, 1, 2), "1.00e+02", optic2},
        {kDataBF, kFitCount, 4, "\x3F\xC0\0\0"s, Fmt(-1), "1.500000"},
        {kDataBF, kFitCount, 4, "\x3F\xC0\0\0"s, Fmt(-1, true, true), "1.500000"},
        {kDataBU, kFitDDMMYY, 4, "\0\x02\x4B\x20"s, Fmt(10, true), "  15/03/04"},
        {kDataBU, kFitDDMMYY, 4, "\0\x02\x4B\x20"s, Fmt(-1), "150304"},
        {kDataAF, kFitCount, 0, "HDR,7,2.5,x\r\n", Fmt(6, false, false, 0, 2), "  2.50", {}, 1},
        {kDataAS, kFitCount, 0, "HDR,7,2.5,x\r\n", Fmt(3), "  x", {}, 2},
        // Failures keep the column's width.
        {kDataBU, kFitCount, 2, "abcd", Fmt(8), " Error 2", {}, 0, 3},
        {kDataBU, kFitCount, 2, "abcd", Fmt(-1), "Error 2", {}, 0, 3},
        {kDataUnset, kFitCount, 2, "abcd", Fmt(8), " Error 1"},
        {kDataBD, kFitCount, 8, "\x7F\xF8\0\0\0\0\0\0"s, Fmt(-1), "Error 7"},
        // A delimited number field left empty is blank, not an error; a missing one is.
        {kDataAF, kFitCount, 0, "HDR,,\r\n", Fmt(8), "        "},
        {kDataAF, kFitCount, 0, "HDR,,\r\n", Fmt(-1), ""},
        {kDataAI, kFitCount, 0, "HDR,,\r\n", Fmt(5), "     ", {}, 1},
        {kDataAI, kFitCount, 0, "HDR,,\r\n", Fmt(-1), "Error 8", {}, 3},
    };
    for (const Column& c : columns) {
        SCOPED_TRACE(c.text);
        auto sensor = Make(c);
        const CFrameData frame = Frame(c.frame, c.length == 0);
        std::string out = "previous cell";
        FormatSensorValue(out, *sensor, &frame, c.fmt);
        EXPECT_EQ(out, c.text);

        CRowValues row;
        row.Prepare({sensor.get()});
        row.BeginFrame();
        out = "1,";
        row.AppendValue(out, 0, frame, c.fmt);
        EXPECT_EQ(out, "1," + c.text);
    }
    std::string out;
    FormatSensorValue(out, *Make(columns[0]), nullptr, Fmt(-1));
    EXPECT_EQ(out, "Error 5");
    GetValueErrorText(out, 0);  // the text of a time tag cut short
    EXPECT_EQ(out, "Error 0");
}

// The row values of OPTIC3 channels evaluate their integration time once per
// frame, from that frame: two channels share one integration time sensor, one
// has its integration time past the end of the frame, one an integration time
// of a data type that cannot be calibrated, one none; a column without a
// sensor is "Error 0".
TEST(SensorValueTest, Optic3RowValuesTakeTheIntegrationTimeOfEachFrame) {
    CSensor inttime, late, hex;
    for (CSensor* s : {&inttime, &late, &hex}) {
        s->SetDataType(s == &hex ? kDataHU : kDataBU);
        s->SetFitType(kFitPolyU);
        s->SetFieldLength(2);
        s->SetOffset(s == &late ? 40 : 0);
        s->NextGainRange();
        s->AddCoefficient(0.0);
        s->AddCoefficient(0.001);
    }
    CSensor channels[5];
    CSensor* const sources[5] = {&inttime, &inttime, &late, &hex, nullptr};
    for (int k = 0; k < 5; ++k) {
        channels[k].SetDataType(kDataBU);
        channels[k].SetFitType(kFitOptic3);
        channels[k].SetFieldLength(2);
        channels[k].SetOffset(k == 1 ? 4 : 2);
        channels[k].NextGainRange();
        for (double c : {100.0, 0.5, 1.2, 0.064}) channels[k].AddCoefficient(c);
        channels[k].SetIntegrationTimeSensor(sources[k]);
    }
    channels[1].SetImmersed(true);
    CRowValues row;
    std::vector<CSensor*> columns;
    for (CSensor& c : channels) columns.push_back(&c);
    columns.push_back(nullptr);
    row.Prepare(columns);
    // (x - 100)(0.064 / t) 0.5, with im 1.2 for the second channel: 300 and 200 counts.
    const struct {
        std::string bytes;
        CSensorFormat fmt;
        std::string row;
    } frames[] = {
        {"\x00\x80\x01\x2C\x00\xC8"s, Fmt(-1, true, false, 0, 1),
         "50.0,30.0,Error 2,Error 1,Error 0,Error 0,"},
        {"\x01\x00\x01\x2C\x00\xC8"s, Fmt(-1, true, false, 0, 1),
         "25.0,15.0,Error 2,Error 1,Error 0,Error 0,"},
        {"\x00\x00\x01\x2C\x00\xC8"s, Fmt(8, true),
         " Error 7, Error 7, Error 2, Error 1, Error 0, Error 0,"},
        {"\x00\x00\x01\x2C\x00\xC8"s, Fmt(-1), "300,200,300,300,300,Error 0,"},
    };
    for (const auto& f : frames) {
        const CFrameData frame = Frame(f.bytes, false);
        std::string out, locked;
        row.BeginFrame();
        for (std::size_t k = 0; k < columns.size(); ++k) {
            row.AppendValue(out, k, frame, f.fmt);
            out += ',';
        }
        EXPECT_EQ(out, f.row);
        for (CSensor& c : channels) {
            std::string cell;
            FormatSensorValue(cell, c, &frame, f.fmt);
            locked += cell + ',';
        }
        EXPECT_EQ(locked, f.row.substr(0, locked.size()));
    }
}

}  // namespace
}  // namespace dravik

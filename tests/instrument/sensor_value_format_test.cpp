#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "instrument/sensor.h"
#include "instrument/value_format.h"

namespace dravik {
namespace {

std::unique_ptr<CSensor> Sensor(int data_type, int fit_type, std::uint32_t length,
                                std::uint32_t offset = 0) {
    auto sensor = std::make_unique<CSensor>();
    sensor->SetType("T");
    sensor->SetDataType(data_type);
    sensor->SetFitType(fit_type);
    sensor->SetFieldLength(length);
    sensor->SetOffset(offset);
    return sensor;
}

// A delimited field: field `index` of a comma-separated frame ended by CR LF.
std::unique_ptr<CSensor> VariableSensor(int data_type, int index) {
    auto sensor = Sensor(data_type, kFitCount, 0);
    sensor->SetVariable(true);
    sensor->SetVariableField(",,,", "\r\n", index);
    return sensor;
}

void AddGainRange(CSensor& sensor, double a0, double a1, double im) {
    sensor.NextGainRange();
    sensor.AddCoefficient(a0);
    sensor.AddCoefficient(a1);
    sensor.AddCoefficient(im);
}

CFrameData FixedFrame(std::string bytes) {
    CFrameInfo info;
    info.frame_size = static_cast<int>(bytes.size());
    return CFrameData(std::move(bytes), info);
}

CFrameData VariableFrame(std::string text) {
    CFrameInfo info;
    info.terminator = "\r\n";
    return CFrameData(std::move(text), info);
}

CSensorFormat Fmt(int width, bool apply_fit = false, bool hex = false, int double_type = 0,
                  int precision = -1) {
    return CSensorFormat{double_type, apply_fit ? 1 : 0, hex ? 1 : 0, width, precision};
}

std::string Cell(CSensor& sensor, const CFrameData* frame, const CSensorFormat& fmt) {
    std::string out = "previous cell";
    FormatSensorValue(out, sensor, frame, fmt);
    return out;
}

TEST(SensorValueTest, IntegerFieldsInDecimalAndHex) {
    auto bu = Sensor(kDataBU, kFitCount, 2);
    const CFrameData frame513 = FixedFrame(std::string("\x02\x01", 2));
    EXPECT_EQ(Cell(*bu, &frame513, Fmt(6)), "   513");
    EXPECT_EQ(Cell(*bu, &frame513, Fmt(6, false, true)), "000201");
    EXPECT_EQ(Cell(*bu, &frame513, Fmt(-1, false, true)), "201");
    // COUNT with the fit applied stays an integer, and hex is only for raw values.
    EXPECT_EQ(Cell(*bu, &frame513, Fmt(-1, true, true)), "513");

    auto optic1 = Sensor(kDataBU, kFitOptic1, 4);
    AddGainRange(*optic1, 0.0, 1.0, 1.0);
    AddGainRange(*optic1, 5.0, 2.0, 1.0);
    const CFrameData gain1 = FixedFrame(std::string("\x00\x00\xA0\x05", 4));
    EXPECT_EQ(Cell(*optic1, &gain1, Fmt(-1, false, true)), "A004:1");
    EXPECT_EQ(Cell(*optic1, &gain1, Fmt(6, false, true)), "00A004:1");
    EXPECT_EQ(Cell(*optic1, &gain1, Fmt(-1, true, false, 0, 1)), "81918.0");  // (40964-5)*2

    // Short BS fields are not sign-extended when decoded but are written signed.
    auto bs1 = Sensor(kDataBS, kFitCount, 1);
    const CFrameData ff = FixedFrame("\xFF");
    EXPECT_EQ(Cell(*bs1, &ff, Fmt(-1)), "-1");
    EXPECT_EQ(Cell(*bs1, &ff, Fmt(-1, false, true)), "FF");
    auto bs2 = Sensor(kDataBS, kFitCount, 2);
    const CFrameData fffe = FixedFrame("\xFF\xFE");
    EXPECT_EQ(Cell(*bs2, &fffe, Fmt(4)), "  -2");
    EXPECT_EQ(Cell(*bs2, &fffe, Fmt(4, true)), "  -2");
    auto bs4 = Sensor(kDataBS, kFitCount, 4);
    const CFrameData minus2 = FixedFrame("\xFF\xFF\xFF\xFE");
    EXPECT_EQ(Cell(*bs4, &minus2, Fmt(-1, false, true)), "FFFFFFFE");
    EXPECT_EQ(Cell(*bs4, &minus2, Fmt(-1)), "-2");

    auto hs = Sensor(kDataHS, kFitCount, 4);
    const CFrameData hs_frame = FixedFrame("4123");
    EXPECT_EQ(Cell(*hs, &hs_frame, Fmt(-1)), "-291");
    EXPECT_EQ(Cell(*hs, &hs_frame, Fmt(6)), "  -291");

    auto ai = Sensor(kDataAI, kFitCount, 5);
    const CFrameData ai_frame = FixedFrame("  -42");
    EXPECT_EQ(Cell(*ai, &ai_frame, Fmt(4)), " -42");
}

TEST(SensorValueTest, CalibratedAndFloatingValuesUseTheDoubleFormat) {
    auto optic2 = Sensor(kDataBU, kFitOptic2, 2);
    AddGainRange(*optic2, 100.0, 0.5, 1.2);
    optic2->SetImmersed(true);
    const CFrameData raw300 = FixedFrame(std::string("\x01\x2C", 2));
    EXPECT_EQ(Cell(*optic2, &raw300, Fmt(10, true, false, 0, 3)), "   120.000");
    EXPECT_EQ(Cell(*optic2, &raw300, Fmt(10, true, false, 2, 3)), "      120.");
    EXPECT_EQ(Cell(*optic2, &raw300, Fmt(-1, true, false, 1, 2)), "1.20e+02");
    EXPECT_EQ(Cell(*optic2, &raw300, Fmt(-1, false)), "300");

    auto bf = Sensor(kDataBF, kFitCount, 4);
    const CFrameData one_and_half = FixedFrame(std::string("\x3F\xC0\x00\x00", 4));
    EXPECT_EQ(Cell(*bf, &one_and_half, Fmt(-1)), "1.500000");
    EXPECT_EQ(Cell(*bf, &one_and_half, Fmt(-1, true, true)), "1.500000");

    auto ddmmyy = Sensor(kDataBU, kFitDDMMYY, 4);
    const CFrameData date = FixedFrame(std::string("\x00\x02\x4B\x20", 4));  // 150304
    EXPECT_EQ(Cell(*ddmmyy, &date, Fmt(10, true)), "  15/03/04");
    EXPECT_EQ(Cell(*ddmmyy, &date, Fmt(-1, false)), "150304");

    auto af = VariableSensor(kDataAF, 1);
    const CFrameData text = VariableFrame("HDR,7,2.5,x\r\n");
    EXPECT_EQ(Cell(*af, &text, Fmt(6, false, false, 0, 2)), "  2.50");

    auto as = VariableSensor(kDataAS, 2);
    EXPECT_EQ(Cell(*as, &text, Fmt(3)), "  x");
}

TEST(SensorValueTest, FailuresKeepTheColumnWidth) {
    auto bu = Sensor(kDataBU, kFitCount, 2, 3);
    const CFrameData short_frame = FixedFrame("abcd");
    EXPECT_EQ(Cell(*bu, &short_frame, Fmt(8)), " Error 2");
    EXPECT_EQ(Cell(*bu, &short_frame, Fmt(-1)), "Error 2");
    EXPECT_EQ(Cell(*bu, nullptr, Fmt(-1)), "Error 5");

    auto none = Sensor(kDataUnset, kFitCount, 2);
    EXPECT_EQ(Cell(*none, &short_frame, Fmt(8)), " Error 1");

    auto optic1 = Sensor(kDataBU, kFitOptic1, 4);
    AddGainRange(*optic1, 0.0, 1.0, 1.0);
    AddGainRange(*optic1, 5.0, 2.0, 1.0);
    const CFrameData gain2 = FixedFrame(std::string("\x00\x00\xA0\x06", 4));
    EXPECT_EQ(Cell(*optic1, &gain2, Fmt(-1, true)), "Error 3");

    auto bd = Sensor(kDataBD, kFitCount, 8);
    const CFrameData nan_frame = FixedFrame(std::string("\x7F\xF8\0\0\0\0\0\0", 8));
    EXPECT_EQ(Cell(*bd, &nan_frame, Fmt(-1)), "Error 7");

    // A delimited number field left empty is blank, not an error; a missing one is.
    const CFrameData text = VariableFrame("HDR,,\r\n");
    auto af = VariableSensor(kDataAF, 0);
    EXPECT_EQ(Cell(*af, &text, Fmt(8)), std::string(8, ' '));
    EXPECT_EQ(Cell(*af, &text, Fmt(-1)), "");
    auto ai = VariableSensor(kDataAI, 1);
    EXPECT_EQ(Cell(*ai, &text, Fmt(5)), std::string(5, ' '));
    auto beyond = VariableSensor(kDataAI, 3);
    EXPECT_EQ(Cell(*beyond, &text, Fmt(-1)), "Error 8");

    std::string error;
    for (int n = 1; n <= 8; ++n) {
        GetValueErrorText(error, 0x20000000 + n);
        EXPECT_EQ(error, "Error " + std::to_string(n));
    }
    for (int code : {0x20000009, 0, 0x20000000, -1, 0x30000001}) {
        GetValueErrorText(error, code);
        EXPECT_EQ(error, "Error 0") << code;
    }
}

TEST(SensorValueTest, RowsAppendAndValuesConvert) {
    auto optic2 = Sensor(kDataBU, kFitOptic2, 2);
    AddGainRange(*optic2, 100.0, 0.5, 1.2);
    auto bu = Sensor(kDataBU, kFitCount, 1, 1);
    const CFrameData frame = FixedFrame(std::string("\x01\x2C", 2));

    std::string row = "1\t";
    AppendSensorValue(row, *optic2, &frame, Fmt(-1, true, false, 0, 1));
    row += '\t';
    AppendSensorValue(row, *bu, &frame, Fmt(-1, true));
    EXPECT_EQ(row, "1\t100.0\t44");

    double value = 0.0;
    EXPECT_EQ(ConvertSensorValue(value, *optic2, &frame), kValueOk);
    EXPECT_DOUBLE_EQ(value, 100.0);
    EXPECT_EQ(ConvertSensorValue(value, *bu, &frame), kValueOk);
    EXPECT_EQ(value, 44.0);
    EXPECT_EQ(ConvertSensorValue(value, *optic2, nullptr), kValueNoFrame);
    auto as = Sensor(kDataAS, kFitCount, 2);
    EXPECT_EQ(ConvertSensorValue(value, *as, &frame), kValueWrongDataType);
    auto ddmm = Sensor(kDataBU, kFitDDMMYY, 2);
    EXPECT_EQ(ConvertSensorValue(value, *ddmm, &frame), kValueFitNotAllowed);

    auto bs2 = Sensor(kDataBS, kFitCount, 2);
    std::string text;
    FormatSignedRaw(text, *bs2, Fmt(-1), 65534);
    EXPECT_EQ(text, "-2");
    auto ai = Sensor(kDataAI, kFitCount, 2);
    FormatSignedRaw(text, *ai, Fmt(7), 65534);
    EXPECT_EQ(text, "  65534");
}

// The rows of a conversion decode without locks and evaluate each integration
// time once per frame; their texts must be those of the locked formatting,
// frame after frame, whatever the types, fits and failures.
TEST(SensorValueTest, RowValuesMatchTheLockedFormatting) {
    // Bytes 0-1 integration time, 2-3 and 4-5 two channels, 6-9 a float,
    // 10-11 an HS field, 12-14 an AI field, 15-16 text, 17-20 a TIME2 count.
    auto inttime = Sensor(kDataBU, kFitPolyU, 2, 0);
    inttime->NextGainRange();
    inttime->AddCoefficient(0.0);
    inttime->AddCoefficient(0.001);
    auto late_inttime = Sensor(kDataBU, kFitPolyU, 2, 40);  // past the end of every frame
    late_inttime->NextGainRange();
    late_inttime->AddCoefficient(1.0);
    std::vector<std::unique_ptr<CSensor>> sensors;
    for (CSensor* source :
         {inttime.get(), inttime.get(), late_inttime.get(), static_cast<CSensor*>(nullptr)}) {
        auto channel = Sensor(kDataBU, kFitOptic3, 2, sensors.size() % 2 == 0 ? 2 : 4);
        channel->NextGainRange();
        for (double c : {2037.0, 7.963872e-05, 1.36, 0.128}) channel->AddCoefficient(c);
        channel->SetIntegrationTimeSensor(source);
        channel->SetImmersed(sensors.size() == 1);
        sensors.push_back(std::move(channel));
    }
    sensors.push_back(Sensor(kDataBF, kFitCount, 4, 6));
    sensors.push_back(Sensor(kDataHS, kFitCount, 2, 10));
    auto ai = Sensor(kDataAI, kFitPolyU, 3, 12);
    ai->NextGainRange();
    ai->AddCoefficient(0.5);
    ai->AddCoefficient(2.0);
    sensors.push_back(std::move(ai));
    sensors.push_back(Sensor(kDataAS, kFitCount, 2, 15));
    sensors.push_back(Sensor(kDataBU, kFitTime2, 4, 17));
    auto optic1 = Sensor(kDataBU, kFitOptic1, 2, 2);
    AddGainRange(*optic1, 10.0, 0.25, 1.0);
    sensors.push_back(std::move(optic1));

    std::vector<CSensor*> columns;
    for (auto& s : sensors) columns.push_back(s.get());
    columns.push_back(nullptr);
    CRowValues row_values;
    row_values.Prepare(columns);

    const std::string full(
        "\x00\x80\x12\x34\x0F\xFF\x3F\x80\x00\x00"
        "C5 42AB"
        "\x5B\xCD\x15\x00",
        21);
    const std::string other_time = std::string("\x01\x00", 2) + full.substr(2);
    const std::string zero_time = std::string("\x00\x00", 2) + full.substr(2);
    for (const CSensorFormat& fmt :
         {Fmt(-1, true), Fmt(12, true, false, 1, 3), Fmt(-1, false, true), Fmt(6)}) {
        for (const std::string& bytes : {full, other_time, zero_time, full.substr(0, 5)}) {
            const CFrameData frame = FixedFrame(bytes);
            std::string expected = "SN,", row = "SN,";
            row_values.BeginFrame();
            for (std::size_t k = 0; k < columns.size(); ++k) {
                if (columns[k] != nullptr) {
                    AppendSensorValue(expected, *columns[k], &frame, fmt);
                } else {  // "Error 0", right-aligned like every cell
                    expected.append(fmt.width > 7 ? fmt.width - 7 : 0, ' ') += "Error 0";
                }
                row_values.AppendValue(row, k, frame, fmt);
                expected += ',';
                row += ',';
            }
            EXPECT_EQ(row, expected) << bytes.size() << " bytes, width " << fmt.width;
        }
    }
}

}  // namespace
}  // namespace dravik

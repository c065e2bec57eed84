#include "instrument/sensor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <string>

using namespace dravik;

namespace {

std::unique_ptr<CSensor> MakeSensor(int data_type, int fit, std::uint32_t offset,
                                    std::uint32_t length) {
    auto s = std::make_unique<CSensor>();
    s->SetDataType(data_type);
    s->SetFitType(fit);
    s->SetOffset(offset);
    s->SetFieldLength(length);
    return s;
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

std::uint32_t Unsigned(int data_type, const std::string& bytes, int* code = nullptr) {
    auto s = MakeSensor(data_type, kFitCount, 0, static_cast<std::uint32_t>(bytes.size()));
    auto frame = FixedFrame(bytes);
    std::uint32_t v = 12345;
    int r = s->GetUnsignedValue(v, &frame);
    if (code) *code = r;
    return v;
}

int Signed(int data_type, const std::string& bytes, std::int32_t& v) {
    auto s = MakeSensor(data_type, kFitCount, 0, static_cast<std::uint32_t>(bytes.size()));
    auto frame = FixedFrame(bytes);
    return s->GetSignedValue(v, &frame);
}

int Double(int data_type, const std::string& bytes, double& v) {
    auto s = MakeSensor(data_type, kFitCount, 0, static_cast<std::uint32_t>(bytes.size()));
    auto frame = FixedFrame(bytes);
    return s->GetDoubleValue(v, &frame);
}

}  // namespace

TEST(SensorDecoding, BinaryAndHexIntegers) {
    using namespace std::string_literals;
    EXPECT_EQ(Unsigned(kDataBU, "\x01\x02"s), 258u);
    EXPECT_EQ(Unsigned(kDataBU, "\xFF\xFF\xFF\xFF"s), 0xFFFFFFFFu);
    EXPECT_EQ(Unsigned(kDataHU, "1F"), 31u);
    EXPECT_EQ(Unsigned(kDataHU, "00FF"), 255u);
    EXPECT_EQ(Unsigned(kDataHU, "ff"), 255u);
    // A character that is no hexadecimal digit counts as 0.
    EXPECT_EQ(Unsigned(kDataHU, "1G"), 0x10u);
    // Sign and magnitude; the bit of weight 8 in the first digit is ignored.
    EXPECT_EQ(static_cast<std::int32_t>(Unsigned(kDataHS, "4123")), -291);
    EXPECT_EQ(static_cast<std::int32_t>(Unsigned(kDataHS, "0123")), 291);
    EXPECT_EQ(static_cast<std::int32_t>(Unsigned(kDataHS, "C123")), -291);
    EXPECT_EQ(static_cast<std::int32_t>(Unsigned(kDataHS, "7FFFFFFF")), -0x3FFFFFFF);

    std::int32_t v = 0;
    EXPECT_EQ(Signed(kDataBS, "\xFF\xFE"s, v), 0);
    EXPECT_EQ(v, 65534);  // not sign-extended below 4 bytes
    EXPECT_EQ(Signed(kDataBS, "\xFF\xFF\xFF\xFE"s, v), 0);
    EXPECT_EQ(v, -2);
    EXPECT_EQ(Signed(kDataBS, "\xFF"s, v), 0);
    EXPECT_EQ(v, 255);
}

TEST(SensorDecoding, FloatsAndTextNumbers) {
    using namespace std::string_literals;
    double d = 0;
    EXPECT_EQ(Double(kDataBF, "\x3F\x80\x00\x00"s, d), 0);
    EXPECT_EQ(d, 1.0);
    EXPECT_EQ(Double(kDataBF, "\x7F\xC0\x00\x00"s, d), kValueNotFinite);
    EXPECT_EQ(Double(kDataBF, "\x7F\x80\x00\x00"s, d), kValueNotFinite);
    EXPECT_EQ(Double(kDataBD, "\x3F\xF0\x00\x00\x00\x00\x00\x00"s, d), 0);
    EXPECT_EQ(d, 1.0);
    EXPECT_EQ(Double(kDataBD, "\xC0\x09\x21\xFB\x54\x44\x2D\x18"s, d), 0);
    EXPECT_DOUBLE_EQ(d, -3.141592653589793);

    std::int32_t i = 0;
    EXPECT_EQ(Signed(kDataAI, "\x00\x00\x31\x32\x00\x37"s, i), 0);
    EXPECT_EQ(i, 12);
    EXPECT_EQ(Signed(kDataAI,
                     "\xB1-4\xFF"
                     "2x"s,
                     i),
              0);  // high bytes skipped
    EXPECT_EQ(i, -42);
    EXPECT_EQ(Signed(kDataAI, "  +17 m", i), 0);
    EXPECT_EQ(i, 17);
    EXPECT_EQ(Signed(kDataAI, "    ", i), kValueNoNumber);
    EXPECT_EQ(Signed(kDataAI, "2147483647", i), kValueNoNumber);
    EXPECT_EQ(Signed(kDataAI, "-2147483648", i), kValueNoNumber);
    EXPECT_EQ(Signed(kDataAI, "99999999999999999999999", i), kValueNoNumber);
    EXPECT_EQ(Signed(kDataAI, "2147483646", i), 0);
    EXPECT_EQ(i, 2147483646);

    EXPECT_EQ(Double(kDataAF, " 3.25e2 V", d), 0);
    EXPECT_EQ(d, 325.0);
    EXPECT_EQ(Double(kDataAF, "-.5", d), 0);
    EXPECT_EQ(d, -0.5);
    EXPECT_EQ(Double(kDataAF, "abc", d), kValueNoNumber);
    EXPECT_EQ(Double(kDataAF, "+-1", d), kValueNoNumber);
    EXPECT_EQ(Double(kDataAF, "1e999", d), kValueNotFinite);
    EXPECT_EQ(Double(kDataAF, "nan", d), kValueNotFinite);
}

TEST(SensorDecoding, ChecksComeInTheirOrderAndFailuresLeaveZero) {
    auto frame = FixedFrame("ABCDEF");
    std::uint32_t u = 7;
    std::int32_t i = 7;
    double d = 7;
    std::string t = "x";

    auto none = MakeSensor(kDataBU, kFitNone, 0, 1);
    EXPECT_EQ(none->GetUnsignedValue(u, nullptr), kValueFitNotAllowed);
    auto delimiter = MakeSensor(kDataAS, kFitDelimiter, 0, 1);
    EXPECT_EQ(delimiter->GetStringValue(t, &frame), kValueFitNotAllowed);

    // Unsigned and text test the data type before the frame, signed and double after.
    auto bf = MakeSensor(kDataBF, kFitCount, 0, 4);
    EXPECT_EQ(bf->GetUnsignedValue(u, nullptr), kValueWrongDataType);
    EXPECT_EQ(bf->GetStringValue(t, nullptr), kValueWrongDataType);
    EXPECT_EQ(bf->GetSignedValue(i, nullptr), kValueNoFrame);
    EXPECT_EQ(bf->GetSignedValue(i, &frame), kValueWrongDataType);
    auto bu = MakeSensor(kDataBU, kFitCount, 0, 2);
    EXPECT_EQ(bu->GetDoubleValue(d, nullptr), kValueNoFrame);

    auto past_end = MakeSensor(kDataBU, kFitCount, 5, 2);
    ASSERT_EQ(past_end->GetUnsignedValue(u, &frame), kValueFrameTooShort);
    EXPECT_EQ(past_end->GetUnsignedRawValue(), 0u);
    auto ok = MakeSensor(kDataBU, kFitCount, 4, 2);
    ASSERT_EQ(ok->GetUnsignedValue(u, &frame), 0);
    EXPECT_EQ(ok->GetUnsignedRawValue(), 0x4546u);
    EXPECT_EQ(ok->GetUnsignedValue(u, nullptr), kValueNoFrame);
    EXPECT_EQ(ok->GetUnsignedRawValue(), 0u);

    // A frame record that claims more bytes than it holds is not read past its end.
    CFrameInfo info;
    info.frame_size = 100;
    CFrameData short_frame(std::string("AB"), info);
    auto far = MakeSensor(kDataBU, kFitCount, 50, 4);
    EXPECT_EQ(far->GetUnsignedValue(u, &short_frame), kValueFrameTooShort);
    auto far_text = MakeSensor(kDataAS, kFitCount, 1, 4);
    EXPECT_EQ(far_text->GetStringValue(t, &short_frame), kValueFrameTooShort);
}

TEST(SensorVariableFields, FieldsAreCutAtDelimitersAndTerminator) {
    auto field = [](int index, const std::string& text, std::string& out) {
        CSensor s;
        s.SetVariableField(",,,", "\r\n", index);
        return s.ExtractVariableField(out, text);
    };
    std::string out;
    const std::string frame = "ABC001,1.5,2.5,3.5\r\n";
    EXPECT_EQ(field(0, frame, out), 0);
    EXPECT_EQ(out, "1.5");
    EXPECT_EQ(field(2, frame, out), 0);
    EXPECT_EQ(out, "3.5");
    EXPECT_EQ(field(3, frame, out), kValueFieldNotFound);
    EXPECT_EQ(out, "");
    EXPECT_EQ(field(2, "ABC001,1.5\r\n", out), kValueFieldNotFound);
    EXPECT_EQ(field(0, "ABC001,12^2C5,x\r\n", out), 0);
    EXPECT_EQ(out, "12,5");
    // Fields are counted by the delimiters found: with one comma missing,
    // field 1 is never reached.
    EXPECT_EQ(field(1, "ABC001;7,8\r\n", out), kValueFieldNotFound);
    EXPECT_EQ(field(0, "ABC001,tail", out), 0);
    EXPECT_EQ(out, "tail");

    // Through the decoders: numbers and texts of a variable frame.
    CSensor af, ai, as;
    af.SetDataType(kDataAF);
    ai.SetDataType(kDataAI);
    as.SetDataType(kDataAS);
    for (CSensor* s : {&af, &ai, &as}) {
        s->SetFitType(kFitCount);
        s->SetVariable(true);
    }
    af.SetVariableField(",,", "\r\n", 0);
    ai.SetVariableField(",,", "\r\n", 1);
    as.SetVariableField(",,", "\r\n", 2);
    double d = 0;
    std::int32_t i = 0;
    std::string t;
    auto good = VariableFrame("NAV1,-12.25,42\r\n");
    EXPECT_EQ(af.GetDoubleValue(d, &good), 0);
    EXPECT_EQ(d, -12.25);
    EXPECT_EQ(ai.GetSignedValue(i, &good), 0);
    EXPECT_EQ(i, 42);
    EXPECT_EQ(as.GetStringValue(t, &good), kValueFieldNotFound);
    EXPECT_EQ(t, "");
    auto empty = VariableFrame("NAV1,,\r\n");
    EXPECT_EQ(af.GetDoubleValue(d, &empty), kValueNoNumber);
    EXPECT_EQ(ai.GetSignedValue(i, &empty), kValueNoNumber);
}

TEST(SensorVariableFields, EscapesDecodeTwoHexDigitsUntilOneFails) {
    EXPECT_EQ(CSensor::DecodeEscapes("a^41b", ""), "a^41b");
    EXPECT_EQ(CSensor::DecodeEscapes("\\x09", "\\x"), "\t");
    EXPECT_EQ(CSensor::DecodeEscapes("\\x0D\\x0A", "\\x"), "\r\n");
    EXPECT_EQ(CSensor::DecodeEscapes("x^41y", "^"), "xAy");
    EXPECT_EQ(CSensor::DecodeEscapes("a^4", "^"), std::string("a\x04"));
    EXPECT_EQ(CSensor::DecodeEscapes("ab^", "^"), "ab");
    // After a failed escape no later escape yields a byte; its characters are still consumed.
    EXPECT_EQ(CSensor::DecodeEscapes("^ZZ^41c", "^"), "c");
    EXPECT_EQ(CSensor::DecodeEscapes(std::string("^00", 3), "^"), std::string(1, '\0'));
}

TEST(SensorCoefficients, EachIsTaggedWithItsGainRange) {
    CSensor s;
    s.SetFitType(kFitOptic1);
    s.NextGainRange();
    for (double v : {0.0, 1.0, 1.0}) s.AddCoefficient(v);
    s.NextGainRange();
    for (double v : {5.0, 2.0, 1.0}) s.AddCoefficient(v);
    double v = -1;
    EXPECT_TRUE(s.GetCoefficient(v, 1, 0));
    EXPECT_EQ(v, 5.0);
    EXPECT_TRUE(s.GetCoefficient(v, 1, 1));
    EXPECT_EQ(v, 2.0);
    EXPECT_FALSE(s.GetCoefficient(v, 2, 0));
    EXPECT_EQ(v, 0.0);
    EXPECT_FALSE(s.GetCoefficient(v, 0, 3));  // the fourth belongs to gain range 1
    EXPECT_FALSE(s.GetCoefficient(v, 0, -1));
    EXPECT_EQ(s.GetCoefficientCount(), 6);
}

// Random frames through every decoder of every data type: no crash, no read
// past the frame, and only codes the operation can give.
TEST(SensorRobustness, RandomFramesThroughEveryDecoder) {
    std::mt19937 rng(20260317);
    for (int round = 0; round < 3000; ++round) {
        const int data_type = static_cast<int>(rng() % 10);
        const int fit = static_cast<int>(rng() % 13);
        const std::uint32_t length = rng() % 12;
        const std::uint32_t offset = rng() % 16;
        auto s = MakeSensor(data_type, fit, offset, length);
        if (rng() % 4 == 0) {
            s->SetVariable(true);
            s->SetVariableField(std::string(rng() % 4, ','), rng() % 2 ? "\r\n" : "",
                                static_cast<int>(rng() % 4) - 1);
        }
        std::string bytes(rng() % 24, '\0');
        for (char& c : bytes) c = static_cast<char>(rng() % 8 == 0 ? ",^\r\n"[rng() % 4] : rng());
        CFrameInfo info;
        info.frame_size = static_cast<int>(rng() % 30);
        if (rng() % 2) info.terminator = "\r\n";
        CFrameData frame(bytes, info);
        std::uint32_t u;
        std::int32_t i;
        double d;
        std::string t;
        for (int r : {s->GetUnsignedValue(u, &frame), s->GetSignedValue(i, &frame),
                      s->GetDoubleValue(d, &frame), s->GetStringValue(t, &frame)}) {
            EXPECT_TRUE(r == 0 || (r >= kValueWrongDataType && r <= kValueNoIntegrationSensor))
                << r;
        }
        if (s->GetDoubleValue(d, &frame) == 0) {
            EXPECT_TRUE(std::isfinite(d));
        }
    }
}

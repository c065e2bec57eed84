#include "instrument/sensor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <thread>

using namespace dravik;
using namespace std::string_literals;

namespace {

CFrameData Frame(std::string bytes, const char* terminator = "") {
    CFrameInfo info;
    info.frame_size = static_cast<int>(bytes.size());
    info.terminator = terminator;
    return CFrameData(std::move(bytes), info);
}

void Define(CSensor& s, int data_type, int fit, std::uint32_t offset, std::uint32_t length) {
    s.SetDataType(data_type);
    s.SetFitType(fit);
    s.SetOffset(offset);
    s.SetFieldLength(length);
}

// Decodes a whole fixed frame as one field with the operation of its data type.
int Decode(int data_type, const std::string& bytes, double& value) {
    CSensor s;
    Define(s, data_type, kFitCount, 0, static_cast<std::uint32_t>(bytes.size()));
    auto frame = Frame(bytes);
    std::uint32_t u = 0;
    std::int32_t i = 0;
    int r;
    if (s.IsUnsignedType()) {
        r = s.GetUnsignedValue(u, &frame);
        value = data_type == kDataHS ? static_cast<double>(static_cast<std::int32_t>(u)) : u;
    } else if (s.IsSignedType()) {
        r = s.GetSignedValue(i, &frame);
        value = i;
    } else {
        r = s.GetDoubleValue(value, &frame);
    }
    return r;
}

}  // namespace

TEST(SensorDecoding, EveryNumericDataType) {
    struct Case {
        int type;
        std::string bytes;
        int code;
        double value;
    };
    const Case cases[] = {
        {kDataBU, "\x01\x02"s, 0, 258},
        {kDataBU, "\xFF\xFF\xFF\xFF"s, 0, 4294967295.0},
        {kDataBS, "\xFF\xFE"s, 0, 65534},  // not sign-extended below 4 bytes
        {kDataBS, "\xFF\xFF\xFF\xFE"s, 0, -2},
        {kDataHU, "1F", 0, 31},
        {kDataHU, "00FF", 0, 255},
        {kDataHU, "1G", 0, 16},  // a character that is no hex digit counts as 0
        {kDataHS, "C123", 0, -291},  // the bit of weight 8 is ignored, the one of 4 is the sign
        {kDataHS, "7FFFFFFF", 0, -0x3FFFFFFF},
        {kDataBF, "\x3F\x80\x00\x00"s, 0, 1.0},
        {kDataBD, "\xC0\x09\x21\xFB\x54\x44\x2D\x18"s, 0, -3.141592653589793},
        {kDataBD, "\x7F\xF0\x00\x00\x00\x00\x00\x00"s, kValueNotFinite, 0},
        {kDataAI, "\x00\x00\x31\x32\x00\x37"s, 0, 12},  // leading zero bytes skipped
        {kDataAI, "\xB1-4\xFF\x32x"s, 0, -42},  // bytes of 128 and above skipped
        {kDataAI, "  +17 m", 0, 17},
        {kDataAI, "+-17", kValueNoNumber, 0},
        {kDataAI, "2147483647", kValueNoNumber, 0},
        {kDataAI, "-2147483648", kValueNoNumber, 0},
        {kDataAI, "99999999999999999999999", kValueNoNumber, 0},
        {kDataAI, "2147483646", 0, 2147483646},
        {kDataAF, " 3.25e2 V", 0, 325},
        {kDataAF, "-.5", 0, -0.5},
        {kDataAF, "abc", kValueNoNumber, 0},
        {kDataAF, "+-1", kValueNoNumber, 0},
        {kDataAF, "1e999", kValueNotFinite, 0},
        {kDataAF, "nan", kValueNotFinite, 0},
    };
    for (const Case& c : cases) {
        double v = -1;
        EXPECT_EQ(Decode(c.type, c.bytes, v), c.code) << c.type << " " << c.bytes;
        if (c.code == 0) {
            EXPECT_EQ(v, c.value) << c.type << " " << c.bytes;
        }
    }
}

TEST(SensorDecoding, ChecksComeInTheirOrder) {
    auto frame = Frame("ABCDEF");
    std::uint32_t u = 7;
    std::int32_t i = 7;
    double d = 7;
    std::string t = "x";
    CSensor none, bf, ok, past_end;
    Define(none, kDataBU, kFitNone, 0, 1);
    EXPECT_EQ(none.GetUnsignedValue(u, nullptr), kValueFitNotAllowed);
    // Unsigned and text test the data type before the frame, signed and double after.
    Define(bf, kDataBF, kFitCount, 0, 4);
    EXPECT_EQ(bf.GetUnsignedValue(u, nullptr), kValueWrongDataType);
    EXPECT_EQ(bf.GetStringValue(t, nullptr), kValueWrongDataType);
    EXPECT_EQ(bf.GetSignedValue(i, nullptr), kValueNoFrame);
    EXPECT_EQ(bf.GetSignedValue(i, &frame), kValueWrongDataType);

    Define(ok, kDataBU, kFitCount, 4, 2);
    ASSERT_EQ(ok.GetUnsignedValue(u, &frame), 0);
    EXPECT_EQ(u, 0x4546u);
    EXPECT_EQ(ok.GetUnsignedValue(u, nullptr), kValueNoFrame);
    Define(past_end, kDataBU, kFitCount, 5, 2);
    EXPECT_EQ(past_end.GetUnsignedValue(u, &frame), kValueFrameTooShort);

    // A frame record that claims more bytes than it holds is not read past its end.
    CFrameInfo info;
    info.frame_size = 100;
    CFrameData short_frame("AB"s, info);
    Define(past_end, kDataAS, kFitCount, 1, 4);
    EXPECT_EQ(past_end.GetStringValue(t, &short_frame), kValueFrameTooShort);
    Define(past_end, kDataBD, kFitCount, 1, 8);
    EXPECT_EQ(past_end.GetDoubleValue(d, &short_frame), kValueFrameTooShort);
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
    EXPECT_EQ(field(0, "ABC001,12^2C5,x\r\n", out), 0);
    EXPECT_EQ(out, "12,5");
    // Fields are counted by the delimiters found: with a comma missing, field 1 is never reached.
    EXPECT_EQ(field(1, "ABC001;7,8\r\n", out), kValueFieldNotFound);
}

TEST(SensorVariableFields, EscapesDecodeTwoHexDigitsUntilOneFails) {
    EXPECT_EQ(CSensor::DecodeEscapes("a^41b", ""), "a^41b");
    EXPECT_EQ(CSensor::DecodeEscapes("\\x0D\\x0A", "\\x"), "\r\n");
    EXPECT_EQ(CSensor::DecodeEscapes("x^41y", "^"), "xAy");
    EXPECT_EQ(CSensor::DecodeEscapes("a^4", "^"), "a\x04"s);
    EXPECT_EQ(CSensor::DecodeEscapes("ab^", "^"), "ab");
    // After a failed escape no later one yields a byte; its characters are still consumed.
    EXPECT_EQ(CSensor::DecodeEscapes("^ZZ^41c", "^"), "c");
}

TEST(SensorCoefficients, EachIsTaggedWithItsGainRange) {
    CSensor s;
    s.SetFitType(kFitOptic1);
    const double lines[2][3] = {{0, 1, 1}, {5, 2, 1}};
    for (const auto& line : lines) {
        s.NextGainRange();
        for (double v : line) s.AddCoefficient(v);
    }
    double v = -1;
    EXPECT_TRUE(s.GetCoefficient(v, 1, 0));
    EXPECT_EQ(v, 5.0);
    EXPECT_FALSE(s.GetCoefficient(v, 2, 0));
    EXPECT_EQ(v, 0.0);
    EXPECT_FALSE(s.GetCoefficient(v, 0, 3));  // the fourth belongs to gain range 1
}

// Random frames through every decoder of every data type and fit: no crash,
// no read past the frame (under the sanitizers), only known codes.
TEST(SensorRobustness, RandomFramesThroughEveryDecoder) {
    std::mt19937 rng(20260317);
    for (int round = 0; round < 3000; ++round) {
        CSensor s;
        Define(s, rng() % 10, rng() % 13, rng() % 16, rng() % 12);
        if (rng() % 4 == 0) {
            s.SetVariable(true);
            s.SetVariableField(std::string(rng() % 4, ','), rng() % 2 ? "\r\n" : "",
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
        double d = 0;
        std::string t;
        for (int r : {s.GetUnsignedValue(u, &frame), s.GetSignedValue(i, &frame),
                      s.GetStringValue(t, &frame), s.GetDoubleValue(d, &frame)}) {
            EXPECT_TRUE(r == 0 || (r >= kValueWrongDataType && r <= kValueNoIntegrationSensor));
        }
        EXPECT_TRUE(std::isfinite(d));
    }
}

// An OPTIC3 channel takes its integration time sensor's lock inside its own;
// decoding both from two threads must neither deadlock nor race.
TEST(SensorConcurrency, ChannelAndIntegrationTimeDecodedFromTwoThreads) {
    CSensor inttime, channel;
    Define(inttime, kDataBU, kFitPolyU, 2, 2);
    inttime.NextGainRange();
    inttime.AddCoefficient(0);
    inttime.AddCoefficient(1);
    // (x - 0)(128 / t): the raw value back when the integration time of the frame was stored.
    Define(channel, kDataBU, kFitOptic3, 0, 2);
    channel.NextGainRange();
    for (double c : {0.0, 1.0, 1.0, 128.0}) channel.AddCoefficient(c);
    channel.SetIntegrationTimeSensor(&inttime);
    auto frame = Frame("\x01\x2C\x00\x80"s);
    int failures = 0;
    std::thread other([&] {
        std::uint32_t raw;
        for (int k = 0; k < 2000; ++k) {
            inttime.SetImmersed(k % 2 == 0);
            if (inttime.GetUnsignedValue(raw, &frame) != 0 || raw != 128) ++failures;
        }
    });
    int own_failures = 0;
    for (int k = 0; k < 2000; ++k) {
        std::uint32_t raw;
        double v;
        if (channel.GetUnsignedValue(raw, &frame) != 0 || channel.ApplyFitUnsigned(v, raw) != 0 ||
            v != 300.0)
            ++own_failures;
    }
    other.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(own_failures, 0);
}

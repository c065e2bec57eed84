// Frames of the log generator read back through the sensors' own decoders:
// every data type decodes, values stay in their plausible ranges, the frame
// counter runs on and check sums balance.
#include "log_generator.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

#include "instrument/instrument.h"
#include "instrument/sensor.h"

namespace {

namespace fs = std::filesystem;
using namespace dravik;

std::string WriteInstrument(const std::string& name, const std::string& text) {
    const fs::path path = fs::temp_directory_path() / (name + "-" + std::to_string(::getpid()));
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
}

TEST(LogGeneratorTest, FixedFramesDecodeForEveryDataType) {
    const std::string path = WriteInstrument(
        "every-type.cal",
        "INSTRUMENT GEN '' 3 AS 0 NONE\nSN 0007 '' 4 AS 0 NONE\n"
        "FRAME COUNTER 'DN' 1 BU 0 COUNT\n"
        "RAW NONE '' 2 BU 0 COUNT\nSIGNED NONE '' 4 BS 0 COUNT\n"
        "SINGLE NONE '' 4 BF 0 COUNT\nDOUBLE NONE '' 8 BD 0 COUNT\n"
        "HEXU NONE '' 4 HU 0 COUNT\nHEXS NONE '' 4 HS 0 COUNT\n"
        "INT NONE '' 5 AI 0 COUNT\nLAT NONE '' 9 AF 0 DDMM\nTXT NONE '' 3 AS 0 COUNT\n"
        "DATE NONE '' 6 AI 0 DDMMYY\nCHECK SUM '' 1 BU 0 COUNT\n");
    CInstrument instrument;
    ASSERT_EQ(instrument.Load(path), 0);
    fs::remove(path);
    ASSERT_EQ(instrument.GetErrorCount(), 0) << instrument.GetMessage();

    LogGeneratorOptions options;
    options.seed = 1;
    options.start_date = 2024366;  // 31 December of a leap year: the next day is a new year
    options.start_time_ms = 86399000;
    options.period_ms = 600;
    CLogGenerator generator(&instrument, options);
    CFrameInfo info;
    info.frame_size = instrument.GetFrameSize();
    std::uint32_t previous_counter = 0;
    int negative_hex = 0, positive_hex = 0;  // both signs of the HS field occur
    for (int n = 0; n < 200; ++n) {
        const CFrameData frame(generator.NextFrame(), info);
        ASSERT_EQ(frame.GetText().size(), 58u);
        EXPECT_EQ(frame.GetText().substr(0, 7), "GEN0007");
        unsigned sum = 0;
        for (std::uint8_t b : frame.GetBytes()) sum += b;
        EXPECT_EQ(sum % 256, 0u) << "frame " << n;

        for (const auto& owned : instrument.GetSensors()) {
            CSensor& s = *owned;
            double value = 0;
            std::string text;
            int result = 0;
            if (s.IsUnsignedType()) {
                std::uint32_t u = 0;
                result = s.GetUnsignedValue(u, &frame);
                // An HS value is signed, carried in the unsigned slot.
                value = s.GetDataType() == kDataHS
                            ? static_cast<double>(static_cast<std::int32_t>(u))
                            : static_cast<double>(u);
            } else if (s.IsSignedType()) {
                std::int32_t i = 0;
                result = s.GetSignedValue(i, &frame);
                value = i;
            } else if (s.IsDoubleType()) {
                result = s.GetDoubleValue(value, &frame);
            } else {
                result = s.GetStringValue(text, &frame);
            }
            ASSERT_EQ(result, 0) << s.GetType() << " frame " << n;
            const std::string& type = s.GetType();
            if (type == "FRAME") {
                if (n > 0) {
                    EXPECT_EQ(value, (previous_counter + 1) % 256);
                }
                previous_counter = static_cast<std::uint32_t>(value);
            } else if (type == "SINGLE" || type == "DOUBLE") {
                EXPECT_TRUE(value >= 0.5 && value <= 30.0) << type << " " << value;
            } else if (type == "HEXS") {
                EXPECT_LE(std::fabs(value), 0x3FFF) << value;  // 14 bits of magnitude
                (value < 0 ? negative_hex : positive_hex) += 1;
            } else if (type == "INT") {
                EXPECT_TRUE(value >= 0 && value <= 99999) << value;
            } else if (type == "LAT") {
                EXPECT_TRUE(value >= 4400 && value < 4460) << value;
            } else if (type == "TXT") {
                EXPECT_EQ(text.size(), 3u);
            } else if (type == "DATE") {
                // 31-12-24 for the first two frames, then 01-01-25.
                EXPECT_EQ(value, n < 2 ? 311224 : 10125) << n;
            }
        }
        const std::uint8_t* tag = generator.LastTimeTag();
        const std::uint32_t date = (tag[0] << 16) | (tag[1] << 8) | tag[2];
        EXPECT_EQ(date, n < 2 ? 2024366u : 2025001u) << n;
    }
    EXPECT_GT(negative_hex, 0);
    EXPECT_GT(positive_hex, 0);
}

TEST(LogGeneratorTest, VariableFramesEscapeDelimitersInsideFields) {
    // Text fields may hold the delimiter itself (a '.' here): it must travel
    // as an escape, or every later field would shift.
    const std::string path =
        WriteInstrument("dots.tdf",
                        "VLF_INSTRUMENT DOT '' 3 AS 0 NONE\nFIELD NONE '.' 1 AS 0 DELIMITER\n"
                        "A NONE '' V AF 0 COUNT\nFIELD NONE '.' 1 AS 0 DELIMITER\n"
                        "B NONE '' V AI 0 COUNT\nTERMINATOR NONE '\\x0D\\x0A' 2 AS 0 DELIMITER\n");
    CInstrument instrument;
    ASSERT_EQ(instrument.Load(path), 0);
    fs::remove(path);
    CLogGenerator generator(&instrument, LogGeneratorOptions{});
    CFrameInfo info;
    info.terminator = instrument.GetTerminator();
    for (int n = 0; n < 20; ++n) {
        const CFrameData frame(generator.NextFrame(), info);
        EXPECT_EQ(frame.GetText().rfind("DOT.", 0), 0u) << frame.GetText();
        double a = 0;
        std::int32_t b = 0;
        ASSERT_EQ(instrument.GetSensor(0)->GetDoubleValue(a, &frame), 0) << frame.GetText();
        ASSERT_EQ(instrument.GetSensor(1)->GetSignedValue(b, &frame), 0) << frame.GetText();
        EXPECT_TRUE(a >= 0.5 && a <= 30.0) << a;
        EXPECT_NE(a, std::floor(a)) << "the decimals were cut at the escaped point";
        EXPECT_TRUE(b >= 0 && b <= 99999) << b;
    }
}

}  // namespace

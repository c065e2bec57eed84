#include "instrument/instrument.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "instrument/instrument_line.h"

#include "platform/disk_file.h"

using namespace dravik;

namespace {

std::string TempPath(const std::string& name) {
    static int counter = 0;
    return testing::TempDir() + "dravik_inst_" + std::to_string(getpid()) + "_" +
           std::to_string(counter++) + "_" + name;
}

// Writes the text to a temporary instrument file, loads it and removes it;
// `full_path` receives the full path the messages name.
int LoadText(CInstrument& inst, const std::string& text, const std::string& name = "test.cal",
             std::string* full_path = nullptr) {
    std::string path = TempPath(name);
    std::ofstream(path, std::ios::binary) << text;
    if (full_path != nullptr) *full_path = std::filesystem::canonical(path).string();
    int result = inst.Load(path);
    std::remove(path.c_str());
    return result;
}

struct Expected {
    int line;
    const char* text;
    const char* action;
};

std::string Diags(std::initializer_list<Expected> list) {
    std::string all;
    for (const Expected& e : list)
        all +=
            "\tLine " + std::to_string(e.line) + ": " + e.text + "\r\n\t\t> " + e.action + "\r\n";
    return all;
}

// The summary's last lines: header, error count and the diagnostics.
std::string Tail(const CInstrument& inst) {
    return inst.GetMessage().substr(inst.GetMessage().find("\r\n\r\n\t") + 4);
}

const char* kIgnored = "Sensor ignored.";
const char* kBadLength = "The field length parameter is invalid.";
const char* kBadType = "The data type parameter is invalid.";
const std::string kAborted = "\tInstrument processing aborted.\r\n";

const char* kFixedExample =
    "INSTRUMENT ABCDEF '' 6 AS 0 NONE\n"
    "SN 0042 '' 4 AS 0 NONE\n"
    "FRAME COUNTER 'DN' 1 BU 0 COUNT\n"
    "ES 412.5 'uW/cm^2/nm' 2 BU 1 OPTIC2\n"
    "2048.0 1.5E-3 1.0\n";

}  // namespace

TEST(InstrumentLoad, FixedFrameExampleWithEitherLineEnd) {
    std::string crlf;
    for (const char* c = kFixedExample; *c; ++c) crlf += *c == '\n' ? "\r\n" : std::string(1, *c);
    for (const std::string& text : {std::string(kFixedExample), crlf}) {
        CInstrument inst;
        ASSERT_EQ(LoadText(inst, text), 0) << inst.GetMessage();
        EXPECT_EQ(inst.GetHeader(), "ABCDEF0042");
        EXPECT_EQ(inst.GetSerialNumber(), "0042");
        ASSERT_EQ(inst.GetSensorCount(), 2);
        EXPECT_EQ(inst.GetSensor(0)->GetOffset(), 10u);
        EXPECT_EQ(inst.GetSensor(1)->GetOffset(), 11u);
        EXPECT_EQ(inst.GetSensor(1)->GetUnits(), "uW/cm^2/nm");
        EXPECT_EQ(Tail(inst), "\tABCDEF0042 - 0 error(s)\r\n");
    }
}

TEST(InstrumentLoad, EmptyFilesCommentsAndSensorLookup) {
    for (const char* text : {"", "# only a comment\n\n   \t# another\n"}) {
        CInstrument inst;
        ASSERT_EQ(LoadText(inst, text, "x.txt"), 0);
        EXPECT_EQ(inst.GetSensorCount(), 0);
        EXPECT_EQ(inst.GetFileType(), "Instrument File");
        EXPECT_EQ(Tail(inst), "\t - 0 error(s)\r\n");
    }
    CInstrument inst;
    ASSERT_EQ(LoadText(inst,
                       "NOTE NONE '' 0 AS 0 NONE\nINSTRUMENT ABC '' 3 AS 0 NONE\n"
                       "ES 412 'uW/cm^2/nm' 2 BU 1 OPTIC2 # comment\n\t  2048 1e-3 1 # c\n"),
              0);
    EXPECT_EQ(Tail(inst), "\tABC - 0 error(s)\r\n");
    ASSERT_EQ(inst.GetSensorCount(), 2);  // the zero-length line before INSTRUMENT is a sensor
    EXPECT_EQ(inst.GetSensor(1)->GetOffset(), 3u);
    EXPECT_EQ(inst.FindSensor("es", -1), 1);
    EXPECT_EQ(inst.FindSensor("ES", 1), -1);
    EXPECT_EQ(inst.FindSensor("ES", 2147483647), -1);
    EXPECT_EQ(inst.GetSensor(2), nullptr);
    EXPECT_EQ(inst.GetMessage(),
              "Cannot access instrument sensors.\r\n\tThe sensor reference is invalid.\r\n");
}

// Each OPTIC3 channel takes the integration time named after its own type:
// a second radiometer head has an integration time of its own.
TEST(InstrumentLoad, Optic3ChannelsFindTheIntegrationTimeOfTheirType) {
    CInstrument inst;
    ASSERT_EQ(LoadText(inst,
                       "INSTRUMENT ABC '' 3 AS 0 NONE\n"
                       "INTTIME ES 'sec' 2 BU 1 POLYU\n0 0.001\n"
                       "INTTIME LU 'sec' 2 BU 1 POLYU\n0 0.002\n"
                       "LU 412 'uW/cm^2/nm/sr' 2 BU 1 OPTIC3\n100 0.5 1.25 0.064\n"
                       "ES 412 'uW/cm^2/nm' 2 BU 1 OPTIC3\n100 0.5 1.25 0.064\n"),
              0);
    ASSERT_EQ(inst.GetSensorCount(), 4);
    EXPECT_EQ(inst.GetSensor(2)->GetIntegrationTimeSensor(), inst.GetSensor(1));
    EXPECT_EQ(inst.GetSensor(3)->GetIntegrationTimeSensor(), inst.GetSensor(0));
}

TEST(InstrumentLoad, FatalResultsReplaceTheMessageAndKeepNothing) {
    struct Case {
        const char* text;
        int code;
        std::string message;  // % stands for the full path
    };
    const std::string name = "\tCalibration File Name: \"%\".\r\n";
    for (const Case& c : {
             Case{"ES 412 'u' 2 BU 0 COUNT\n", kInstrumentNoInstrumentLine,
                  "INSTRUMENT definition line not found.\r\n" + name + kAborted},
             Case{"INSTRUMENT ABC '' 4 AS 0 NONE\n", kInstrumentBadFieldLength,
                  "Invalid INSTRUMENT definition line found.\r\n" + name + "\t" + kBadLength +
                      "\r\n" + kAborted},
             Case{"INSTRUMENT ABC '' 3 AS 0 NONE\nSN 01 '' 2 BU 0 NONE\n", kInstrumentBadDataType,
                  "Invalid SN (Serial Number) definition line found.\r\n" + name + "\t" + kBadType +
                      "\r\n" + kAborted},
             Case{"INSTRUMENT ABC '' 3 AS 1 NONE\n", kInstrumentBadGainRanges, ""},
             Case{"INSTRUMENT ABC '' 3 AS 0 NONE\nSN 01 '' 2 AI 0 POLYU\n", kInstrumentBadFitType,
                  ""},
             Case{"VLF_INSTRUMENT ABC '' 3 AS 0 NONE\nFIELD NONE ',' 1 AS 0 DELIMITER\n"
                  "X NONE '' V AF 0 COUNT\n",
                  kInstrumentNoTerminator,
                  "An error occured reading the Calibration File.\r\n" + name +
                      "\tThe TERMINATOR delimiter could not be found.\r\n" + kAborted},
         }) {
        CInstrument inst;
        std::string path;
        ASSERT_EQ(LoadText(inst, c.text, "fatal.cal", &path), c.code) << c.text;
        EXPECT_EQ(inst.GetSensorCount(), 0);
        if (c.message.empty()) continue;
        std::string expected = c.message;
        expected.replace(expected.find('%'), 1, path);
        EXPECT_EQ(inst.GetMessage(), expected);
    }

    CInstrument inst;
    EXPECT_EQ(inst.Load(""), kInstrumentNoFileName);
    EXPECT_EQ(inst.GetMessage(),
              "Unable to load instrument.\r\n\tThe Calibration or Telemetry "
              "Definition File was not specified.\r\n" +
                  kAborted);
    // A failed open leaves the instrument free for another try; a load that opened a file does not,
    // and the refusal keeps what was loaded.
    ASSERT_EQ(LoadText(inst, kFixedExample), 0);
    EXPECT_EQ(LoadText(inst, kFixedExample), kInstrumentAlreadyLoaded);
    EXPECT_EQ(inst.GetMessage(),
              "Unable to reload instrument.\r\n\tThe instrument has already been defined.\r\n" +
                  kAborted);
    EXPECT_EQ(inst.GetSensorCount(), 2);
}

TEST(InstrumentLoad, MalformedLinesAreCountedAndTheTenthIsFatal) {
    std::string text = "INSTRUMENT ABC '' 3 AS 0 NONE\nES 412 'u' 2 BU 0 COUNT more words\n";
    for (int i = 0; i < 8; ++i) text += "ES 412 'u' 2 BU 0\n";
    CInstrument nine;
    ASSERT_EQ(LoadText(nine, text), 0);
    EXPECT_EQ(nine.GetSensorCount(), 1);  // too many parameters: kept with the first seven
    const char* format = "Unexpected sensor definition line format.";
    std::string expected = "\tABC - 9 error(s)\r\n\r\n" +
                           Diags({{2, format, "Extra sensor definition line parameters ignored."}});
    for (int line = 3; line <= 10; ++line) expected += Diags({{line, format, kIgnored}});
    EXPECT_EQ(Tail(nine), expected);

    CInstrument ten;
    std::string path;
    ASSERT_EQ(LoadText(ten, text + "ES 412 'u'\n", "test.cal", &path),
              kInstrumentTooManyMalformedLines);
    EXPECT_EQ(ten.GetMessage(),
              "An error occured reading the Calibration File.\r\n\tCalibration "
              "File Name: \"" +
                  path + "\".\r\n\tThe file format is invalid or corrupted.\r\n" + kAborted);
}

// Field lengths and gain ranges are digits only, below 4294967295.
TEST(InstrumentLoad, UnsignedParametersAreDigitsOnly) {
    for (const char* line : {"T NONE '' +2 BU 0 COUNT\n", "T NONE '' 0x2 BU 0 COUNT\n",
                             "T NONE '' 2 BU 4294967295 COUNT\n", "T NONE '' 2 BU +0 COUNT\n"}) {
        CInstrument inst;
        ASSERT_EQ(LoadText(inst, std::string("INSTRUMENT ABC '' 3 AS 0 NONE\n") + line), 0);
        EXPECT_EQ(inst.GetSensorCount(), 0) << line;
        EXPECT_EQ(inst.GetErrorCount(), 1) << line;
    }
}

TEST(InstrumentLine, CoefficientsAreWholeFiniteNumbers) {
    double v = 0.0;
    for (const char* word : {"1.5x", "", "x", "inf", "nan", "1e999", "1.5 "})
        EXPECT_FALSE(ParseCoefficient(word, v)) << word;
    EXPECT_TRUE(ParseCoefficient("-1.5e-3", v));
    EXPECT_EQ(v, -1.5e-3);
}

// Random bytes and random token lines: every file loads or fails with a code
// and never crashes (the sanitizer build runs this).
TEST(InstrumentRobustness, RandomFilesNeverCrashTheLoader) {
    std::vector<std::string> tokens;
    std::istringstream words(
        "INSTRUMENT VLF_INSTRUMENT SN VLF_SN FIELD TERMINATOR INTTIME ES NONE V 0 1 2 4 8 "
        "4294967295 99999999999999999999 -3 '' 'sec' '\\x0D\\x0A' '\\x' ',' BU BS BF BD HU HS AI "
        "AF AS COUNT DELIMITER OPTIC1 OPTIC2 OPTIC3 POLYF POLYU DDMM HHMMSS DDMMYY TIME2 1e308 "
        "nan -inf # 'a");
    for (std::string w; words >> w;) tokens.push_back(w);
    tokens.insert(tokens.end(), {"\t", "\r", std::string(1, '\0')});
    std::mt19937 rng(4242);
    for (int round = 0; round < 300; ++round) {
        std::string text;
        if (round % 3 == 0) {
            text.resize(rng() % 4000);
            for (char& c : text) c = static_cast<char>(rng());
        }
        for (int l = rng() % 40; round % 3 != 0 && l > 0; --l) {
            for (int w = rng() % 10; w > 0; --w)
                text += tokens[rng() % tokens.size()] + (rng() % 5 ? " " : "\t");
            text += rng() % 4 ? "\n" : "\r\n";
        }
        CInstrument inst;
        int result = LoadText(inst, text, round % 2 ? "r.cal" : "r.tdf");
        EXPECT_TRUE(result == 0 || (result >= kInstrumentAlreadyLoaded && result <= 0x30000010));
        EXPECT_GE(inst.GetFrameSize(), 0);
    }
    // One 10 MB line, and a line of a thousand numbers.
    CInstrument huge;
    EXPECT_EQ(LoadText(huge, "INSTRUMENT ABC '' 3 AS 0 NONE\n" + std::string(10 << 20, 'x')), 0);
    EXPECT_EQ(huge.GetErrorCount(), 1);
    // A device that never ends a line is no instrument file.
    CInstrument endless;
    EXPECT_EQ(endless.Load("/dev/zero"), kInstrumentTooManyMalformedLines);
    EXPECT_NE(endless.GetMessage().find("The file format is invalid or corrupted."),
              std::string::npos);
    std::string many = "INSTRUMENT ABC '' 3 AS 0 NONE\nT NONE '' 2 BU 1 POLYU\n";
    for (int k = 0; k < 1000; ++k) many += "1.5 ";
    CInstrument wide;
    ASSERT_EQ(LoadText(wide, many), 0);
    double last = 0;
    EXPECT_TRUE(wide.GetSensor(0)->GetCoefficient(last, 0, 999));
    EXPECT_FALSE(wide.GetSensor(0)->GetCoefficient(last, 0, 1000));
    // A line of twenty thousand junk words: every one counted, the listing bounded.
    std::string junk = "INSTRUMENT ABC '' 3 AS 0 NONE\nT NONE '' 2 BU 1 POLYU\n";
    for (int k = 0; k < 20000; ++k) junk += "x ";
    CInstrument bounded;
    ASSERT_EQ(LoadText(bounded, junk), 0);
    EXPECT_EQ(bounded.GetErrorCount(), 20001);
    EXPECT_LT(bounded.GetMessage().size(), 2000000u);
    EXPECT_NE(bounded.GetMessage().find("\tFurther line diagnostics omitted.\r\n"),
              std::string::npos);
}

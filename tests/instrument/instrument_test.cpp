#include "instrument/instrument.h"
#include "platform/disk_file.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>

using namespace dravik;

namespace {

// An instrument file in the test's temporary folder, removed afterwards.
class TempFile {
  public:
    TempFile(const std::string& name, const std::string& content) {
        static int counter = 0;
        path_ = testing::TempDir() + "dravik_inst_" + std::to_string(getpid()) + "_" +
                std::to_string(counter++) + "_" + name;
        std::ofstream(path_, std::ios::binary) << content;
    }
    ~TempFile() { std::remove(path_.c_str()); }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

int LoadText(CInstrument& inst, const std::string& content, const std::string& name = "test.cal") {
    TempFile file(name, content);
    return inst.Load(file.path());
}

std::string Diag(int line, const std::string& text, const std::string& action) {
    return "\tLine " + std::to_string(line) + ": " + text + "\r\n\t\t> " + action + "\r\n";
}

const char* kFixedExample =
    "INSTRUMENT ABCDEF '' 6 AS 0 NONE\n"
    "SN 0042 '' 4 AS 0 NONE\n"
    "FRAME COUNTER 'DN' 1 BU 0 COUNT\n"
    "ES 412.5 'uW/cm^2/nm' 2 BU 1 OPTIC2\n"
    "2048.0 1.5E-3 1.0\n";

}  // namespace

TEST(InstrumentLoad, FixedFrameExampleAndItsSummary) {
    std::string crlf;
    for (const char* c = kFixedExample; *c; ++c)
        crlf += *c == '\n' ? std::string("\r\n") : std::string(1, *c);
    for (const std::string& text : {std::string(kFixedExample), crlf}) {
        CInstrument inst;
        ASSERT_EQ(LoadText(inst, text), 0) << inst.GetMessage();
        EXPECT_EQ(inst.GetHeader(), "ABCDEF0042");
        EXPECT_EQ(inst.GetSerialNumber(), "0042");
        EXPECT_EQ(inst.GetFrameSize(), 13);
        EXPECT_FALSE(inst.IsVariableFrame());
        ASSERT_EQ(inst.GetSensorCount(), 2);
        EXPECT_EQ(inst.GetSensor(0)->GetOffset(), 10u);
        EXPECT_EQ(inst.GetSensor(1)->GetOffset(), 11u);
        EXPECT_EQ(inst.GetSensor(1)->GetIdentifier(), "412.5");
        EXPECT_EQ(inst.GetSensor(1)->GetUnits(), "uW/cm^2/nm");
        EXPECT_EQ(inst.GetSensor(1)->GetLineNumber(), 4);
        EXPECT_EQ(inst.GetSensor(1)->GetCoefficientCount(), 3);
        EXPECT_EQ(inst.GetErrorCount(), 0);
        EXPECT_EQ(inst.GetFileType(), "Calibration File");
        EXPECT_EQ(inst.GetMessage(),
                  "Calibration File read successfully.\r\n\tFile name: \"" + inst.GetFileName() +
                      "\"\r\n\tLines read: 5\r\n\tNumber of sensors: 2\r\n\tFrame type: Fixed\r\n"
                      "\tFrame size: 13 bytes\r\n\r\n\tABCDEF0042 - 0 error(s)\r\n");
    }
}

TEST(InstrumentLoad, VariableFrameExample) {
    CInstrument inst;
    ASSERT_EQ(LoadText(inst,
                       "VLF_INSTRUMENT ABCNAV '' 6 AS 0 NONE\n"
                       "VLF_SN 0001 '' 4 AS 0 NONE\n"
                       "FIELD NONE ',' 1 AS 0 DELIMITER\n"
                       "LAT NONE 'deg' V AF 0 COUNT\n"
                       "FIELD NONE ',' 1 AS 0 DELIMITER\n"
                       "LON NONE 'deg' V AF 0 COUNT\n"
                       "TERMINATOR NONE '\\x0D\\x0A' 2 AS 0 DELIMITER\n",
                       "nav.tdf"),
              0)
        << inst.GetMessage();
    EXPECT_EQ(inst.GetHeader(), "ABCNAV0001");
    EXPECT_TRUE(inst.IsVariableFrame());
    EXPECT_EQ(inst.GetFieldDelimiters(), ",,");
    EXPECT_EQ(inst.GetTerminator(), "\r\n");
    ASSERT_EQ(inst.GetSensorCount(), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(inst.GetSensor(i)->GetVariableFieldIndex(), i);
        EXPECT_EQ(inst.GetSensor(i)->GetFieldDelimiters(), ",,");
        EXPECT_EQ(inst.GetSensor(i)->GetTerminator(), "\r\n");
    }
    EXPECT_EQ(inst.GetMessage(),
              "Telemetry Definition File read successfully.\r\n\tFile name: \"" +
                  inst.GetFileName() +
                  "\"\r\n\tLines read: 7\r\n\tNumber of sensors: 2\r\n\tFrame type: Variable\r\n"
                  "\r\n\tABCNAV0001 - 0 error(s)\r\n");

    CFrameData frame(std::string("ABCNAV0001,44.5,-63.25\r\n"), CFrameInfo{});
    double v = 0;
    EXPECT_EQ(inst.GetSensor(1)->GetDoubleValue(v, &frame), 0);
    EXPECT_EQ(v, -63.25);
}

TEST(InstrumentLoad, EmptyAndCommentOnlyFilesAndComments) {
    for (const char* text : {"", "# only a comment\n\n   \t# another\n"}) {
        CInstrument inst;
        ASSERT_EQ(LoadText(inst, text, "x.txt"), 0);
        EXPECT_EQ(inst.GetSensorCount(), 0);
        EXPECT_EQ(inst.GetHeader(), "");
        EXPECT_EQ(inst.GetFrameSize(), 0);
        EXPECT_EQ(inst.GetFileType(), "Instrument File");
        EXPECT_NE(inst.GetMessage().find("\tFrame type: Fixed\r\n\tFrame size: 0 bytes\r\n"),
                  std::string::npos);
    }
    CInstrument inst;
    ASSERT_EQ(LoadText(inst,
                       "NOTE NONE '' 0 AS 0 NONE\nINSTRUMENT ABC '' 3 AS 0 NONE\n"
                       "ES 412 'uW/cm^2/nm' 2 BU 1 OPTIC2 # comment\n\t  2048 1e-3 1.0 # c\n"),
              0)
        << inst.GetMessage();
    EXPECT_EQ(inst.GetErrorCount(), 0);
    ASSERT_EQ(inst.GetSensorCount(), 2);
    EXPECT_EQ(inst.GetSensor(0)->GetType(), "NOTE");  // a zero-length line before INSTRUMENT
    EXPECT_EQ(inst.GetSensor(1)->GetOffset(), 3u);
    EXPECT_EQ(inst.GetHeader(), "ABC");
    EXPECT_EQ(inst.FindSensor("es", -1), 1);
    EXPECT_EQ(inst.FindSensor("ES", 1), -1);
    EXPECT_EQ(inst.FindSensor("ES", 2147483647), -1);
}

TEST(InstrumentLoad, FatalResultsReplaceTheMessage) {
    struct Case {
        const char* text;
        int code;
        std::string message;
    };
    const std::string aborted = "\tInstrument processing aborted.\r\n";
    for (const Case& c : {
             Case{"ES 412 'u' 2 BU 0 COUNT\n", kInstrumentNoInstrumentLine,
                  "INSTRUMENT definition line not found.\r\n\tCalibration File Name: \"%\".\r\n" +
                      aborted},
             Case{"INSTRUMENT ABC '' 4 AS 0 NONE\n", kInstrumentBadFieldLength,
                  "Invalid INSTRUMENT definition line found.\r\n\tCalibration File Name: \"%\".\r\n"
                  "\tThe field length parameter is invalid.\r\n" +
                      aborted},
             Case{"INSTRUMENT ABC '' 3 AS 0 NONE\nSN 01 '' 2 BU 0 NONE\n", kInstrumentBadDataType,
                  "Invalid SN (Serial Number) definition line found.\r\n\tCalibration File Name: "
                  "\"%\".\r\n"
                  "\tThe data type parameter is invalid.\r\n" +
                      aborted},
             Case{"INSTRUMENT ABC '' 3 AS 1 NONE\n", kInstrumentBadGainRanges, ""},
             Case{"INSTRUMENT ABC '' 3 AS 0 POLYU\n", kInstrumentBadFitType, ""},
             Case{"VLF_INSTRUMENT ABC '' 3 AS 0 NONE\nFIELD NONE ',' 1 AS 0 DELIMITER\n"
                  "X NONE '' V AF 0 COUNT\n",
                  kInstrumentNoTerminator,
                  "An error occured reading the Calibration File.\r\n\tCalibration File Name: "
                  "\"%\".\r\n"
                  "\tThe TERMINATOR delimiter could not be found.\r\n" +
                      aborted},
         }) {
        CInstrument inst;
        TempFile file("fatal.cal", c.text);
        ASSERT_EQ(inst.Load(file.path()), c.code) << c.text;
        EXPECT_EQ(inst.GetSensorCount(), 0);
        if (c.message.empty()) continue;
        std::string expected = c.message;
        expected.replace(expected.find('%'), 1, inst.GetFileName());
        EXPECT_EQ(inst.GetMessage(), expected);
    }

    CInstrument inst;
    EXPECT_EQ(inst.Load(""), kInstrumentNoFileName);
    EXPECT_EQ(inst.GetMessage(),
              "Unable to load instrument.\r\n\tThe Calibration or Telemetry Definition File was "
              "not specified.\r\n" +
                  aborted);
    const std::string missing = testing::TempDir() + "dravik_no_such_file.tdf";
    EXPECT_EQ(inst.Load(missing), kInstrumentOpenFailed);
    EXPECT_EQ(inst.GetFileError(), kFileNotFound);
    EXPECT_EQ(
        inst.GetMessage(),
        "An error occured opening the Telemetry Definition File.\r\n\tTelemetry Definition File "
        "Name: \"" +
            missing + "\".\r\n\tThe file could not be found.\r\n" + aborted);
    // A failed open leaves the instrument free for another try; a load that opened a file does not.
    ASSERT_EQ(LoadText(inst, kFixedExample), 0);
    EXPECT_EQ(LoadText(inst, kFixedExample), kInstrumentAlreadyLoaded);
    EXPECT_EQ(inst.GetMessage(),
              "Unable to reload instrument.\r\n\tThe instrument has already been "
              "defined.\r\n" +
                  aborted);
    EXPECT_EQ(inst.GetSensorCount(), 2);
    EXPECT_EQ(inst.GetSensor(2), nullptr);
    EXPECT_EQ(inst.GetMessage(),
              "Cannot access instrument sensors.\r\n\tThe sensor reference is invalid.\r\n");
    EXPECT_EQ(inst.GetSensor(-1), nullptr);
    EXPECT_STREQ(CInstrument::GetFileErrorText(99), "An unknown file error orrured.\r\n");
}

TEST(InstrumentLoad, MalformedLinesAreCountedAndTheTenthIsFatal) {
    std::string text = "INSTRUMENT ABC '' 3 AS 0 NONE\n";
    std::string diagnostics;
    for (int i = 0; i < 9; ++i) {
        text += "ES 412 'u' 2 BU 0\n";
        diagnostics += Diag(i + 2, "Unexpected sensor definition line format.", "Sensor ignored.");
    }
    // Nine malformed lines: loading succeeds.
    CInstrument partial;
    ASSERT_EQ(LoadText(partial, text), 0);
    EXPECT_EQ(partial.GetErrorCount(), 9);
    EXPECT_NE(partial.GetMessage().find("\tABC - 9 error(s)\r\n\r\n" + diagnostics),
              std::string::npos);
    // Too many parameters: the line is kept with its first seven.
    CInstrument extra;
    ASSERT_EQ(
        LoadText(extra, "INSTRUMENT ABC '' 3 AS 0 NONE\nES 412 'u' 2 BU 0 COUNT more words\n"), 0);
    EXPECT_EQ(extra.GetSensorCount(), 1);
    EXPECT_NE(extra.GetMessage().find(Diag(2, "Unexpected sensor definition line format.",
                                           "Extra sensor definition line parameters ignored.")),
              std::string::npos);
    // A tenth malformed line, of either kind, ends loading without its own diagnostic.
    text += "ES 412 'u' 2 BU 0 COUNT extra\n";
    CInstrument fatal;
    ASSERT_EQ(LoadText(fatal, text), kInstrumentTooManyMalformedLines);
    EXPECT_EQ(fatal.GetMessage(),
              "An error occured reading the Calibration File.\r\n\tCalibration File "
              "Name: \"" +
                  fatal.GetFileName() +
                  "\".\r\n\tThe file format is invalid "
                  "or corrupted.\r\n\tInstrument processing aborted.\r\n");
}

TEST(InstrumentLoad, ConsistencyCorrectionsAndTheirDiagnostics) {
    CInstrument inst;
    ASSERT_EQ(LoadText(inst,
                       "INSTRUMENT ABC '' 3 AS 0 NONE\n"
                       "PRES NONE 'dbar' 4 BD 0 COUNT\n"    // 2: BD corrected to 8 bytes
                       "T NONE C 2 BU 0 COUNT\n"            // 3: units without quotes
                       "FRAME COUNTER 'DN' 1 BU 2 COUNT\n"  // 4: gain ranges set to 0
                       "ES 412 'u' 2 BU 1 OPTIC2\n"         // 5, 6: extra coefficient
                       "100 0.5 1.2 7\n"
                       "LU 412 'u' 2 BU 1 OPTIC2\n"  // 7, 8: too few: dropped
                       "100 0.5\n"
                       "ED 412 'u' 2 AS 6 OPTIC1\n"         // 9: data type BU, 4 gain ranges
                       "0 1 1\n1 1 1\n2 1 nan\n3 1 1\n"     // 10-13, one bad coefficient
                       "Q NONE '' 4294967295 BU 0 COUNT\n"  // 14: invalid length
                       "Q NONE '' -1 BU 0 COUNT\n"          // 15: invalid length
                       "Q NONE '' 2147483647 BU 0 COUNT\n"  // 16: frame size past INT_MAX
                       "Q NONE '' 2 XX 0 COUNT\n"           // 17: bad data type
                       "Q NONE '' 2 BU 0 OPTIC9\n"          // 18: bad fit type
                       "Q NONE '' V AF 0 COUNT\n"           // 19: V in a fixed frame
                       "OPT3 NONE '' 2 BU 1 OPTIC3\n"       // 20: no integration time sensor
                       "CHECK SUM '' 1 BU 0 COUNT\n"),      // 21
              0);
    EXPECT_EQ(inst.GetMessage().substr(inst.GetMessage().find("\r\n\r\n\tABC")),
              "\r\n\r\n\tABC - 16 error(s)\r\n\r\n" +
                  Diag(2, "The field length parameter is invalid.", "Field length set to 8.") +
                  Diag(3, "The units parameter format is invalid.", "Sensor units ignored.") +
                  Diag(4, "The gain range parameter is invalid.", "Gain ranges set to 0.") +
                  Diag(6, "Unexpected number of gain coefficients found in gain range line.",
                       "Extra gain coefficients ignored.") +
                  Diag(8, "Unexpected number of gain coefficients found in gain range line.",
                       "Sensor ignored.") +
                  Diag(9, "The data type parameter is invalid.", "Data type set to BU.") +
                  Diag(9, "The gain range parameter is invalid.", "Gain ranges set to 4.") +
                  Diag(12, "Invalid gain coefficient found in gain range line.",
                       "Gain coefficient ignored.") +
                  Diag(12, "Unexpected number of gain coefficients found in gain range line.",
                       "Sensor ignored.") +
                  Diag(14, "The field length parameter is invalid.", "Sensor ignored.") +
                  Diag(15, "The field length parameter is invalid.", "Sensor ignored.") +
                  Diag(16, "The field length parameter is invalid.", "Sensor ignored.") +
                  Diag(17, "The data type parameter is invalid.", "Sensor ignored.") +
                  Diag(18, "The fit type parameter is invalid.", "Sensor ignored.") +
                  Diag(19, "Variable field length parameter found in a fixed frame length format.",
                       "Sensor ignored.") +
                  Diag(20, "No valid integration time sensor was found.", "Sensor ignored."));
    // Sensors kept: PRES, T, FRAME, ES, CHECK. Offsets count the declared lengths.
    ASSERT_EQ(inst.GetSensorCount(), 5);
    EXPECT_EQ(inst.GetSensor(0)->GetFieldLength(), 8u);
    EXPECT_EQ(inst.GetSensor(1)->GetOffset(), 7u);  // 3 + 4, not 3 + 8
    EXPECT_EQ(inst.GetSensor(1)->GetUnits(), "");
    EXPECT_EQ(inst.GetSensor(2)->GetGainRanges(), 0u);
    EXPECT_EQ(inst.GetSensor(3)->GetCoefficientCount(), 4);
    // Lengths after an invalid one still count; the dropped OPTIC3 line adds its 2 bytes.
    EXPECT_EQ(inst.GetSensor(4)->GetOffset(), 3u + 4 + 2 + 1 + 2 + 2 + 2 + 2 + 2 + 2);
}

TEST(InstrumentLoad, GainRangeLinesOfOptic1AndEndOfFile) {
    CInstrument inst;
    ASSERT_EQ(LoadText(inst,
                       "INSTRUMENT ABC '' 3 AS 0 NONE\n"
                       "ED 412 'u' 2 BU 6 OPTIC1\n"
                       "0 1 1\n1 1 1\n2 1 1\n3 1 1\n"
                       "T NONE '' 2 BU 1 POLYU\n"  // read as a definition: only four lines
                       "1 2 3\n"
                       "ES 412 'u' 2 BU 3 OPTIC1\n"
                       "0 1 1\n"),
              0);
    ASSERT_EQ(inst.GetSensorCount(), 2);
    EXPECT_EQ(inst.GetSensor(0)->GetGainRanges(), 4u);
    EXPECT_EQ(inst.GetSensor(0)->GetGainRangeIndex(), 3);
    EXPECT_EQ(inst.GetSensor(1)->GetType(), "T");
    EXPECT_EQ(inst.GetErrorCount(), 2);
    EXPECT_NE(inst.GetMessage().find(
                  Diag(10, "More gain ranges expected before the end of file.", "Sensor ignored.")),
              std::string::npos);
}

TEST(InstrumentLoad, VariableFrameDelimitersAndFrameKindRules) {
    CInstrument inst;
    ASSERT_EQ(LoadText(inst,
                       "VLF_INSTRUMENT NAV '' 3 AS 0 NONE\n"
                       "LAT NONE '' 2 AF 0 COUNT\n"  // 2: not a delimiter line
                       "FIELD NONE '\\x09' 1 AS 0 DELIMITER\n"
                       "A NONE '' 4 AF 0 COUNT\n"   // 4: not variable
                       "A NONE '' V BU 0 OPTIC1\n"  // 5: AI, then 1 gain range
                       "0 1 1\n"
                       "FIELD NONE 'ab' 2 AS 0 DELIMITER\n"  // 7: length 1, comma
                       "B NONE '' V AF 0 DELIMITER\n"        // 8: DELIMITER fit misused
                       "B NONE '' V AF 0 COUNT\n"
                       "TERMINATOR NONE '\\x0D\\x0A' 3 AS 0 DELIMITER\n"  // 10: CR LF
                       "C NONE '' V AF 0 COUNT\n",                        // 11: after TERMINATOR
                       "v.tdf"),
              0)
        << inst.GetMessage();
    EXPECT_EQ(inst.GetFieldDelimiters(), "\t,");
    EXPECT_EQ(inst.GetTerminator(), "\r\n");
    ASSERT_EQ(inst.GetSensorCount(), 2);
    EXPECT_EQ(inst.GetSensor(0)->GetDataType(), kDataAI);
    EXPECT_EQ(inst.GetSensor(1)->GetVariableFieldIndex(), 1);
    EXPECT_EQ(inst.GetMessage().substr(inst.GetMessage().find("\tNAV - ")),
              "\tNAV - 10 error(s)\r\n\r\n" +
                  Diag(2, "Invalid DELIMITER definition line.", "Sensor ignored.") +
                  Diag(4, "The field length parameter does not specify a variable length field.",
                       "Sensor ignored.") +
                  Diag(5, "The data type parameter is invalid.", "Data type set to AI.") +
                  Diag(5, "The gain range parameter is invalid.", "Gain ranges set to 1.") +
                  Diag(7, "The field length parameter is invalid.", "Field length set to 1.") +
                  Diag(7, "The FIELD delimiter field length is invalid.",
                       "FIELD delimiter set to \",\".") +
                  Diag(8, "The data type parameter is invalid.", "Data type set to AS.") +
                  Diag(8, "Invalid use of the DELIMITER fit type.", "Sensor ignored.") +
                  Diag(10, "The TERMINATOR delimiter field length is invalid.",
                       "TERMINATOR delimiter set to \"\\x0D\\x0A\".") +
                  Diag(11, "Cannot have sensors defined after the TERMINATOR delimiter.",
                       "Sensor ignored."));
}

TEST(InstrumentLoad, ExampleFilesLoadWithoutErrors) {
    CInstrument spr;
    ASSERT_EQ(spr.Load(DRAVIK_EXAMPLES_DIR "/spr0117.cal"), 0) << spr.GetMessage();
    EXPECT_EQ(spr.GetErrorCount(), 0);
    EXPECT_EQ(spr.GetHeader(), "SPR0117");
    EXPECT_EQ(spr.GetFrameSize(), 283);
    int channels = 0;
    for (int i = spr.FindSensor("ES", -1); i >= 0; i = spr.FindSensor("ES", i)) {
        ASSERT_NE(spr.GetSensor(i)->GetIntegrationTimeSensor(), nullptr);
        ++channels;
    }
    EXPECT_EQ(channels, 128);
    const CSensor* check = spr.GetSensor(spr.FindSensor("CHECK", -1));
    ASSERT_NE(check, nullptr);
    EXPECT_EQ(check->GetOffset(), 282u);

    CInstrument nav;
    ASSERT_EQ(nav.Load(DRAVIK_EXAMPLES_DIR "/nav0001.tdf"), 0) << nav.GetMessage();
    EXPECT_EQ(nav.GetErrorCount(), 0);
    EXPECT_EQ(nav.GetHeader(), "GPNAV0001");
    EXPECT_EQ(nav.GetSensorCount(), 7);
    EXPECT_EQ(nav.GetSensor(6)->GetVariableFieldIndex(), 6);
}

// Random bytes and random token lines: every file loads or fails with a code,
// never crashes (the sanitizer build runs this).
TEST(InstrumentRobustness, RandomFilesNeverCrashTheLoader) {
    const std::string tokens[] = {"INSTRUMENT",
                                  "VLF_INSTRUMENT",
                                  "SN",
                                  "VLF_SN",
                                  "FIELD",
                                  "TERMINATOR",
                                  "INTTIME",
                                  "ES",
                                  "NONE",
                                  "V",
                                  "v",
                                  "0",
                                  "1",
                                  "2",
                                  "4",
                                  "8",
                                  "4294967295",
                                  "4294967294",
                                  "99999999999999999999",
                                  "-3",
                                  "''",
                                  "'sec'",
                                  "'\\x0D\\x0A'",
                                  "'\\x'",
                                  "','",
                                  "BU",
                                  "BS",
                                  "BF",
                                  "BD",
                                  "HU",
                                  "HS",
                                  "AI",
                                  "AF",
                                  "AS",
                                  "NONE",
                                  "COUNT",
                                  "DELIMITER",
                                  "OPTIC1",
                                  "OPTIC2",
                                  "OPTIC3",
                                  "POLYF",
                                  "POLYU",
                                  "DDMM",
                                  "HHMMSS",
                                  "DDMMYY",
                                  "TIME2",
                                  "1e308",
                                  "nan",
                                  "-inf",
                                  "#",
                                  "\t",
                                  std::string("\0", 1),
                                  "'a b'",
                                  "'x",
                                  "\r"};
    std::mt19937 rng(4242);
    for (int round = 0; round < 300; ++round) {
        std::string text;
        if (round % 3 == 0) {
            text.resize(rng() % 4000);
            for (char& c : text) c = static_cast<char>(rng());
        } else {
            int lines = static_cast<int>(rng() % 40);
            for (int l = 0; l < lines; ++l) {
                int words = static_cast<int>(rng() % 10);
                for (int w = 0; w < words; ++w)
                    text += tokens[rng() % std::size(tokens)] + (rng() % 5 ? " " : "\t");
                text += rng() % 4 ? "\n" : "\r\n";
            }
        }
        CInstrument inst;
        int result = LoadText(inst, text, round % 2 ? "r.cal" : "r.tdf");
        EXPECT_TRUE(result == 0 ||
                    (result >= kInstrumentAlreadyLoaded && result <= kInstrumentBadGainRanges));
        EXPECT_GE(inst.GetFrameSize(), 0);
        std::uint32_t u;
        std::int32_t i;
        double d;
        std::string t;
        CFrameData frame(text.substr(0, 64), CFrameInfo{});
        for (const auto& s : inst.GetSensors()) {
            s->GetUnsignedValue(u, &frame);
            s->GetSignedValue(i, &frame);
            s->GetDoubleValue(d, &frame);
            s->GetStringValue(t, &frame);
        }
    }
    // One 10 MB line, and a line of a thousand parameters.
    CInstrument huge;
    EXPECT_EQ(LoadText(huge, "INSTRUMENT ABC '' 3 AS 0 NONE\n" + std::string(10 << 20, 'x') + "\n"),
              0);
    EXPECT_EQ(huge.GetErrorCount(), 1);
    std::string many = "INSTRUMENT ABC '' 3 AS 0 NONE\nT NONE '' 2 BU 1 POLYU\n";
    for (int k = 0; k < 1000; ++k) many += "1.5 ";
    CInstrument wide;
    ASSERT_EQ(LoadText(wide, many + "\n"), 0);
    EXPECT_EQ(wide.GetSensor(0)->GetCoefficientCount(), 1000);
}

// The report a run leaves for pipelines (--report FILE.json), read as a
// pipeline reads it: with python3's json module.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli_test_support.h"

namespace {

using namespace dravik_cli_test;

class ReportTest : public CliTest {
  protected:
    // One line per conversion of the report `name`: its fields in order,
    // null as "-", names with the bytes they had; "not JSON" when python3
    // cannot read it.
    std::string Fields(const std::string& name) {
        static const char* const script = R"(import json, os, sys
report = json.load(open(sys.argv[1], encoding="utf-8"))
assert report["program"] == "dravik-convert" and report["version"]
keys = ["log", "instrument", "package", "output", "outcome", "complete", "frames",
        "resynchronizations", "frame_counter_errors", "check_sum_errors", "bytes_read"]
for c in report["conversions"]:
    assert sorted(c) == sorted(keys + ["seconds"]) and c["seconds"] >= 0, c
    line = " ".join("-" if c[k] is None else str(c[k]) for k in keys)
    sys.stdout.buffer.write(os.fsencode(line) + b"\n")
)";
        const Result r = Run("/usr/bin/env", {"python3", "-c", script, name});
        return r.status == 0 ? r.out : "not JSON: " + r.err;
    }
};

// A complete conversion, one whose output exists, one whose log is missing
// (a header conversion of a log with quotes, a control character and a byte
// that is not UTF-8 in its name), and one whose report cannot be written.
TEST_F(ReportTest, SingleConversionsAreReportedWhateverTheirOutcome) {
    const std::string cal = examples_ + "/spr0117.cal";
    ASSERT_EQ(Loggen({cal, Path("s.raw"), "--frames", "40"}).status, 0);
    const std::string size = std::to_string(fs::file_size(Path("s.raw")));
    WriteFile(Path("old.dat"), "keep me");
    const std::string odd = "we\"i\\rd\x01\xff.raw";
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string fields;
    };
    const Case cases[] = {
        {{"s.raw", "s.dat", cal, "/efc"},
         0,
         "s.raw " + cal + " - s.dat complete True 40 0 0 0 " + size + "\n"},
        {{"s.raw", "old.dat", cal},
         1,
         "s.raw " + cal + " - old.dat skipped: output exists False - - - - -\n"},
        {{odd, "h.dat"}, 1, odd + " - - h.dat failed False 0 0 - - 0\n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--report", "r.json"});
        EXPECT_EQ(Convert(args).status, c.status) << c.fields;
        EXPECT_EQ(Fields("r.json"), c.fields);
        fs::remove(Path("r.json"));
    }
    EXPECT_EQ(ReadFile(Path("old.dat")), "keep me");

    const Result unwritten = Convert({"s.raw", "t.dat", cal, "--report", "nowhere/r.json"});
    EXPECT_EQ(unwritten.status, 1);
    EXPECT_EQ(unwritten.err,
              "Conversion complete.\n"
              "The report could not be written to \"nowhere/r.json\": No such file or "
              "directory.\n");
}

// A run over several files: a record per pair in run order, the instrument
// files of a package named by their entries, an output that was kept.
TEST_F(ReportTest, EachRunReportsEveryPair) {
    ASSERT_EQ(Loggen({examples_ + "/spr0117.cal", Path("s.raw"), "--frames", "30"}).status, 0);
    ASSERT_EQ(Loggen({examples_ + "/nav0001.tdf", Path("n.raw"), "--frames", "20"}).status, 0);
    WriteFile(Path("s-nav0001.dat"), "keep me");
    const std::string zpk = examples_ + "/spr0117.zpk";
    const Result r =
        Convert({"--each", "s.raw", "n.raw", "--instrument", zpk, "--report", "run.json", "/c"});
    EXPECT_EQ(r.status, 1) << r.err;
    const std::string s = std::to_string(fs::file_size(Path("s.raw")));
    const std::string n = std::to_string(fs::file_size(Path("n.raw")));
    const std::string expected[] = {
        "s.raw spr0117.cal " + zpk + " s-spr0117.dat complete True 30 0 - - " + s,
        "s.raw nav0001.tdf " + zpk + " s-nav0001.dat skipped: output exists False - - - - -",
        "n.raw spr0117.cal " + zpk + " n-spr0117.dat failed: not found False 0 0 - - " + n,
        "n.raw nav0001.tdf " + zpk + " n-nav0001.dat complete True 20 0 - - " + n,
    };
    std::string lines;
    for (const std::string& line : expected) lines += line + "\n";
    EXPECT_EQ(Fields("run.json"), lines);
}

}  // namespace

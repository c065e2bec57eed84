// dravik-convert --each: many conversions in one process, several at a time.
// Whatever runs in parallel, every output and the conversion log must be what
// the same conversions give one at a time.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "cli_test_support.h"

namespace {

using namespace dravik_cli_test;

// The conversion log without its date and time stamps, and with the folder
// of the single runs' outputs written as the run's.
std::string Unstamped(std::string text, const std::string& folder = "") {
    static const std::regex stamp(R"((^|\n)\d{4}-\d\d-\d\d  \d\d:\d\d:\d\d> )");
    text = std::regex_replace(text, stamp, "$1");
    if (!folder.empty()) {
        for (std::size_t at; (at = text.find("/single/")) != std::string::npos;) {
            text.replace(at, 8, "/" + folder + "/");
        }
    }
    return text;
}

class EachTest : public CliTest {
  protected:
    // Converts every pair one at a time into "single/" and all of them with
    // --each --jobs 2 into "each/", then compares the two: the same outputs
    // (present or not, byte for byte) and the same conversion log, block by
    // block in pair order. Returns the --each run.
    Result CompareWithSingleRuns(const std::vector<std::string>& logs,
                                 const std::vector<std::string>& instruments,
                                 const std::vector<std::string>& options,
                                 const std::vector<std::string>& outputs) {
        std::string single_log;
        int k = 0;
        for (const std::string& log : logs) {
            for (std::size_t i = 0; i < std::max<std::size_t>(instruments.size(), 1); ++i) {
                std::vector<std::string> args = {log, "single/" + outputs[k]};
                if (!instruments.empty()) args.push_back(instruments[i]);
                args.insert(args.end(), options.begin(), options.end());
                args.push_back("/cl=single.log");
                Convert(args);
                single_log += ReadFile(Path("single.log"));
                ++k;
            }
        }
        std::vector<std::string> args = {"--each"};
        args.insert(args.end(), options.begin(), options.end());
        args.insert(args.end(), logs.begin(), logs.end());
        for (const std::string& instrument : instruments) {
            args.insert(args.end(), {"--instrument", instrument});
        }
        args.insert(args.end(), {"--output-dir", "each", "--jobs", "2", "/cl=Each.log"});
        const Result each = Convert(args);

        for (const std::string& name : outputs) {
            EXPECT_EQ(fs::exists(dir_ / "single" / name), fs::exists(dir_ / "each" / name)) << name;
            EXPECT_EQ(ReadFile(dir_ / "single" / name), ReadFile(dir_ / "each" / name)) << name;
        }
        EXPECT_EQ(Unstamped(ReadFile(Path("Each.log"))), Unstamped(single_log, "each"));
        // The run's documents hand their text over and open no log of their own.
        EXPECT_FALSE(Has(each.err, "conversion log file")) << each.err;
        return each;
    }

    void SetUp() override {
        CliTest::SetUp();
        fs::create_directories(dir_ / "single");
        fs::create_directories(dir_ / "each");
    }
};

// Instrument conversions that complete, find nothing, lack their log or their
// instrument file, or would overwrite an existing output.
TEST_F(EachTest, InstrumentRunEqualsSingleRunsWhateverTheOutcome) {
    const std::string cal = examples_ + "/spr0117.cal";
    const std::string tdf = examples_ + "/nav0001.tdf";
    ASSERT_EQ(Loggen({cal, Path("spr.raw"), "--frames", "300", "--time-tags", "--garbage", "0.05",
                      "--seed", "4"})
                  .status,
              0);
    ASSERT_EQ(Loggen({tdf, Path("nav.raw"), "--frames", "80", "--time-tags", "--seed", "5"}).status,
              0);
    for (const char* folder : {"single", "each"}) {
        WriteFile(dir_ / folder / "nav-nav0001.dat", "keep me");
    }
    const Result r = CompareWithSingleRuns(
        {"spr.raw", "nav.raw", "missing.raw"}, {cal, tdf, "missing.cal"}, {"/c", "/t", "/efc"},
        {"spr-spr0117.dat", "spr-nav0001.dat", "spr-missing.dat", "nav-spr0117.dat",
         "nav-nav0001.dat", "nav-missing.dat", "missing-spr0117.dat", "missing-nav0001.dat",
         "missing-missing.dat"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(ReadFile(Path("each/nav-nav0001.dat")), "keep me");
    EXPECT_EQ(Lines(ReadFile(Path("each/spr-spr0117.dat"))).size(), 301u);
    EXPECT_TRUE(Has(r.err, "1 output file already exists:\n\teach/nav-nav0001.dat\n")) << r.err;
    // A message and what the system said about its cause stay together.
    EXPECT_TRUE(Has(
        r.err, "missing.raw with spr0117.cal:\nAn error occured opening the log file\n\"" +
                   Path("missing.raw") + "\".\nConversion aborted.\nNo such file or directory.\n"))
        << r.err;

}

TEST_F(EachTest, HeaderRunEqualsSingleRunsAndExitsWithZero) {
    ASSERT_EQ(Loggen({"--header-records", "3", Path("h1.raw")}).status, 0);
    ASSERT_EQ(Loggen({examples_ + "/spr0117.cal", Path("h2.raw"), "--header-records", "5",
                      "--frames", "40", "--seed", "2"})
                  .status,
              0);
    ASSERT_EQ(Loggen({"--header-records", "4", Path("h3.raw"), "--seed", "8"}).status, 0);
    const Result r = CompareWithSingleRuns({"h1.raw", "h2.raw", "h3.raw"}, {}, {"/d,"},
                                           {"h1.dat", "h2.dat", "h3.dat"});
    EXPECT_EQ(r.status, 0) << r.err;
}

// A package stands for every instrument file it holds, in entry order, and
// its extracted files are gone after the run.
TEST_F(EachTest, PackageStandsForEveryInstrumentFileItHolds) {
    ASSERT_EQ(Loggen({examples_ + "/spr0117.cal", Path("s.raw"), "--frames", "30"}).status, 0);
    ASSERT_EQ(Loggen({examples_ + "/nav0001.tdf", Path("n.raw"), "--frames", "20"}).status, 0);
    const Result packaged = Convert({"--each", "s.raw", "n.raw", "--instrument",
                                     examples_ + "/spr0117.zpk", "--output-dir", "single", "/c"});
    const Result plain =
        Convert({"--each", "s.raw", "n.raw", "--instrument", examples_ + "/spr0117.cal",
                 "--instrument", examples_ + "/nav0001.tdf", "--output-dir", "each", "/c"});
    EXPECT_EQ(packaged.out, plain.out);
    for (const char* name : {"s-spr0117.dat", "s-nav0001.dat", "n-spr0117.dat", "n-nav0001.dat"}) {
        EXPECT_EQ(ReadFile(dir_ / "single" / name), ReadFile(dir_ / "each" / name)) << name;
    }
    for (const auto& entry : fs::recursive_directory_iterator(dir_ / "cache")) {
        EXPECT_TRUE(entry.is_directory()) << entry.path();
    }
}

// On a terminal the existing outputs of the whole run are the subject of one
// question: all overwritten, or all kept and their conversions skipped.
TEST_F(EachTest, OneQuestionOnATerminalCoversEveryExistingOutput) {
    ASSERT_EQ(Loggen({"--header-records", "3", Path("a.raw")}).status, 0);
    ASSERT_EQ(Loggen({"--header-records", "3", Path("b.raw")}).status, 0);
    struct Case {
        std::string typed;
        int status;
        bool overwritten;
    };
    for (const Case& c : {Case{"a\n", 0, true}, Case{"n\n", 1, false}}) {
        WriteFile(Path("a.dat"), "keep me");
        WriteFile(Path("b.dat"), "keep me");
        const Result r = ConvertOnTerminal({"--each", "a.raw", "b.raw"}, c.typed);
        EXPECT_EQ(r.status, c.status) << c.typed << r.err;
        EXPECT_EQ(Count(r.err, "yes to [a]ll"), 1u) << r.err;
        EXPECT_TRUE(Has(r.err, "2 output files already exist:\n\ta.dat\n\tb.dat\n")) << r.err;
        for (const char* name : {"a.dat", "b.dat"}) {
            EXPECT_EQ(ReadFile(Path(name)) != "keep me", c.overwritten) << name << c.typed;
        }
    }
}

// Ctrl-C stops the conversions under way, starts no other, and the table
// and the conversion log say so.
TEST_F(EachTest, InterruptStopsEveryConversionAndTellsWhatIsComplete) {
    const std::string tdf = examples_ + "/nav0001.tdf";
    ASSERT_EQ(Loggen({tdf, Path("n.raw"), "--frames", "50"}).status, 0);
    // Two logs whose frames are followed by gigabytes of nothing (a hole
    // costs no disk): their conversions are still searching when the
    // interrupt comes.
    for (const char* name : {"p1.raw", "p2.raw"}) {
        fs::copy_file(Path("n.raw"), Path(name));
        fs::resize_file(Path(name), std::uintmax_t{2} << 30);
    }
    const pid_t pid = Start(DRAVIK_CONVERT, {"--each", "p1.raw", "p2.raw", "n.raw", "--instrument",
                                             tdf, "--jobs", "2", "/cl=Run.log"});
    ASSERT_GT(pid, 0);
    // Both conversions have written their headings: they are under way.
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    auto started = [&](const char* name) {
        std::error_code ec;
        return fs::file_size(Path(name), ec) > 0 && !ec;
    };
    while (!(started("p1-nav0001.dat") && started("p2-nav0001.dat")) &&
           std::chrono::steady_clock::now() < give_up) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::kill(pid, SIGINT);
    const Result r = Finish(pid);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Has(r.out, "cancelled: incomplete\np2.raw")) << r.out;
    EXPECT_TRUE(Has(r.out, "cancelled: incomplete\nn.raw")) << r.out;
    EXPECT_TRUE(Has(r.out, "not started\n")) << r.out;
    EXPECT_TRUE(Has(r.err, "Interrupted: 0 of 3 outputs are complete")) << r.err;
    EXPECT_FALSE(fs::exists(dir_ / "n-nav0001.dat"));

    const std::string text = Unstamped(ReadFile(Path("Run.log")));
    const std::size_t second = text.find("Begin instrument conversion.", 1);
    ASSERT_NE(second, std::string::npos) << text;
    EXPECT_TRUE(Has(text.substr(0, second), "p1.raw")) << text;
    EXPECT_FALSE(Has(text.substr(0, second), "p2.raw")) << text;
    EXPECT_TRUE(Has(text.substr(second), "p2.raw")) << text;
    EXPECT_TRUE(Has(text.substr(0, second), "Conversion aborted.\r\n")) << text;
    EXPECT_TRUE(Has(text.substr(second), "Conversion aborted.\r\n")) << text;
}

}  // namespace

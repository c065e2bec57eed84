// The headless converter run as a user runs it: a separate process with its
// own standard streams, exit status and settings folder. What the conversion
// itself writes is the engine's; here is what only the program does: its
// command line, questions on a terminal or none, exit statuses and signals.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "cli_test_support.h"

namespace {

using namespace dravik_cli_test;

// Refused command lines are golden cases (tests/data/refusals/); help and
// version go to standard output.
TEST_F(CliTest, HelpAndVersion) {
    const Result help = Convert({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(Has(help.out, "--each [options] LOG...")) << help.out;
    EXPECT_EQ(Convert({"--version"}).out.rfind("dravik-convert ", 0), 0u);
}

// Absolute paths are file names; --verbose copies the conversion log to
// standard error; the conversion log named on the command line keeps the
// case of its name.
TEST_F(CliTest, ConvertsWithAbsolutePathsAndShowsTheLogWhenVerbose) {
    const std::string cal = examples_ + "/spr0117.cal";
    ASSERT_EQ(Loggen({cal, Path("cast.raw"), "--frames", "40", "--time-tags"}).status, 0);
    const Result r = Convert({"--verbose", Path("cast.raw"), Path("cast.dat"), cal, "/c", "/t",
                              "/CL=" + Path("Run.log")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.err, "\tFrames processed: 40\n")) << r.err;
    EXPECT_TRUE(Has(r.err, "Conversion complete.\n")) << r.err;
    EXPECT_TRUE(Has(ReadFile(Path("Run.log")), "> Begin instrument conversion.\r\n"));
    EXPECT_EQ(Lines(ReadFile(Path("cast.dat"))).size(), 41u);
}

TEST_F(CliTest, ExistingOutputIsNotOverwrittenWithoutATerminalUnlessAsked) {
    const std::string tdf = examples_ + "/nav0001.tdf";
    ASSERT_EQ(Loggen({tdf, Path("nav.raw"), "--frames", "5"}).status, 0);
    WriteFile(Path("nav.dat"), "keep me");
    const Result refused = Convert({"nav.raw", "nav.dat", tdf});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(Has(refused.err, "already exists")) << refused.err;
    EXPECT_TRUE(Has(refused.err, "/ow=yes"));
    EXPECT_EQ(ReadFile(Path("nav.dat")), "keep me");

    const Result forced = Convert({"nav.raw", "nav.dat", tdf, "/ow=yes"});
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_EQ(Lines(ReadFile(Path("nav.dat"))).size(), 6u);
    // The option holds for its run only: the stored setting is untouched.
    const fs::path settings = dir_ / "config" / "Quillfern" / "Dravik.conf";
    EXPECT_TRUE(Has(ReadFile(settings), "[Settings]"));
    EXPECT_TRUE(Has(ReadFile(settings), "Overwrite%20Prompt=1"));

    // The stored setting, shared with the desktop program, turns the question off.
    WriteFile(settings, "[Settings]\nOverwrite%20Prompt=0\n");
    WriteFile(Path("nav.dat"), "keep me");
    const Result unasked = Convert({"nav.raw", "nav.dat", tdf});
    EXPECT_EQ(unasked.status, 0) << unasked.err;
    EXPECT_FALSE(Has(unasked.err, "already exists"));
    EXPECT_TRUE(Has(ReadFile(settings), "Overwrite%20Prompt=0"));
}

// Stored settings that would change the outcome (no overwrite question, a
// conversion log) are neither read nor written with --no-settings, in single
// runs and --each runs alike.
TEST_F(CliTest, NoSettingsRunsOnTheDefaultsAndLeavesTheStoredOnesAlone) {
    const std::string tdf = examples_ + "/nav0001.tdf";
    ASSERT_EQ(Loggen({tdf, Path("nav.raw"), "--frames", "5"}).status, 0);
    const fs::path settings = dir_ / "config" / "Quillfern" / "Dravik.conf";
    fs::create_directories(settings.parent_path());
    const std::string stored = "[Settings]\nOverwrite%20Prompt=0\nConversion%20Log=1\n";
    const std::vector<std::string> runs[] = {
        {"--no-settings", "nav.raw", "nav-nav0001.dat", tdf},
        {"--each", "nav.raw", "--no-settings", "--instrument", tdf}};
    for (const std::vector<std::string>& args : runs) {
        WriteFile(settings, stored);
        WriteFile(Path("nav-nav0001.dat"), "keep me");
        const Result r = Convert(args);
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_TRUE(Has(r.err, "/ow=yes")) << r.err;
        EXPECT_EQ(ReadFile(Path("nav-nav0001.dat")), "keep me");
        EXPECT_EQ(ReadFile(settings), stored);
        EXPECT_FALSE(fs::exists(Path("Dravik.log")));
    }
    // Without it, the same settings overwrite the output and keep a log.
    EXPECT_EQ(Convert({"nav.raw", "nav-nav0001.dat", tdf}).status, 0);
    EXPECT_TRUE(fs::exists(Path("Dravik.log")));
}

// On a terminal the question is asked there; an answer that is not one of
// the choices asks again.
TEST_F(CliTest, OverwriteQuestionIsAskedOnATerminal) {
    const std::string tdf = examples_ + "/nav0001.tdf";
    ASSERT_EQ(Loggen({tdf, Path("nav.raw"), "--frames", "5"}).status, 0);
    struct Case {
        std::string typed;
        int status;
        std::size_t lines;  // of the output file afterwards; 0: left as it was
        std::size_t prompts;
    };
    for (const Case& c : {Case{"n\n", 1, 0, 1}, Case{"maybe\nC\n", 1, 0, 2}, {"yes\n", 0, 6, 1}}) {
        WriteFile(Path("nav.dat"), "keep me");
        const Result r = ConvertOnTerminal({"nav.raw", "nav.dat", tdf}, c.typed);
        EXPECT_EQ(r.status, c.status) << c.typed << r.err;
        EXPECT_EQ(Count(r.err, "[y]es, [n]o or [c]ancel? "), c.prompts) << r.err;
        if (c.lines == 0) {
            EXPECT_EQ(ReadFile(Path("nav.dat")), "keep me");
        } else {
            EXPECT_EQ(Lines(ReadFile(Path("nav.dat"))).size(), c.lines);
        }
    }
}

// Whatever ends a conversion early, the exit status is 1, the reason is said
// and the log is never changed. A file size limit ends it with the write
// error, not with a silent kill halfway through the output.
TEST_F(CliTest, FailedConversionsExitWithOneAndSayWhy) {
    const std::string cal = examples_ + "/spr0117.cal";
    ASSERT_EQ(Loggen({cal, Path("log.raw"), "--frames", "2000"}).status, 0);
    const std::string log = ReadFile(Path("log.raw"));
    fs::copy_file(cal, Path("inst.cal"));
    WriteFile(Path("run.log"), "");
    // Outputs that are files of the conversion under other names.
    fs::create_symlink("log.raw", Path("log_link.dat"));
    fs::create_symlink(Path("inst.cal"), Path("inst_link.dat"));
    fs::create_hard_link(Path("run.log"), Path("run_hard.dat"));
    auto refused = [&](const std::string& name, const std::string& what) {
        return "An error occured opening the output file\n\"" + Path(name) +
               "\".\nConversion aborted.\nIt is " + what +
               " of the conversion, which was left as it was.\n";
    };
    struct Case {
        std::vector<std::string> args;
        std::string expected;
        void (*setup)(const fs::path&) = nullptr;
    };
    const Case cases[] = {
        {{"log.raw", "big.dat", cal},
         "An error occured writing to the output file\n\"" + Path("big.dat") +
             "\".\nFile too large.\n",
         FileSizeLimit64K},
        {{"log.raw", "log_link.dat", "inst.cal", "/ow=yes"},
         refused("log_link.dat", "the log file")},
        {{"log.raw", "inst_link.dat", "inst.cal", "/ow=yes"},
         refused("inst_link.dat", "the instrument file")},
        {{"log.raw", "run_hard.dat", "inst.cal", "/ow=yes", "/cl=run.log"},
         refused("run_hard.dat", "the conversion log file")},
        // The question is not even asked: there is nothing the answer could save.
        {{"log.raw", "log_link.dat", "inst.cal"}, refused("log_link.dat", "the log file")},
    };
    for (const Case& c : cases) {
        const Result r = Finish(StartWith(c.setup, DRAVIK_CONVERT, c.args));
        EXPECT_EQ(r.status, 1) << c.args[1] << "\n" << r.err;
        EXPECT_TRUE(Has(r.err, c.expected)) << c.expected << "\n" << r.err;
        EXPECT_FALSE(Has(r.err, "already exists")) << r.err;
        EXPECT_TRUE(ReadFile(Path("log.raw")) == log) << c.args[1];
    }
    EXPECT_EQ(fs::file_size(Path("big.dat")), 64u * 1024u);
    EXPECT_EQ(ReadFile(Path("inst.cal")), ReadFile(cal));
}

// A package in place of the instrument file converts as its first
// instrument file does, or as the entry named; its private folder is gone
// after every run, whatever the outcome.
TEST_F(CliTest, InstrumentPackagesConvertLikeTheirFiles) {
    const std::string cal = examples_ + "/spr0117.cal";
    const std::string tdf = examples_ + "/nav0001.tdf";
    ASSERT_EQ(Loggen({cal, Path("spr.raw"), "--frames", "20"}).status, 0);
    ASSERT_EQ(Loggen({tdf, Path("nav.raw"), "--frames", "20"}).status, 0);
    WriteFile(Path("Properties.txt"), "deployment 7");
    EXPECT_EQ(Run(DRAVIK_PACKAGE, {"--properties", "Properties.txt", "p.zpk", tdf, cal}).status, 0);
    EXPECT_EQ(Run(DRAVIK_PACKAGE, {"p.zpk", cal}).status, 1);  // exists
    // A file that cannot be packed is named, with the cause, and no package is written.
    struct PackageCase {
        std::vector<std::string> args;
        std::string message;
    };
    const PackageCase refusals[] = {
        {{"q.zpk", cal, "missing.cal"}, "missing.cal: No such file or directory\n"},
        {{"q.zpk", "spr.raw"},
         "spr.raw: not an instrument file (it has no INSTRUMENT line); give calibration files "
         "(.cal) or telemetry definition files (.tdf)\n"},
        {{"--properties", "none.txt", "q.zpk", cal}, "none.txt: No such file or directory\n"},
    };
    for (const PackageCase& c : refusals) {
        const Result r = Run(DRAVIK_PACKAGE, c.args);
        EXPECT_EQ(r.status, 1) << c.message;
        EXPECT_EQ(r.err, c.message);
    }
    EXPECT_FALSE(fs::exists(Path("q.zpk")));
    EXPECT_EQ(Run(DRAVIK_PACKAGE, {"--version"}).out.rfind("dravik-package ", 0), 0u);
    EXPECT_EQ(Convert({"--list-entries", "p.zpk"}).out, "nav0001.tdf\nspr0117.cal\n");

    ASSERT_EQ(Convert({"spr.raw", "by_file.dat", cal, "/c"}).status, 0);
    EXPECT_EQ(Convert({"spr.raw", "by_entry.dat", "p.zpk", "--entry", "spr0117.cal", "/c"}).status,
              0);
    fs::copy_file(examples_ + "/spr0117.zpk", Path("SPR.ZPK"));
    EXPECT_EQ(Convert({"spr.raw", "first.dat", "SPR.ZPK", "/c"}).status, 0);
    for (const char* name : {"by_entry.dat", "first.dat"}) {
        EXPECT_TRUE(ReadFile(Path(name)) == ReadFile(Path("by_file.dat"))) << name;
    }

    EXPECT_EQ(Convert({"spr.raw", "x.dat", "p.zpk", "--entry=cal/none.cal"}).status, 1);
    EXPECT_FALSE(fs::exists(Path("x.dat")));
    EXPECT_TRUE(fs::is_empty(dir_ / "cache" / "Quillfern" / "Dravik" / "TEMP"));
}

}  // namespace

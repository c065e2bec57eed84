// Logs that are not plain files: standard input, pipes, FIFOs and compressed
// logs, and standard output as the output. Each converts exactly as the same
// log in a file does, down to the counts of the conversion log.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "cli_test_support.h"

namespace {

using namespace dravik_cli_test;

class StreamTest : public CliTest {
  protected:
    // Runs a shell command line in the test folder.
    Result Shell(const std::string& command) { return Run("/bin/sh", {"-c", command}); }

    // A text with its time stamps masked and the names the log and the
    // output went by replaced, so that two runs compare.
    static std::string Neutral(std::string text, const std::vector<std::string>& logs,
                               const std::vector<std::string>& outputs) {
        text = std::regex_replace(text, std::regex(R"(\d{4}-\d\d-\d\d  \d\d:\d\d:\d\d> )"), "");
        for (const auto& [names, mark] : {std::pair{logs, "LOG"}, std::pair{outputs, "OUT"}}) {
            for (const std::string& name : names) {
                for (std::size_t at; (at = text.find(name)) != std::string::npos;) {
                    text.replace(at, name.size(), mark);
                }
            }
        }
        return text;
    }
};

TEST_F(StreamTest, EveryWayOfReadingALogConvertsAlike) {
    const std::string program = DRAVIK_CONVERT;
    // A log that ends exactly on a read chunk: its end comes with its last
    // chunk whether or not its length is known ahead.
    Shell("head -c 13312 " + examples_ + "/nav0001.raw > chunked.raw");
    const struct {
        std::string log, instrument, options;
    } examples[] = {
        {examples_ + "/spr0117.raw", examples_ + "/spr0117.cal", "/c /t"},
        {examples_ + "/nav0001.raw", examples_ + "/nav0001.tdf", "/t /d,"},
        {examples_ + "/cast0117.raw", "", ""},
        {examples_ + "/cast0003.raw", examples_ + "/spr0117.cal", "/efc /t"},
        {Path("chunked.raw"), examples_ + "/nav0001.tdf", "/b1024 /t"},
    };
    enum How { kFile, kPipe, kRedirect, kFifo };
    const struct {
        const char* compress;  // the tool, or empty
        How how;
        bool to_stdout;
    } ways[] = {
        {"", kPipe, false},     {"", kRedirect, true},    {"", kFifo, false},
        {"gzip", kFile, false}, {"gzip", kPipe, true},    {"gzip", kFifo, true},
        {"bzip2", kFile, true}, {"bzip2", kPipe, false},  {"xz", kFile, false},
        {"xz", kPipe, true},    {"zstd -q", kFile, true}, {"zstd -q", kPipe, false},
    };
    for (const auto& e : examples) {
        const std::string tail = " " + e.instrument + " " + e.options + " /cl=run.log";
        const Result reference = Shell("rm -f ref.dat; " + program + " " + e.log + " ref.dat" +
                                       tail + "; s=$?; mv run.log ref.log; exit $s");
        const std::string ref_dat = ReadFile(Path("ref.dat"));
        const std::string ref_log = Neutral(ReadFile(Path("ref.log")), {e.log}, {Path("ref.dat")});
        ASSERT_TRUE(Has(ref_log, "Conversion ")) << ref_log;
        for (const auto& w : ways) {
            const std::string log = std::string(w.compress).empty() ? e.log : Path("log.z");
            if (log != e.log) Shell(std::string(w.compress) + " -c " + e.log + " > log.z");
            const std::string out = w.to_stdout ? "-" : "out.dat";
            std::string command = program + " " +
                                  (w.how == kFile   ? log
                                   : w.how == kFifo ? "fifo"
                                                    : "-") +
                                  " " + out + tail;
            if (w.how == kPipe) command = "cat " + log + " | " + command;
            if (w.how == kRedirect) command += " < " + log;
            if (w.how == kFifo) command = "mkfifo fifo && (cat " + log + " > fifo &) && " + command;
            if (w.to_stdout) command += " > out.dat";
            const std::string trace = command;
            SCOPED_TRACE(trace);
            const Result r = Shell("rm -f out.dat run.log fifo; " + command);
            const std::vector<std::string> logs = {log, Path("fifo"), "standard input"};
            const std::vector<std::string> outputs = {Path("out.dat"), "standard output"};
            EXPECT_EQ(r.status, reference.status) << r.err;
            EXPECT_EQ(Neutral(r.err, logs, outputs),
                      Neutral(reference.err, {e.log}, {Path("ref.dat")}));
            // Compared whole, without printing two copies of a long output.
            EXPECT_TRUE(ReadFile(Path("out.dat")) == ref_dat);
            EXPECT_EQ(Neutral(ReadFile(Path("run.log")), logs, outputs), ref_log);
        }
    }
}

TEST_F(StreamTest, DamagedLogsAndOddFilesSayWhatIsWrong) {
    const std::string program = DRAVIK_CONVERT;
    const std::string cal = examples_ + "/spr0117.cal";
    // A byte changed in the middle of the compressed data, and a log cut
    // short: both fail, naming the log and the cause, after the frames
    // before the damage.
    Shell("gzip -c " + examples_ +
          "/spr0117.raw > whole.gz && cp whole.gz damaged.gz && "
          "printf U | dd of=damaged.gz bs=1 seek=20000 conv=notrunc 2>/dev/null && "
          "head -c 20000 whole.gz > short.gz");
    const struct {
        std::string command;
        int status;
        std::string message;
    } cases[] = {
        {program + " damaged.gz out.dat " + cal, 1,
         "An error occured reading the log file\n\"" + Path("damaged.gz") +
             "\".\nThe gzip data is damaged: "},
        {"cat short.gz | " + program + " - out.dat " + cal, 1,
         "An error occured reading the log file\n\"standard input\".\nThe gzip data ends in "
         "the middle of its last member: the file was cut short.\n"},
        // An existing output that is not a file is written without a question.
        {program + " whole.gz /dev/null " + cal, 0, "Conversion complete.\n"},
        // A pipe is read once.
        {"cat whole.gz | " + program + " --each - --instrument " + cal, 2,
         "Invalid command line parameters.\nParameters parsed: 0\n--each reads no standard "
         "input"},
        {program + " --each <(cat whole.gz) --instrument " + cal + " --instrument " + cal, 2,
         "is a pipe, which can be read only once: it cannot be converted with several "
         "instruments."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        const Result r = Run("/bin/bash", {"-c", "rm -f out.dat; " + c.command});
        EXPECT_EQ(r.status, c.status);
        EXPECT_TRUE(Has(r.err, c.message)) << r.err;
    }
    // Standard output goes as the shell made it: appended to here.
    const Result r = Shell("echo keep > out.dat && " + program + " whole.gz ref.dat " + cal +
                           " && " + program + " whole.gz - " + cal + " >> out.dat");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(Path("out.dat")), "keep\n" + ReadFile(Path("ref.dat")));
}

TEST_F(StreamTest, ATerminalIsNoLogAndAStreamShowsBytesRead) {
    const Result tty = ConvertOnTerminal({"-", "out.dat", examples_ + "/spr0117.cal"}, "");
    EXPECT_EQ(tty.status, 1);
    EXPECT_TRUE(Has(tty.err,
                    "It is a terminal. Name the log file, or send the log to the "
                    "program through a pipe.\n"))
        << tty.err;

    // The progress line, on a terminal, of a stream that pauses halfway.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
    const std::string log = examples_ + "/spr0117.raw";
    const Result r =
        Shell("(head -c 40000 " + log + "; sleep 0.5; tail -c +40001 " + log + ") | " +
              DRAVIK_CONVERT + " - out.dat " + examples_ + "/spr0117.cal 2> " + ::ptsname(master));
    EXPECT_EQ(r.status, 0);
    char screen[4096];
    const ssize_t n = ::read(master, screen, sizeof screen);
    ::close(master);
    const std::string shown(screen, n > 0 ? static_cast<std::size_t>(n) : 0);
    EXPECT_TRUE(std::regex_search(shown, std::regex(R"(\r\d+\.\d KiB read  \d+ frames)"))) << shown;
    EXPECT_FALSE(Has(shown, "%")) << shown;
}

}  // namespace

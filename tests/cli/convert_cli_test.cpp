// The headless converter and the log generator, run as a user runs them: as
// separate processes with their own standard streams, exit status and
// settings folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

const std::string kExamples = DRAVIK_EXAMPLES_DIR;

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class CliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() /
               (std::string("dravik-cli-") + info->name() + "-" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "config");
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Runs `program` with `args` in the test folder, standard input from
    // /dev/null (so no question can be answered) and the settings in the
    // test folder.
    Result Run(const std::string& program, const std::vector<std::string>& args,
               const std::string& input = "/dev/null") {
        const fs::path out = dir_ / "stdout.txt";
        const fs::path err = dir_ / "stderr.txt";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addchdir_np(&actions, dir_.c_str());

        std::vector<std::string> env_text;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string_view var(*e);
            if (var.rfind("XDG_CONFIG_HOME=", 0) != 0 && var.rfind("XDG_CACHE_HOME=", 0) != 0)
                env_text.emplace_back(*e);
        }
        env_text.push_back("XDG_CONFIG_HOME=" + (dir_ / "config").string());
        env_text.push_back("XDG_CACHE_HOME=" + (dir_ / "cache").string());
        std::vector<char*> env;
        for (auto& e : env_text) env.push_back(e.data());
        env.push_back(nullptr);

        std::vector<std::string> argv_text{program};
        argv_text.insert(argv_text.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : argv_text) argv.push_back(a.data());
        argv.push_back(nullptr);

        Result result;
        pid_t pid;
        if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), env.data()) == 0) {
            int status = 0;
            waitpid(pid, &status, 0);
            result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        posix_spawn_file_actions_destroy(&actions);
        result.out = ReadFile(out);
        result.err = ReadFile(err);
        return result;
    }
    Result Convert(const std::vector<std::string>& args, const std::string& input = "/dev/null") {
        return Run(DRAVIK_CONVERT, args, input);
    }
    Result Loggen(const std::vector<std::string>& args) { return Run(DRAVIK_LOGGEN, args); }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    fs::path dir_;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

TEST_F(CliTest, InvalidCommandLinesExitWithTwoAndTheirMessage) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{"log.raw", "/t", "out.dat"}, "Invalid command line parameters.\nParameters parsed: 2\n"},
        {{"a", "b", "c", "d"}, "Invalid command line parameters.\nParameters parsed: 3\n"},
        {{"log.raw", "out.dat", "/cx"}, "Invalid command line parameters.\nParameters parsed: 2\n"},
        {{"log.raw", "out.dat", "/c", "/ew=maybe"},
         "Invalid command line parameters.\nParameters parsed: 3\n"},
        {{"/h", "/x"},
         "There must be at least two file name parameters to use command line processing.\n"},
        {{"log.raw"},
         "There must be at least two file name parameters to use command line processing.\n"},
    };
    for (const Case& c : cases) {
        const Result r = Convert(c.args);
        EXPECT_EQ(r.status, 2) << c.args[0];
        EXPECT_EQ(r.err, c.message) << c.args[0];
        EXPECT_EQ(r.out, "");
    }
    const Result none = Convert({});
    EXPECT_EQ(none.status, 2);
    EXPECT_NE(none.err.find("Usage: dravik-convert"), std::string::npos);
}

TEST_F(CliTest, HelpListsEveryOptionAndVersionPrintsTheVersion) {
    const Result help = Convert({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* option :
         {"/bN",  "/c ", "/ci", "/cl=", "/dt",       "/dX",       "/ef",
          "/ew=", "/ff", "/h ", "/lN",  "/l-M",      "/ow=",      "/pN",
          "/s ",  "/t,", "/wN", "/x ",  "--verbose", "--version", "Exit status"}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }
    const Result version = Convert({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("dravik-convert ", 0), 0u);
}

// A generated radiometer log converts completely with absolute paths: one
// row per frame, counters and check sums correct, time tags in the last two
// cells, and the summary in the verbose conversion log.
TEST_F(CliTest, ConvertsAGeneratedLogWithAbsolutePaths) {
    const std::string cal = kExamples + "/spr0117.cal";
    ASSERT_EQ(Loggen({cal, Path("cast.raw"), "--frames", "40", "--time-tags", "--garbage", "0.05",
                      "--seed", "9", "--start-date", "2004123", "--start-time", "123456789",
                      "--period", "1000"})
                  .status,
              0);
    const Result r = Convert({"--verbose", Path("cast.raw"), Path("cast.dat"), cal, "/c", "/tf",
                              "/efc", "/d,", "/CL=" + Path("Run.log")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Conversion complete.\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\tFrames processed: 40\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\tFrame counter errors: 0\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\tCheck sum errors: 0\n"), std::string::npos) << r.err;

    // The conversion log named by the option keeps the case of its name.
    const std::string log = ReadFile(Path("Run.log"));
    EXPECT_NE(log.find("> Begin instrument conversion.\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\tFrames processed: 40\r\n"), std::string::npos) << log;

    const std::vector<std::string> lines = Lines(ReadFile(Path("cast.dat")));
    ASSERT_EQ(lines.size(), 41u);
    EXPECT_EQ(lines[0].rfind("SN,INTTIME(ES),TIMER,TIMETAG2,ES(350.0),", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find(",FRAME(COUNTER),CHECK(SUM),DATETAG,TIMETAG2"), std::string::npos);
    EXPECT_EQ(lines[1].rfind("0117,", 0), 0u);
    EXPECT_NE(lines[1].find(",2004-123,12:34:56.789"), std::string::npos) << lines[1];
    EXPECT_NE(lines[40].find(",2004-123,12:35:35.789"), std::string::npos) << lines[40];
}

TEST_F(CliTest, ExistingOutputIsNotOverwrittenWithoutATerminalUnlessAsked) {
    ASSERT_EQ(Loggen({kExamples + "/nav0001.tdf", Path("nav.raw"), "--frames", "5"}).status, 0);
    WriteFile(Path("nav.dat"), "keep me");
    const Result refused = Convert({"nav.raw", "nav.dat", kExamples + "/nav0001.tdf"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("already exists"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("/ow=yes"), std::string::npos);
    EXPECT_EQ(ReadFile(Path("nav.dat")), "keep me");

    const Result forced = Convert({"nav.raw", "nav.dat", kExamples + "/nav0001.tdf", "/ow=yes"});
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_EQ(Lines(ReadFile(Path("nav.dat"))).size(), 6u);
    // The option holds for its run only: the stored setting is untouched.
    const fs::path settings = dir_ / "config" / "Quillfern" / "Dravik.conf";
    EXPECT_NE(ReadFile(settings).find("[Settings]"), std::string::npos);
    EXPECT_NE(ReadFile(settings).find("Overwrite%20Prompt=1"), std::string::npos);

    // The stored setting, shared with the desktop program, turns the question off.
    WriteFile(settings, "[Settings]\nOverwrite%20Prompt=0\n");
    WriteFile(Path("nav.dat"), "keep me");
    const Result unasked = Convert({"nav.raw", "nav.dat", kExamples + "/nav0001.tdf"});
    EXPECT_EQ(unasked.status, 0) << unasked.err;
    EXPECT_EQ(unasked.err.find("already exists"), std::string::npos);
    EXPECT_NE(ReadFile(settings).find("Overwrite%20Prompt=0"), std::string::npos);
}

// With a terminal on standard input the overwrite question is asked there;
// an answer that is not one of the choices asks again.
TEST_F(CliTest, OverwriteQuestionIsAskedOnATerminal) {
    const std::string tdf = kExamples + "/nav0001.tdf";
    ASSERT_EQ(Loggen({tdf, Path("nav.raw"), "--frames", "5"}).status, 0);
    struct Case {
        std::string typed;
        int status;
        std::size_t lines;  // of the output file afterwards; 0: left as it was
        int prompts;
    };
    const Case cases[] = {{"n\n", 1, 0, 1}, {"maybe\nC\n", 1, 0, 2}, {"yes\n", 0, 6, 1}};
    for (const Case& c : cases) {
        WriteFile(Path("nav.dat"), "keep me");
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(::grantpt(master), 0);
        ASSERT_EQ(::unlockpt(master), 0);
        const std::string terminal = ::ptsname(master);
        ASSERT_EQ(::write(master, c.typed.data(), c.typed.size()),
                  static_cast<ssize_t>(c.typed.size()));
        const Result r = Convert({"nav.raw", "nav.dat", tdf}, terminal);
        ::close(master);
        EXPECT_EQ(r.status, c.status) << c.typed << r.err;
        std::size_t prompts = 0;
        for (std::size_t at = 0;
             (at = r.err.find("[y]es, [n]o or [c]ancel? ", at)) != std::string::npos; ++at) {
            ++prompts;
        }
        EXPECT_EQ(prompts, static_cast<std::size_t>(c.prompts)) << r.err;
        if (c.lines == 0) {
            EXPECT_EQ(ReadFile(Path("nav.dat")), "keep me");
        } else {
            EXPECT_EQ(Lines(ReadFile(Path("nav.dat"))).size(), c.lines);
        }
    }
}

TEST_F(CliTest, FailedConversionsExitWithOneAndSayWhy) {
    const std::string cal = kExamples + "/spr0117.cal";
    ASSERT_EQ(Loggen({cal, Path("log.raw"), "--frames", "3"}).status, 0);
    ASSERT_EQ(Loggen({kExamples + "/nav0001.tdf", Path("nav.raw"), "--frames", "3"}).status, 0);
    const std::string log = ReadFile(Path("log.raw"));
    std::string junk;
    for (unsigned i = 0; i < 100000; ++i) junk += static_cast<char>((i * 2654435761u) >> 13);
    WriteFile(Path("junk.raw"), junk);
    struct Case {
        std::vector<std::string> args;
        std::string expected;
    };
    const Case cases[] = {
        {{"missing.raw", "out1.dat", cal}, "An error occured opening the log file\n\""},
        {{"log.raw", "out2.dat", "missing.cal"}, "An error occured reading the instrument file\""},
        // The output path is the log itself: the log is held, so it cannot be emptied.
        {{"log.raw", "log.raw", cal, "/ow=yes"}, "An error occured opening the output file\n\""},
        {{"log.raw", "/dev/full", cal, "/ow=yes"}, "Conversion aborted."},
        {{"nav.raw", "out3.dat", cal}, "Conversion aborted.\nSPR0117 not found."},
        {{"junk.raw", "out4.dat", cal}, "Conversion aborted.\n"},
        {{"log.raw", "no/such/dir/out.dat", cal}, "An error occured opening the output file\n\""},
    };
    for (const Case& c : cases) {
        const Result r = Convert(c.args);
        EXPECT_EQ(r.status, 1) << c.args[0] << " " << c.args[1] << "\n" << r.err;
        EXPECT_NE(r.err.find(c.expected), std::string::npos) << c.expected << "\n" << r.err;
    }
    EXPECT_EQ(ReadFile(Path("log.raw")), log);
}

TEST_F(CliTest, HeaderRecordsConvertWithoutAnInstrumentFile) {
    ASSERT_EQ(Loggen({"--header-records", "3", Path("hdr.raw")}).status, 0);
    EXPECT_EQ(Lines(ReadFile(Path("hdr.raw")))[2], "OXAHDR Ridge-7 (Station)");
    const Result r = Convert({"hdr.raw", "hdr.dat", "/d,"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = Lines(ReadFile(Path("hdr.dat")));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].rfind("Battery,", 0), 0u);
    EXPECT_EQ(lines[2], "Station,Ridge-7");
}

TEST_F(CliTest, InstrumentFileWithErrorsIsUsedWhenNobodyCanBeAsked) {
    WriteFile(Path("bad.cal"),
              "INSTRUMENT ABC '' 3 AS 0 NONE\nSN 0042 '' 4 AS 0 NONE\n"
              "FRAME COUNTER 'DN' 1 BU 0 COUNT\nJUNK LINE\nCHECK SUM '' 1 BU 0 COUNT\n");
    ASSERT_EQ(Loggen({"bad.cal", Path("bad.raw"), "--frames", "4"}).status, 0);
    const Result r = Convert({"bad.raw", "bad.dat", "bad.cal", "/efc"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("Answered Yes"), std::string::npos) << r.err;
    EXPECT_EQ(Lines(ReadFile(Path("bad.dat"))).size(), 5u);
}

// The generator is deterministic: the same seed gives the same bytes, another
// seed other values; garbage and sizes are as asked.
TEST_F(CliTest, LogGeneratorIsDeterministicAndHonoursItsSizes) {
    const std::string cal = kExamples + "/spr0117.cal";
    ASSERT_EQ(Loggen({cal, Path("a.raw"), "--frames", "50", "--seed", "5"}).status, 0);
    ASSERT_EQ(Loggen({cal, Path("b.raw"), "--frames", "50", "--seed", "5"}).status, 0);
    ASSERT_EQ(Loggen({cal, Path("c.raw"), "--frames", "50", "--seed", "6"}).status, 0);
    EXPECT_EQ(ReadFile(Path("a.raw")), ReadFile(Path("b.raw")));
    EXPECT_NE(ReadFile(Path("a.raw")), ReadFile(Path("c.raw")));
    EXPECT_EQ(ReadFile(Path("a.raw")).size(), 50u * 283u);

    ASSERT_EQ(Loggen({cal, Path("d.raw"), "--size", "100K", "--time-tags"}).status, 0);
    const std::size_t size = ReadFile(Path("d.raw")).size();
    EXPECT_GE(size, 100u * 1024u);
    EXPECT_LT(size, 100u * 1024u + 290u);
    EXPECT_EQ(size % 290u, 0u);

    const Result g = Loggen({cal, Path("g.raw"), "--frames", "400", "--garbage", "0.2"});
    ASSERT_EQ(g.status, 0);
    const double garbage =
        1.0 - 400.0 * 283.0 / static_cast<double>(ReadFile(Path("g.raw")).size());
    EXPECT_NEAR(garbage, 0.2, 0.03);
    const Result r = Convert({"g.raw", "g.dat", cal, "/efc", "--verbose"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("\tFrames processed: 400\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\tCheck sum errors: 0\n"), std::string::npos) << r.err;

    EXPECT_EQ(Loggen({cal, Path("e.raw"), "--garbage", "1.5"}).status, 2);
    EXPECT_EQ(Loggen({"missing.cal", Path("f.raw")}).status, 1);
    // No header, or a frame of gigabytes: refused rather than looping or
    // exhausting memory.
    WriteFile(Path("empty.cal"), "# nothing\n");
    WriteFile(Path("big.cal"),
              "INSTRUMENT ABC '' 3 AS 0 NONE\nBIG NONE '' 2000000000 AS 0 COUNT\n");
    EXPECT_EQ(Loggen({"empty.cal", Path("f.raw"), "--size", "1M"}).status, 1);
    EXPECT_EQ(Loggen({"big.cal", Path("f.raw")}).status, 1);
    EXPECT_EQ(Loggen({cal, "/dev/full", "--frames", "5000"}).status, 1);
}

// A package in place of the instrument file converts as its first
// instrument file does, or as the entry named; its private folder is gone
// after every run, whatever the outcome.
TEST_F(CliTest, InstrumentPackagesConvertLikeTheirFiles) {
    const std::string cal = kExamples + "/spr0117.cal";
    const std::string tdf = kExamples + "/nav0001.tdf";
    ASSERT_EQ(Loggen({cal, Path("spr.raw"), "--frames", "20"}).status, 0);
    ASSERT_EQ(Loggen({tdf, Path("nav.raw"), "--frames", "20"}).status, 0);
    const fs::path temp = dir_ / "cache" / "Quillfern" / "Dravik" / "TEMP";

    // The package builder, and the listing of what it built.
    WriteFile(Path("Properties.txt"), "deployment 7");
    EXPECT_EQ(Run(DRAVIK_PACKAGE, {"--properties", "Properties.txt", "p.zpk", tdf, cal}).status, 0);
    EXPECT_EQ(Run(DRAVIK_PACKAGE, {"p.zpk", cal}).status, 1);  // exists
    EXPECT_EQ(Run(DRAVIK_PACKAGE, {"q.zpk", cal, Path("spr0117.cal")}).status, 2);
    const Result listed = Convert({"--list-entries", "p.zpk"});
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(listed.out, "nav0001.tdf\nspr0117.cal\n");
    EXPECT_EQ(Convert({"--list-entries", kExamples + "/spr0117.zpk"}).out,
              "spr0117.cal\nnav0001.tdf\n");

    ASSERT_EQ(Convert({"spr.raw", "by_file.dat", cal, "/c"}).status, 0);
    const Result by_entry =
        Convert({"spr.raw", "by_entry.dat", "p.zpk", "--entry", "spr0117.cal", "/c"});
    EXPECT_EQ(by_entry.status, 0) << by_entry.err;
    EXPECT_TRUE(ReadFile(Path("by_entry.dat")) == ReadFile(Path("by_file.dat")));
    fs::copy_file(kExamples + "/spr0117.zpk", Path("SPR.ZPK"));
    const Result first = Convert({"spr.raw", "first.dat", "SPR.ZPK", "/c"});
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_TRUE(ReadFile(Path("first.dat")) == ReadFile(Path("by_file.dat")));
    EXPECT_EQ(Convert({"nav.raw", "nav.dat", "p.zpk"}).status, 0);
    EXPECT_EQ(Lines(ReadFile(Path("nav.dat"))).size(), 21u);
    EXPECT_TRUE(fs::is_empty(temp));

    WriteFile(Path("bad.zpk"), "not an archive");
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {{"spr.raw", "x.dat", "bad.zpk"},
         1,
         "The Instrument Package file: bad.zpk \ncould not be opened.\n"},
        {{"spr.raw", "x.dat", "p.zpk", "--entry=cal/none.cal"},
         1,
         "No instrument file cal/none.cal was extracted from the Instrument Package file: p.zpk\n"},
        {{"spr.raw", "x.dat", cal, "--entry", "a.cal"},
         2,
         "--entry needs an Instrument Package file (.zpk) as the instrument file.\n"},
        {{"--list-entries", "bad.zpk"},
         1,
         "The Instrument Package file: bad.zpk \ncould not be opened.\n"},
    };
    for (const Case& c : cases) {
        const Result r = Convert(c.args);
        EXPECT_EQ(r.status, c.status) << c.args[2];
        EXPECT_EQ(r.err, c.message);
        EXPECT_FALSE(fs::exists(Path("x.dat")));
    }
    EXPECT_TRUE(fs::is_empty(temp));
}

}  // namespace

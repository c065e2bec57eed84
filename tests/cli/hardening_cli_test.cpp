// The headless converter against what disks and file systems do to it: an
// output that is one of the conversion's own files under another name, a
// full disk, a read-only or locked log, and files that are no instrument
// file. Whatever happens, the log is never changed, the exit status tells
// the truth and the reason is said.
#include <grp.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>

#include <string>
#include <vector>

#include "cli_test_support.h"

namespace {

using namespace dravik_cli_test;

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A mount namespace of the process's own, so that whatever it mounts goes
// away with it, even when a test is cut short.
void PrivateMounts() {
    if (unshare(CLONE_NEWNS) != 0) _exit(77);
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) _exit(77);
}

// The folder "ro" of the test folder, seen read-only (a write there must fail).
void ReadOnlyFolder(const fs::path& dir) {
    PrivateMounts();
    const std::string ro = (dir / "ro").string();
    if (mount(ro.c_str(), ro.c_str(), nullptr, MS_BIND, nullptr) != 0) _exit(77);
    if (mount(nullptr, ro.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
        _exit(77);
    }
    const int probe = ::open((dir / "ro" / "probe").c_str(), O_WRONLY | O_CREAT, 0644);
    if (probe >= 0 || errno != EROFS) _exit(77);
}

// The folder "small" of the test folder on a file system of 64 KiB.
void SmallDisk(const fs::path& dir) {
    PrivateMounts();
    if (mount("tmpfs", (dir / "small").c_str(), "tmpfs", 0, "size=64k") != 0) _exit(77);
}

// Root may write any file: the process becomes an ordinary user, for whom a
// file's permissions hold, and makes sure the log is not writable for it.
void AsOrdinaryUser(const fs::path& dir) {
    if (getuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
        _exit(77);
    }
    if (::access((dir / "log.raw").c_str(), W_OK) == 0) _exit(77);
}

class HardeningCliTest : public CliTest {
  protected:
    void SetUp() override {
        CliTest::SetUp();
        ASSERT_EQ(Loggen({kCal, Path("log.raw"), "--frames", "2000", "--time-tags"}).status, 0);
        log_ = ReadFile(Path("log.raw"));
        fs::copy_file(kCal, Path("inst.cal"));
    }
    Result ConvertWith(void (*setup)(const fs::path&), const std::vector<std::string>& args) {
        return Finish(StartWith(setup, DRAVIK_CONVERT, args));
    }

    const std::string kCal = kExamples + "/spr0117.cal";
    std::string log_;
};

// Opening the output empties it, so an output that is the log, the
// instrument file or the conversion log, by its name or through a link,
// is refused with a message that says which, and that file stays as it was.
TEST_F(HardeningCliTest, OutputThatIsOneOfTheConversionsFilesIsRefused) {
    fs::create_symlink("log.raw", Path("log_link.dat"));
    fs::create_hard_link(Path("log.raw"), Path("log_hard.dat"));
    fs::create_symlink(Path("inst.cal"), Path("inst_link.dat"));
    WriteFile(Path("run.log"), "");
    fs::create_hard_link(Path("run.log"), Path("run_hard.dat"));
    const std::string instrument = ReadFile(Path("inst.cal"));
    struct Case {
        std::string output;
        std::string what;
    };
    const Case cases[] = {
        {"log_link.dat", "the log file"},       {"log_hard.dat", "the log file"},
        {"inst.cal", "the instrument file"},    {"inst_link.dat", "the instrument file"},
        {"run.log", "the conversion log file"}, {"run_hard.dat", "the conversion log file"},
    };
    for (const Case& c : cases) {
        const Result r = Convert({"log.raw", c.output, "inst.cal", "/ow=yes", "/cl=run.log"});
        EXPECT_EQ(r.status, 1) << c.output << "\n" << r.err;
        EXPECT_EQ(r.err, "An error occured opening the output file\n\"" + Path(c.output) +
                             "\".\nIt is " + c.what +
                             " of the conversion, which was left as it was.\nConversion "
                             "aborted.\nConversion aborted.\n")
            << c.output;
        EXPECT_TRUE(ReadFile(Path("log.raw")) == log_) << c.output;
        EXPECT_EQ(ReadFile(Path("inst.cal")), instrument) << c.output;
        const std::string conversion_log = ReadFile(Path("run.log"));
        EXPECT_TRUE(Has(conversion_log,
                        "An error occured opening the output file.\r\n\tThe "
                        "output file is " +
                            c.what + " of the conversion.\r\n"))
            << conversion_log;
        EXPECT_FALSE(Has(conversion_log, "SPR0117 found")) << conversion_log;
    }
    // The question is not even asked: there is nothing the answer could save.
    const Result asked = Convert({"log.raw", "log_hard.dat", "inst.cal", "/cl=run.log"});
    EXPECT_EQ(asked.status, 1);
    EXPECT_FALSE(Has(asked.err, "already exists")) << asked.err;
    EXPECT_TRUE(ReadFile(Path("log.raw")) == log_);
}

// A file size limit and a file system that fills up both end the conversion
// with the write error of the output file and exit status 1; the log stays
// as it was and nothing claims the conversion complete. A conversion log
// that cannot be written is said to have failed, and the conversion itself
// still completes.
TEST_F(HardeningCliTest, AFullDiskEndsWithTheWriteErrorAndKeepsTheLog) {
    const Result limited =
        ConvertWith(FileSizeLimit64K, {"log.raw", "big.dat", "inst.cal", "/c", "/cl=run.log"});
    ASSERT_NE(limited.status, 77) << "a file size limit cannot be set";
    EXPECT_EQ(limited.status, 1) << limited.err;
    EXPECT_TRUE(Has(limited.err,
                    "An error occured writing to the output file\n\"" + Path("big.dat") + "\".\n"))
        << limited.err;
    EXPECT_FALSE(Has(limited.err, "Conversion complete")) << limited.err;
    EXPECT_EQ(fs::file_size(Path("big.dat")), 64u * 1024u);
    std::string conversion_log = ReadFile(Path("run.log"));
    EXPECT_TRUE(Has(conversion_log,
                    "An error occured writing to the output file.\r\n\tThe disk is full.\r\n"))
        << conversion_log;
    EXPECT_TRUE(Has(conversion_log, "> Conversion aborted.\r\n\tFrames processed: "));
    EXPECT_FALSE(Has(conversion_log, "Conversion complete"));
    EXPECT_TRUE(ReadFile(Path("log.raw")) == log_);

    const Result no_log = Convert({"log.raw", "out.dat", "inst.cal", "/cl=/dev/full"});
    EXPECT_EQ(no_log.status, 0) << no_log.err;
    EXPECT_TRUE(Has(no_log.err,
                    "An error occured writing to the conversion log file:\n\"/dev/full\".\nThe "
                    "disk is full.\nConversion log aborted.\n"))
        << no_log.err;
    EXPECT_EQ(Lines(ReadFile(Path("out.dat"))).size(), 2001u);

    fs::create_directory(Path("small"));
    const Result full =
        ConvertWith(SmallDisk, {"log.raw", "small/out.dat", "inst.cal", "/c", "/cl=run.log"});
    if (full.status == 77) GTEST_SKIP() << "no permission to mount a small file system";
    EXPECT_EQ(full.status, 1) << full.err;
    EXPECT_TRUE(Has(full.err, "An error occured writing to the output file\n\"" +
                                  Path("small/out.dat") + "\".\n"))
        << full.err;
    conversion_log = ReadFile(Path("run.log"));
    EXPECT_TRUE(Has(conversion_log,
                    "An error occured writing to the output file.\r\n\tThe disk is full.\r\n"))
        << conversion_log;
    EXPECT_FALSE(Has(conversion_log, "Conversion complete"));
    EXPECT_TRUE(ReadFile(Path("log.raw")) == log_);
}

// The log is only ever opened for reading: one that cannot be written, or
// that lies on a read-only file system, converts as any other. One that
// another program holds locked is not read behind its back.
TEST_F(HardeningCliTest, ReadOnlyAndLockedLogs) {
    ASSERT_EQ(Convert({"log.raw", "expected.dat", "inst.cal"}).status, 0);
    const std::string expected = ReadFile(Path("expected.dat"));

    fs::permissions(Path("log.raw"),
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    for (const auto& entry : fs::recursive_directory_iterator(dir_)) {
        if (entry.is_directory()) fs::permissions(entry.path(), fs::perms::all);
    }
    fs::permissions(dir_, fs::perms::all);
    const Result unwritable =
        ConvertWith(AsOrdinaryUser, {"log.raw", "unwritable.dat", "inst.cal", "/cl=user.log"});
    EXPECT_EQ(unwritable.status, 0) << unwritable.err;
    EXPECT_TRUE(ReadFile(Path("unwritable.dat")) == expected);

    const int held = ::open(Path("log.raw").c_str(), O_RDONLY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    const Result locked = Convert({"log.raw", "locked.dat", "inst.cal", "/cl=run.log"});
    ::close(held);
    EXPECT_EQ(locked.status, 1);
    EXPECT_EQ(locked.err, "An error occured opening the log file\n\"" + Path("log.raw") +
                              "\".\nConversion aborted.\n");
    EXPECT_TRUE(Has(ReadFile(Path("run.log")),
                    "An error occured opening the log file.\r\n\tA sharing violation occured, or "
                    "a shared region was locked.\r\n"));
    EXPECT_FALSE(fs::exists(Path("locked.dat")));
    EXPECT_TRUE(ReadFile(Path("log.raw")) == log_);

    fs::create_directory(Path("ro"));
    fs::copy_file(Path("log.raw"), Path("ro/log.raw"));
    const Result read_only = ConvertWith(ReadOnlyFolder, {"ro/log.raw", "ro.dat", "inst.cal"});
    if (read_only.status == 77) GTEST_SKIP() << "no permission to mount a read-only folder";
    EXPECT_EQ(read_only.status, 0) << read_only.err;
    EXPECT_TRUE(ReadFile(Path("ro.dat")) == expected);
}

// What is not an instrument file (a table, an archive, nothing at all) is
// refused before any output is made; a log that is a device reading zeros
// for ever ends as a log without frames.
TEST_F(HardeningCliTest, InputsThatAreNotWhatTheyShouldBeEndTheConversion) {
    WriteFile(Path("table.csv"), "depth,temperature\n1.5,12.25\n2.0,12.20\n");
    WriteFile(Path("empty.cal"), "");
    fs::copy_file(kExamples + "/spr0117.zpk", Path("package.zip"));
    struct Case {
        std::string instrument;
        std::string message;
    };
    const Case cases[] = {
        {"table.csv", "The instrument file\n\"" + Path("table.csv") +
                          "\"\ndefines no instrument header (no INSTRUMENT line).\n"
                          "Conversion aborted.\n"},
        {"empty.cal", "The instrument file\n\"" + Path("empty.cal") +
                          "\"\ndefines no instrument header (no INSTRUMENT line).\n"
                          "Conversion aborted.\n"},
        // Compressed entries are too many malformed lines to read as one.
        {"package.zip", "An error occured reading the instrument file\"" + Path("package.zip") +
                            "\".\nConversion aborted.\n"},
    };
    for (const Case& c : cases) {
        const Result r = Convert({"log.raw", "out.dat", c.instrument});
        EXPECT_EQ(r.status, 1) << c.instrument;
        EXPECT_EQ(r.err, c.message);
        EXPECT_FALSE(fs::exists(Path("out.dat"))) << c.instrument;
    }
    EXPECT_TRUE(ReadFile(Path("log.raw")) == log_);

    const Result zeros = Convert({"/dev/zero", "zeros.dat", "inst.cal"});
    EXPECT_EQ(zeros.status, 1);
    EXPECT_TRUE(Has(zeros.err, "Conversion aborted.\nSPR0117 not found.\n")) << zeros.err;
}

}  // namespace

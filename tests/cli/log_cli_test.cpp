// dravik-log run as a user runs it, on the slave side of a pseudo-terminal
// whose master side plays the instrument.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/time.h>

#include <chrono>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "../telemetry/pty_pair.h"
#include "cli_test_support.h"
#include "conversion/output_layout.h"
#include "instrument/instrument.h"
#include "log_generator.h"
#include "telemetry/serial_port.h"

namespace {

using namespace dravik_cli_test;
using namespace std::chrono_literals;
using dravik_test::PtyPair;
using dravik_test::WaitFor;

// The wall clock as a time tag (UTC), for comparing with the logged ones.
dravik::CTimeTag NowTag() {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    std::tm utc{};
    gmtime_r(&tv.tv_sec, &utc);
    return {static_cast<std::uint32_t>((utc.tm_year + 1900) * 1000 + utc.tm_yday + 1),
            static_cast<std::uint32_t>(utc.tm_hour * 10000000 + utc.tm_min * 100000 +
                                       utc.tm_sec * 1000 + tv.tv_usec / 1000)};
}

bool NotAfter(const dravik::CTimeTag& a, const dravik::CTimeTag& b) {
    return a.date < b.date || (a.date == b.date && a.time <= b.time);
}

class LogCliTest : public CliTest {
  protected:
    bool Started() {
        return WaitFor([&] {
            return ReadFile(dir_ / "stderr.txt").find("connection successful") != std::string::npos;
        });
    }
};

TEST_F(LogCliTest, RecordsEveryFrameFollowedByItsTimeTag) {
    const std::string cal = examples_ + "/spr0117.cal";
    dravik::CInstrument instrument;
    ASSERT_EQ(instrument.Load(cal), 0);
    dravik::CLogGenerator generator(&instrument, dravik::LogGeneratorOptions{});
    constexpr int kFrames = 20;
    std::string sent;
    std::vector<std::string> frames;
    for (int i = 0; i < kFrames; ++i) frames.push_back(generator.NextFrame());

    PtyPair pty;
    const pid_t pid = Start(DRAVIK_LOG, {pty.name, Path("cast.raw"), cal, "--baud", "115200"});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(Started()) << ReadFile(dir_ / "stderr.txt");
    const dravik::CTimeTag first = NowTag();
    // Ten frames a second, with line noise before the first.
    pty.Send("\x01\x02noise");
    for (const std::string& frame : frames) {
        pty.Send(frame);
        std::this_thread::sleep_for(100ms);
    }
    const std::size_t expected_size = kFrames * (frames[0].size() + dravik::kTimeTagLength);
    // The file is written at least once a second: all of it arrives while
    // the logger still runs.
    EXPECT_TRUE(WaitFor([&] { return ReadFile(Path("cast.raw")).size() >= expected_size; }));
    const dravik::CTimeTag last = NowTag();
    ASSERT_EQ(kill(pid, SIGTERM), 0);
    const Result result = Finish(pid);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.err.find("SPR0117: 20 frames"), std::string::npos) << result.err;

    // Every frame as it was sent, each followed by its time tag, in order
    // and inside the time the frames were sent in.
    const std::string raw = ReadFile(Path("cast.raw"));
    ASSERT_EQ(raw.size(), expected_size);
    std::size_t at = 0;
    dravik::CTimeTag previous = first;
    for (const std::string& frame : frames) {
        EXPECT_EQ(raw.substr(at, frame.size()), frame);
        at += frame.size();
        const auto tag = dravik::DecodeTimeTag(
            {reinterpret_cast<const std::uint8_t*>(raw.data()) + at, dravik::kTimeTagLength});
        at += dravik::kTimeTagLength;
        EXPECT_TRUE(NotAfter(previous, tag)) << tag.date << " " << tag.time;
        EXPECT_TRUE(NotAfter(tag, last)) << tag.date << " " << tag.time;
        previous = tag;
    }
}

TEST_F(LogCliTest, RefusesWhatItCannotDoAndSaysWhy) {
    const std::string cal = examples_ + "/spr0117.cal";
    PtyPair pty;

    EXPECT_EQ(Log({pty.name, "out.raw"}).status, 2);
    EXPECT_EQ(Log({pty.name, "out.raw", cal, "--parity", "maybe"}).status, 2);
    EXPECT_EQ(Log({pty.name, "out.raw", cal, "--byte-size", "9"}).status, 2);

    WriteFile(dir_ / "old.raw", "kept");
    Result r = Log({pty.name, "old.raw", cal});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("old.raw already exists; give --append"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(dir_ / "old.raw"), "kept");

    r = Log({"/dev/dravik-no-such-port", "new.raw", cal});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot open the serial port /dev/dravik-no-such-port: " +
                         dravik::SystemErrorText(ENOENT)),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "new.raw"));

    {
        dravik::CSerialPort holder;
        ASSERT_EQ(holder.Open(pty.name), 0);
        r = Log({pty.name, "new.raw", cal});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("is in use by another program"), std::string::npos) << r.err;
    }

    // A port that goes away ends the recording with status 1; what was
    // recorded stays.
    const pid_t pid = Start(DRAVIK_LOG, {pty.name, Path("old.raw"), cal, "--append"});
    ASSERT_TRUE(Started());
    pty.CloseMaster();
    r = Finish(pid);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Telemetry acquisition aborted on " + pty.name), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("lost the serial port " + pty.name), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(dir_ / "old.raw"), "kept");
}

// A file size limit reached while recording ends the recording with the
// write error and status 1, not with a silent kill; what the file held stays.
TEST_F(LogCliTest, AFileSizeLimitEndsTheRecordingWithTheWriteError) {
    const std::string cal = examples_ + "/spr0117.cal";
    dravik::CInstrument instrument;
    ASSERT_EQ(instrument.Load(cal), 0);
    dravik::CLogGenerator generator(&instrument, dravik::LogGeneratorOptions{});
    const std::string before(64 * 1024 - 100, 'x');
    WriteFile(dir_ / "full.raw", before);
    PtyPair pty;
    const pid_t pid =
        StartWith(FileSizeLimit64K, DRAVIK_LOG, {pty.name, "full.raw", cal, "--append"});
    ASSERT_TRUE(Started()) << ReadFile(dir_ / "stderr.txt");
    pty.Send(generator.NextFrame());
    pty.Send(generator.NextFrame());
    // Killed by the limit's signal, it would never say so.
    const bool said = WaitFor(
        [&] { return ReadFile(dir_ / "stderr.txt").find("cannot write") != std::string::npos; });
    if (!said) kill(pid, SIGTERM);
    const Result r = Finish(pid);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("cannot write full.raw: "), std::string::npos) << r.err;
    const std::string after = ReadFile(dir_ / "full.raw");
    EXPECT_EQ(after.size(), 64u * 1024u);
    EXPECT_EQ(after.substr(0, before.size()), before);
}

}  // namespace

// Serial port resources through pseudo-terminal pairs: the test plays the
// instrument on the master side, the resource opens the slave side as its
// port. Every wait is on a condition with a generous time-out.
#include "telemetry/serial_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "pty_pair.h"
#include "telemetry/serial_link.h"
#include "telemetry/telem_comm.h"

namespace dravik {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using dravik_test::PtyPair;
using dravik_test::WaitFor;

// Notifications arrive on the reader thread.
struct SafeOwner : CTelemCommOwner {
    std::mutex lock;
    std::vector<int> codes;
    void QueueCommand(const std::string&, int code) override {
        std::lock_guard guard(lock);
        codes.push_back(code);
    }
    int Count(int code) {
        std::lock_guard guard(lock);
        int n = 0;
        for (int c : codes) n += c == code;
        return n;
    }
};

// A resource that collects its messages and frames as they come.
struct Port {
    SafeOwner owner;
    CTelemComm comm{&owner};
    std::vector<std::string> messages;
    std::vector<std::string> frames;

    explicit Port(const std::string& name, int idle_wait_count = 15, int baud = 9600) {
        CSerialSettings settings;
        settings.port_name = name;
        settings.baud_rate = baud;
        settings.idle_wait_count = idle_wait_count;
        EXPECT_EQ(comm.InitializeSerialPort(settings), 0);
    }
    void Add(const AttachInfo& info) {
        EXPECT_EQ(comm.Attach(info), 0);
        EXPECT_EQ(comm.EnableAcquisition(info.header), 0);
    }
    void Collect() {
        for (std::string m = comm.GetNextMessage(); !m.empty(); m = comm.GetNextMessage()) {
            messages.push_back(std::move(m));
        }
        while (auto frame = comm.RetrieveFrame()) frames.push_back(frame->GetText());
    }
    int Seen(const std::string& text) const {
        int n = 0;
        for (const auto& m : messages) n += m == text;
        return n;
    }
    bool WaitMessage(const std::string& text) {
        return WaitFor([&] {
            Collect();
            return Seen(text) > 0;
        });
    }
    bool WaitFrames(std::size_t count) {
        return WaitFor([&] {
            Collect();
            return frames.size() >= count;
        });
    }
};

AttachInfo Fixed(const std::string& header, int size) {
    AttachInfo info;
    info.header = header;
    info.frame_size = size;
    return info;
}

TEST(SerialPort, FramesIdleAndDisconnectWhileDataFlows) {
    PtyPair pty;
    termios before{};
    ASSERT_EQ(tcgetattr(pty.slave, &before), 0);
    Port port(pty.name, 3);
    const std::string& n = pty.name;
    EXPECT_TRUE(port.WaitMessage("Initializing serial communications on " + n +
                                 ".\r\n\tGlobal synchronization has been deactivated.\r\n"));
    port.Add(Fixed("ABC", 8));
    ASSERT_EQ(port.comm.Connect(), 0);
    EXPECT_EQ(port.comm.Connect(), 0);  // already connected: nothing happens
    EXPECT_TRUE(port.WaitMessage(n + " connection successful.\r\n"));
    EXPECT_EQ(port.comm.GetStatus(), 1);
    EXPECT_EQ(port.comm.GetInstrumentStatus("ABC"), 1);

    // Leading junk, then two frames, the second split over two writes.
    pty.Send("xxABC12345ABC6");
    pty.Send("7890");
    ASSERT_TRUE(port.WaitFrames(2));
    EXPECT_EQ(port.frames, (std::vector<std::string>{"ABC12345", "ABC67890"}));
    EXPECT_EQ(port.Seen(n + " reading telemetry.\r\n"), 1);
    EXPECT_EQ(port.Seen("ABC found on " + n + ".\r\n"), 1);
    EXPECT_EQ(port.comm.GetBytesDiscarded(), 2);
    // The reader tells its owner after the frames are buffered, so a test
    // that takes them at once may be ahead of the notification.
    EXPECT_TRUE(WaitFor([&] { return port.owner.Count(kCmdFramesAvailable) >= 1; }));

    // Three quiet waits make the port wait for telemetry: said once, however
    // long the silence lasts, and the found flags start again.
    ASSERT_TRUE(port.WaitMessage(n + " waiting for telemetry.\r\n"));
    EXPECT_TRUE(WaitFor([&] { return port.comm.GetStatus() == 1; }));
    EXPECT_EQ(port.comm.GetInstrumentStatus("ABC"), 1);
    pty.Send("ABCabcde");
    ASSERT_TRUE(port.WaitFrames(3));
    EXPECT_EQ(port.Seen(n + " reading telemetry.\r\n"), 2);
    EXPECT_EQ(port.Seen(n + " waiting for telemetry.\r\n"), 1);
    EXPECT_EQ(port.Seen("ABC found on " + n + ".\r\n"), 2);
    EXPECT_EQ(port.comm.GetStatus(), 2);
    EXPECT_EQ(port.comm.GetInstrumentStatus("ABC"), 2);

    // The instrument keeps sending while the port is disconnected (without
    // blocking once nobody reads any more).
    ASSERT_EQ(fcntl(pty.master, F_SETFL, fcntl(pty.master, F_GETFL) | O_NONBLOCK), 0);
    std::atomic<bool> sending{true};
    std::thread instrument([&] {
        while (sending) {
            [[maybe_unused]] const ssize_t put = write(pty.master, "ABC00000", 8);
            std::this_thread::sleep_for(1ms);
        }
    });
    ASSERT_TRUE(port.WaitFrames(10));
    const auto start = Clock::now();
    EXPECT_EQ(port.comm.Disconnect(), 0);
    const auto took = Clock::now() - start;
    sending = false;
    instrument.join();
    // The wake-up event ends the reader's wait at once; 100 ms is what the
    // wait itself lasts at most, with a margin for a loaded machine.
    EXPECT_LT(took, 300ms);
    port.Collect();
    EXPECT_EQ(port.Seen("Disabling telemetry acquisition for ABC on " + n + ".\r\n"), 1);
    EXPECT_EQ(port.Seen(n + " disconnection successful.\r\n"), 1);
    EXPECT_EQ(port.comm.GetStatus(), 0);
    EXPECT_EQ(port.comm.GetInstrumentStatus("ABC"), 0);
    EXPECT_EQ(port.comm.Disconnect(), 0);
    // The port is free again and its settings are as they were.
    EXPECT_EQ(ProbeSerialPort(n), 0);
    termios after{};
    ASSERT_EQ(tcgetattr(pty.slave, &after), 0);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before));
}

TEST(SerialPort, HangUpAbortsWithItsCode) {
    PtyPair pty;
    Port port(pty.name);
    port.Add(Fixed("ABC", 4));
    ASSERT_EQ(port.comm.Connect(), 0);
    pty.Send("ABC1");
    ASSERT_TRUE(port.WaitFrames(1));
    pty.CloseMaster();
    ASSERT_TRUE(WaitFor([&] { return port.comm.GetStatus() == 4; }));
    EXPECT_TRUE(port.WaitMessage("Telemetry acquisition aborted on " + pty.name +
                                 ".\r\n\tRead error: " + SystemErrorText(EIO) + ".\r\n"));
    // The abort must be read before the port may be connected again.
    EXPECT_EQ(port.comm.Connect(), kCommAbortNotReset);
    EXPECT_TRUE(port.WaitMessage("Unable to open serial port communications on " + pty.name +
                                 ".\r\n\tThe telemetry abort code has not been reset.\r\n"));
    EXPECT_EQ(port.comm.Disconnect(), 0);
    EXPECT_EQ(port.comm.GetAbortCode(), kCommReadError);
    EXPECT_EQ(port.comm.GetAbortCode(), 0);
    EXPECT_EQ(port.comm.GetStatus(), 0);
    EXPECT_EQ(port.comm.GetInstrumentStatus("ABC"), 0);
}

TEST(SerialPort, ExistsAndExclusiveUse) {
    PtyPair pty;
    Port missing("/dev/dravik-no-such-port");
    EXPECT_EQ(missing.comm.Exists(), 0);
    EXPECT_EQ(missing.comm.Connect(), kCommPortOpenFailed);
    Port not_a_tty("/dev/null");
    EXPECT_EQ(not_a_tty.comm.Exists(), 0);

    Port first(pty.name);
    Port second(pty.name);
    EXPECT_EQ(second.comm.Exists(), 1);
    ASSERT_EQ(first.comm.Connect(), 0);
    EXPECT_EQ(second.comm.Exists(), 1);  // held, but there
    EXPECT_EQ(ProbeSerialPort(pty.name), EBUSY);
    EXPECT_EQ(second.comm.Connect(), kCommPortOpenFailed);

    CSerialSettings settings;
    settings.port_name = "/dev/other";
    EXPECT_EQ(first.comm.InitializeSerialPort(settings), kCommInvalidPort);
    settings.port_name = pty.name;
    EXPECT_EQ(first.comm.InitializeSerialPort(settings), kCommStillConnected);
    first.Collect();
    EXPECT_EQ(first.Seen("Unable to reinitialize serial communications.\r\n\tThe serial port is "
                         "still connected.\r\n"),
              1);
    EXPECT_EQ(first.comm.Disconnect(), 0);
    // New settings while disconnected; a rate of 0 is refused before the
    // device is touched.
    settings.baud_rate = 0;
    EXPECT_EQ(first.comm.InitializeSerialPort(settings), 0);
    EXPECT_EQ(first.comm.Connect(), kCommSetupError12);
    EXPECT_TRUE(first.WaitMessage("Unable to set serial port settings for " + pty.name + ".\r\n\t" +
                                  SystemErrorText(EINVAL) + ".\r\n\tConnection failed.\r\n"));
    EXPECT_EQ(ProbeSerialPort(pty.name), 0);
}

TEST(SerialPort, LineErrorsAreReportedAtMostFiveInARow) {
    CLineErrorReport report;
    std::vector<const char*> said;
    CLineErrors framing;
    framing.framing = 2;
    for (int i = 0; i < 7; ++i) report.Check(framing, said);
    CLineErrors other;
    other.overrun = 1;
    other.parity = 1;
    other.buffer_overrun = 1;
    report.Check(other, said);  // neither break nor framing: the rows start again
    report.Check(framing, said);
    CLineErrors brk;
    brk.breaks = 1;
    report.Check(brk, said);
    std::vector<std::string> expected(5, "Hardware framing error on %s.\r\n");
    for (const char* text :
         {"Detected possible incorrect baud rate on %s.\r\n", "Input buffer overflow on %s.\r\n",
          "Character buffer overrun on %s.\r\n", "Rx parity error on %s.\r\n",
          "Hardware framing error on %s.\r\n", "Break error on %s.\r\n"}) {
        expected.push_back(text);
    }
    EXPECT_EQ(std::vector<std::string>(said.begin(), said.end()), expected);
    EXPECT_EQ(report.FramingTotal(), 16u);
    EXPECT_EQ(report.BreakTotal(), 1u);
}

TEST(SerialPort, AnyRateTheDriverAccepts) {
    PtyPair pty;
    for (int baud : {9600, 115200, 31250, 250000, 12345}) {
        CSerialPort port;
        ASSERT_EQ(port.Open(pty.name), 0);
        CSerialSettings settings;
        settings.baud_rate = baud;
        settings.byte_size = 7;
        settings.parity = 2;
        settings.stop_bits = 2;
        EXPECT_EQ(port.Configure(settings), 0) << baud;
        int now = 0;
        EXPECT_EQ(port.CurrentBaudRate(now), 0);
        EXPECT_EQ(now, baud);
    }
    CSerialPort port;
    ASSERT_EQ(port.Open(pty.name), 0);
    CSerialSettings bad;
    bad.byte_size = 9;
    EXPECT_EQ(port.Configure(bad), EINVAL);
    bad.byte_size = 8;
    bad.parity = 5;
    EXPECT_EQ(port.Configure(bad), EINVAL);
}

}  // namespace
}  // namespace dravik

// dravik-log: records the telemetry of instruments on a serial port.
//
//   dravik-log PORT OUTPUT INSTRUMENT... [options]
//
// Every frame of the given instruments is written to OUTPUT as it arrives,
// followed by a 7-byte time tag of the moment it was taken (UTC), which is
// the layout dravik-convert reads with /t. Bytes that belong to no frame are
// not written. A status line on the terminal shows what arrives; Ctrl-C or
// SIGTERM ends the recording with every frame taken written whole and the
// file synced (SIGHUP too). Exit status: 0 recorded until asked to stop, 1 the port is
// missing, busy or lost, an instrument cannot be used or OUTPUT cannot be
// written, 2 an invalid command line.
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "cli/terminal_front_end.h"
#include "conversion/output_layout.h"
#include "frontend/exit_status.h"
#include "platform/disk_file.h"
#include "telemetry/oxa_telemetry_doc.h"
#include "telemetry/serial_port.h"

#ifndef DRAVIK_VERSION
#define DRAVIK_VERSION "0.0.0"
#endif

namespace {

using namespace dravik;
using Clock = std::chrono::steady_clock;

constexpr const char* kUsage =
    "Usage: dravik-log PORT OUTPUT INSTRUMENT... [options]\n"
    "\n"
    "Records the telemetry that the instruments described by the instrument\n"
    "files INSTRUMENT (.cal or .tdf) send on the serial port PORT (such as\n"
    "/dev/ttyUSB0) into the raw log file OUTPUT. Each frame is followed by a\n"
    "7-byte time tag of the moment it arrived (UTC), as dravik-convert /t\n"
    "reads it. Ctrl-C or SIGTERM ends the recording.\n"
    "\n"
    "Options:\n"
    "  --baud N            baud rate, any rate the port accepts (default 9600)\n"
    "  --parity P          none, odd, even, mark or space (default none)\n"
    "  --stop-bits S       1, 1.5 or 2 (default 1)\n"
    "  --byte-size N       5 to 8 data bits (default 8)\n"
    "  --sync TEXT         a text the telemetry carries before the frames are\n"
    "                      searched for (default: none)\n"
    "  --append            add to an existing OUTPUT; without it an existing\n"
    "                      file is never overwritten\n"
    "  --help, --version\n"
    "\n"
    "Exit status: 0 recorded until stopped, 1 the port is missing, busy or\n"
    "lost, or OUTPUT cannot be written, 2 an invalid command line.\n";

struct Options {
    std::string port;
    std::string output;
    std::vector<std::string> instruments;
    CSerialSettings serial;
    bool append = false;
    bool help = false;
    bool version = false;
};

bool ParseNumber(std::string_view text, int& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

// Empty on success, else what is wrong.
std::string ParseCommandLine(int argc, char** argv, Options& options) {
    std::vector<std::string> names;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            names.push_back(std::move(arg));
            continue;
        }
        std::string value;
        bool has_value = false;
        if (const auto eq = arg.find('='); eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.resize(eq);
            has_value = true;
        }
        auto take_value = [&]() -> bool {
            if (has_value) return true;
            if (i + 1 >= argc) return false;
            value = argv[++i];
            return true;
        };
        if (arg == "--help") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--append") {
            options.append = true;
        } else if (arg == "--baud") {
            int baud = 0;
            if (!take_value() || !ParseNumber(value, baud) || baud <= 0) {
                return "--baud needs a positive number";
            }
            options.serial.baud_rate = baud;
        } else if (arg == "--parity") {
            static const char* const kParities[] = {"none", "odd", "even", "mark", "space"};
            if (!take_value()) return "--parity needs none, odd, even, mark or space";
            int found = -1;
            for (int p = 0; p < 5; ++p) {
                if (value == kParities[p]) found = p;
            }
            if (found < 0) return "--parity needs none, odd, even, mark or space";
            options.serial.parity = static_cast<std::uint8_t>(found);
        } else if (arg == "--stop-bits") {
            if (!take_value()) return "--stop-bits needs 1, 1.5 or 2";
            if (value == "1") {
                options.serial.stop_bits = 0;
            } else if (value == "1.5") {
                options.serial.stop_bits = 1;
            } else if (value == "2") {
                options.serial.stop_bits = 2;
            } else {
                return "--stop-bits needs 1, 1.5 or 2";
            }
        } else if (arg == "--byte-size") {
            int size = 0;
            if (!take_value() || !ParseNumber(value, size) || size < 5 || size > 8) {
                return "--byte-size needs 5, 6, 7 or 8";
            }
            options.serial.byte_size = static_cast<std::uint8_t>(size);
        } else if (arg == "--sync") {
            if (!take_value() || value.empty()) return "--sync needs a text";
            options.serial.global_sync = value;
        } else {
            return "unknown option " + arg;
        }
    }
    if (options.help || options.version) return {};
    if (names.size() < 3)
        return "a port, an output file and at least one instrument file are needed";
    options.port = names[0];
    options.output = names[1];
    options.instruments.assign(names.begin() + 2, names.end());
    options.serial.port_name = options.port;
    return {};
}

// Messages and the status line share standard error: a message first clears
// the status line, which the next refresh draws again.
class CStatusTerminal {
  public:
    explicit CStatusTerminal(bool terminal) : m_terminal(terminal) {}

    void Print(const std::string& text) {
        std::lock_guard lock(m_lock);
        Clear();
        std::fputs(text.c_str(), stderr);
        std::fflush(stderr);
    }
    void Status(const std::string& line) {
        if (!m_terminal) return;
        std::lock_guard lock(m_lock);
        Clear();
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
        m_shown = true;
    }
    void Finish() {
        std::lock_guard lock(m_lock);
        if (m_shown) std::fputs("\n", stderr);
        m_shown = false;
    }

  private:
    void Clear() {
        if (m_shown) std::fputs("\r\x1b[K", stderr);
        m_shown = false;
    }

    std::mutex m_lock;
    bool m_terminal;
    bool m_shown = false;
};

struct InstrumentCounts {
    std::string header;
    std::uint64_t frames = 0;
    std::uint64_t bytes = 0;
    std::uint64_t resyncs = 0;
    Clock::time_point last_frame{};
};

// The time tag of a frame: its time stamp in UTC.
void TimeTagOf(const CFrameTime& stamp, std::uint8_t tag[kTimeTagLength]) {
    const std::time_t seconds = static_cast<std::time_t>(stamp.seconds);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    const auto date = static_cast<std::uint32_t>((utc.tm_year + 1900) * 1000 + utc.tm_yday + 1);
    const auto time = static_cast<std::uint32_t>(utc.tm_hour * 10000000 + utc.tm_min * 100000 +
                                                 utc.tm_sec * 1000 + stamp.milliseconds);
    EncodeTimeTag(date, time, tag);
}

// Receives the control's callbacks on its processing thread and gathers the
// frames for the main thread, which writes them.
class CLogDoc final : public COxaTelemetryDoc {
  public:
    explicit CLogDoc(CStatusTerminal& terminal) : m_terminal(terminal) {}
    // The control's thread calls back into this object: it is stopped while
    // the object is still whole.
    ~CLogDoc() override { DeleteContents(); }

    void AddCounts(const std::string& header) {
        std::lock_guard lock(m_lock);
        m_counts.push_back(InstrumentCounts{header});
    }

    void OnTelemetryMessage(std::string& text) override {
        COxaTelemetryDoc::OnTelemetryMessage(text);
        m_terminal.Print(TerminalText(text));
    }

    void OnTelemetryFrame(const std::string&, std::unique_ptr<CFrameData> frame) override {
        if (!frame) return;
        // A frame preceded by dropped bytes is a resynchronization.
        std::int64_t discarded = 0;
        GetBytesDiscarded(discarded, 0);
        std::uint8_t tag[kTimeTagLength];
        TimeTagOf(frame->GetInfo().time_stamp, tag);
        const std::string& bytes = frame->GetText();
        std::lock_guard lock(m_lock);
        m_pending.append(bytes);
        m_pending.append(reinterpret_cast<const char*>(tag), sizeof tag);
        for (InstrumentCounts& counts : m_counts) {
            if (counts.header != frame->GetInfo().header) continue;
            ++counts.frames;
            counts.bytes += bytes.size();
            if (discarded > m_discarded_seen && counts.frames > 1) ++counts.resyncs;
            counts.last_frame = Clock::now();
        }
        m_discarded_seen = discarded;
    }

    void OnCommResourceStatus(const std::string&, int status) override {
        if (status == 4) {
            std::lock_guard lock(m_lock);
            m_lost = true;
        }
    }

    // The frames gathered since the last call.
    std::string TakePending() {
        std::string out;
        std::lock_guard lock(m_lock);
        out.swap(m_pending);
        return out;
    }
    bool Lost() {
        std::lock_guard lock(m_lock);
        return m_lost;
    }
    std::vector<InstrumentCounts> Counts() {
        std::lock_guard lock(m_lock);
        return m_counts;
    }

  private:
    CStatusTerminal& m_terminal;
    std::mutex m_lock;
    std::string m_pending;
    std::vector<InstrumentCounts> m_counts;
    std::int64_t m_discarded_seen = 0;
    bool m_lost = false;
};

std::string StatusLine(CLogDoc& doc) {
    const auto now = Clock::now();
    std::string line;
    char buf[160];
    for (const InstrumentCounts& c : doc.Counts()) {
        if (!line.empty()) line += " | ";
        if (c.frames == 0) {
            std::snprintf(buf, sizeof buf, "%s: no frame yet", c.header.c_str());
        } else {
            const double ago = std::chrono::duration<double>(now - c.last_frame).count();
            std::snprintf(buf, sizeof buf, "%s: %llu frames, %llu bytes, %llu resync, %.1f s ago",
                          c.header.c_str(), static_cast<unsigned long long>(c.frames),
                          static_cast<unsigned long long>(c.bytes),
                          static_cast<unsigned long long>(c.resyncs), ago);
        }
        line += buf;
    }
    std::uint64_t framing = 0;
    std::uint64_t breaks = 0;
    doc.GetControl()->GetLineErrorCounts(0, framing, breaks);
    std::snprintf(buf, sizeof buf, " | framing %llu, break %llu",
                  static_cast<unsigned long long>(framing),
                  static_cast<unsigned long long>(breaks));
    line += buf;
    return line;
}

void Error(const std::string& text) {
    std::fprintf(stderr, "dravik-log: %s\n", text.c_str());
}

// Why the port could not be opened, in words.
std::string PortProblem(const std::string& port) {
    const int err = ProbeSerialPort(port);
    if (err == EBUSY) return "the serial port " + port + " is in use by another program";
    if (err == ENOTTY) return port + " is not a serial port";
    if (err == 0) return "the serial port " + port + " cannot be set up";
    return "cannot open the serial port " + port + ": " + SystemErrorText(err);
}

// The recording proper, once the output file is open. Returns the exit
// status.
int Record(const Options& options, CDiskFile& output, const sigset_t& stop_signals,
           std::uint64_t& frames_written) {
    CStatusTerminal terminal(isatty(STDERR_FILENO) != 0);
    CLogDoc doc(terminal);
    // Every failure below is explained by the control's messages, which are
    // all delivered once the control is shut down; the last line says what
    // it means for the recording.
    auto fail = [&](const std::string& text) {
        doc.DeleteContents();
        terminal.Finish();
        Error(text);
        return kExitFailed;
    };
    if (doc.AddCommResource(options.serial) != 0)
        return fail("cannot use the port " + options.port);
    if (doc.CommResourceExists(0) == 0) return fail(PortProblem(options.port));
    for (std::size_t i = 0; i < options.instruments.size(); ++i) {
        const int code = doc.AddInstrument(options.instruments[i]);
        if (code != 0 && code != kControlInstrumentLineErrors) {
            return fail("cannot use the instrument file " + options.instruments[i]);
        }
        std::string header;
        doc.GetInstrumentHeader(header, static_cast<int>(i));
        if (doc.AttachInstrument(header, options.port) != 0 ||
            doc.StartAcquisition(static_cast<int>(i)) != 0) {
            return fail("cannot read " + header + " on " + options.port);
        }
        doc.AddCounts(header);
    }
    if (const int code = doc.ConnectCommResource(0); code != 0) {
        return fail(code == kCommPortOpenFailed ? PortProblem(options.port)
                                                : "cannot set up the serial port " + options.port);
    }

    int status = kExitComplete;
    auto write_pending = [&]() -> bool {
        const std::string pending = doc.TakePending();
        if (pending.empty()) return true;
        if (const int cause = output.Write(pending.data(), pending.size()); cause != 0) {
            terminal.Finish();
            Error("cannot write " + options.output + ": " +
                  FileErrorText(cause, FileErrorWording::kMessage));
            return false;
        }
        return true;
    };
    for (;;) {
        // The frames are written (and the status drawn) five times a second,
        // so the file is never more than a fraction of a second behind.
        const timespec tick{0, 200 * 1000 * 1000};
        const int signal = sigtimedwait(&stop_signals, nullptr, &tick);
        if (signal == SIGINT || signal == SIGTERM || signal == SIGHUP) break;
        if (!write_pending()) {
            status = kExitFailed;
            break;
        }
        if (doc.Lost()) {
            status = kExitFailed;
            break;
        }
        terminal.Status(StatusLine(doc));
    }
    const bool lost = doc.Lost();
    // Shutting the control down stops the reader and delivers every frame
    // it has taken; they are all written before the file is synced.
    doc.DeleteContents();
    if (status == kExitComplete || lost) {
        if (!write_pending()) status = kExitFailed;
    }
    terminal.Finish();
    for (const InstrumentCounts& c : doc.Counts()) {
        frames_written += c.frames;
        std::fprintf(stderr, "dravik-log: %s: %llu frames\n", c.header.c_str(),
                     static_cast<unsigned long long>(c.frames));
    }
    if (lost) {
        Error("lost the serial port " + options.port);
        status = kExitFailed;
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (const std::string problem = ParseCommandLine(argc, argv, options); !problem.empty()) {
        Error(problem);
        std::fputs("Try dravik-log --help.\n", stderr);
        return kExitInvalidCommandLine;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return kExitComplete;
    }
    if (options.version) {
        std::printf("dravik-log %s\n", DRAVIK_VERSION);
        return kExitComplete;
    }

    // A file size limit (ulimit -f) must end the recording with the write
    // error, and with what was recorded synced, not kill the logger: ignored,
    // the signal becomes a failed write.
    std::signal(SIGXFSZ, SIG_IGN);

    // The stop signals are taken by the main thread's wait only: blocked
    // before any thread starts, they are blocked in every thread.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    sigaddset(&stop_signals, SIGHUP);  // the terminal went away
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    CDiskFile output;
    const int cause = output.Open(
        options.output, options.append ? CDiskFile::Mode::kAppend : CDiskFile::Mode::kCreateNew);
    if (cause != 0) {
        struct stat st {};
        if (!options.append && stat(options.output.c_str(), &st) == 0) {
            Error(options.output + " already exists; give --append to add to it");
        } else {
            Error("cannot open " + options.output + ": " +
                  FileErrorText(cause, FileErrorWording::kMessage));
        }
        return kExitFailed;
    }
    std::uint64_t length_before = 0;
    output.GetLength(length_before);

    std::uint64_t frames = 0;
    const int status = Record(options, output, stop_signals, frames);
    if (fdatasync(output.GetDescriptor()) != 0) {
        Error("cannot write " + options.output + ": " + SystemErrorText(errno));
        return kExitFailed;
    }
    std::uint64_t length = 0;
    output.GetLength(length);
    output.Close();
    // A recording that never started leaves no empty file of its own behind.
    if (!options.append && frames == 0 && length == 0 && length_before == 0 &&
        status != kExitComplete) {
        std::remove(options.output.c_str());
    }
    return status;
}

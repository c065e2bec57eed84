// The serial side of a communications resource: the port opened and set up,
// the reader thread that hands the port's bytes to the resource, the line
// errors and idleness it reports, and disconnection.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "telemetry/serial_port.h"
#include "telemetry/telem_comm.h"

namespace dravik {

// Which line errors are said. Bursts of break and framing errors are said at
// most five times in a row, so that a wrong baud rate does not flood the log;
// a look that finds neither starts the rows again.
class CLineErrorReport {
  public:
    // The messages for the errors counted since the last look, in the order
    // they are said; each holds one "%s" for the port name.
    void Check(const CLineErrors& errors, std::vector<const char*>& messages);
    // A new connection starts the rows again.
    void Restart() noexcept { m_framing_row = m_break_row = 0; }
    // Errors counted since the port was connected; read by other threads.
    std::uint64_t FramingTotal() const noexcept { return m_framing_total; }
    std::uint64_t BreakTotal() const noexcept { return m_break_total; }

  private:
    int m_framing_row = 0;
    int m_break_row = 0;
    std::atomic<std::uint64_t> m_framing_total{0};
    std::atomic<std::uint64_t> m_break_total{0};
};

// It works on its resource's locks, cutter and messages. The resource's
// status lock guards connected, disconnecting, waiting and the abort code; the
// rest belongs to the reader thread while it runs.
class CSerialLink {
  public:
    explicit CSerialLink(CTelemComm& comm) : m_comm(comm) {}
    // A reader that still runs is stopped and the port's saved settings are
    // put back (by the port's own destructor), without messages to an owner
    // that is letting the resource go.
    ~CSerialLink();
    CSerialLink(const CSerialLink&) = delete;
    CSerialLink& operator=(const CSerialLink&) = delete;

    // Settings for the next connection.
    void SetSettings(const CSerialSettings& settings);
    int ReadSize() const noexcept { return m_settings.read_size; }
    const std::string& GlobalSync() const noexcept { return m_settings.global_sync; }

    int Exists();  // status lock held
    int Connect();
    int Disconnect();
    // Status lock held by the caller.
    int TakeAbortCode() noexcept;
    int Status(bool global_sync_done) const noexcept;

    // Bytes arrived: a port that was waiting for telemetry reads it again.
    void Arrived();
    // While set, "found" and "synchronized" are not said (the port is idle).
    bool Quiet() const noexcept { return m_quiet != 0; }
    int LastSystemError() const noexcept { return m_last_system_error; }
    bool Connecting() const noexcept { return m_connecting != 0; }
    const CLineErrorReport& LineErrors() const noexcept { return m_line_errors; }

  private:
    int StartReader();
    void ReaderMain();
    void ReaderAbort(int code);
    void ReaderEnded();
    void ClosePort();
    void IdleAction();
    void JoinReader();
    void CheckCommStatus(const CLineErrors& errors);
    const std::string& Name() const noexcept { return m_comm.m_name; }

    CTelemComm& m_comm;
    CSerialSettings m_settings;
    int m_idle_wait_count = 15;
    std::unique_ptr<CSerialPort> m_port;

    int m_connected = 0;
    int m_waiting_for_telemetry = 1;
    int m_disconnecting = 0;
    int m_abort_code = 0;
    int m_quiet = 0;
    std::atomic<int> m_connecting{0};
    std::atomic<int> m_last_system_error{0};
    CLineErrorReport m_line_errors;

    std::thread m_reader;
    std::mutex m_reader_lock;  // the start hand-over below
    std::condition_variable m_reader_cv;
    bool m_reader_started = false;
    bool m_reader_ended = false;
    std::atomic<bool> m_stop_reader{false};
};

}  // namespace dravik

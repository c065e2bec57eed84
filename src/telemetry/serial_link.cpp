#include "telemetry/serial_link.h"

#include <cerrno>
#include <initializer_list>
#include <system_error>
#include <utility>

#include "platform/text.h"

namespace dravik {

namespace {

// The device is gone: its settings cannot be put back, and saying so on
// every lost adapter would only bury the abort message.
bool DeviceGone(int err) {
    return err == EIO || err == ENODEV || err == ENXIO || err == EBADF;
}

}  // namespace

// ---------------------------------------------------------------------------
// Line errors

void CLineErrorReport::Check(const CLineErrors& errors, std::vector<const char*>& messages) {
    m_framing_total += errors.framing;
    m_break_total += errors.breaks;
    if (errors.breaks != 0 && m_break_row < 5) {
        messages.push_back("Break error on %s.\r\n");
        ++m_break_row;
    }
    if (errors.framing != 0 && m_framing_row < 5) {
        messages.push_back("Hardware framing error on %s.\r\n");
        if (m_framing_row == 4)
            messages.push_back("Detected possible incorrect baud rate on %s.\r\n");
        ++m_framing_row;
    }
    if (errors.breaks == 0 && errors.framing == 0) Restart();
    if (errors.buffer_overrun != 0) messages.push_back("Input buffer overflow on %s.\r\n");
    if (errors.overrun != 0) messages.push_back("Character buffer overrun on %s.\r\n");
    if (errors.parity != 0) messages.push_back("Rx parity error on %s.\r\n");
}

// ---------------------------------------------------------------------------
// Settings and status

CSerialLink::~CSerialLink() {
    m_stop_reader = true;
    {
        // A reader that is aborting closes the port under this lock.
        std::lock_guard lock(m_comm.m_status_lock);
        if (m_port) m_port->Wake();
    }
    JoinReader();
    m_port.reset();
}

void CSerialLink::SetSettings(const CSerialSettings& settings) {
    m_settings = settings;
    // A read of no bytes could never make progress.
    if (m_settings.read_size < 1) m_settings.read_size = 1024;
    if (settings.idle_wait_count > 0) m_idle_wait_count = settings.idle_wait_count;
}

int CSerialLink::Exists() {
    const int err = ProbeSerialPort(Name());
    // A port held by another program (or by this resource) exists too; so
    // does one this user may not open.
    return err == 0 || err == EBUSY || err == EACCES || err == EPERM ? 1 : 0;
}

int CSerialLink::TakeAbortCode() noexcept {
    return std::exchange(m_abort_code, 0);
}

int CSerialLink::Status(bool global_sync_done) const noexcept {
    if (m_abort_code != 0) return 4;
    if (!m_connected) return 0;
    if (global_sync_done && !m_settings.global_sync.empty()) return 3;
    return m_waiting_for_telemetry ? 1 : 2;
}

void CSerialLink::Arrived() {
    if (!m_waiting_for_telemetry) return;
    {
        std::lock_guard lock(m_comm.m_status_lock);
        m_quiet = 0;
        m_waiting_for_telemetry = 0;
    }
    m_comm.ReportMessage(FillMessage("%s reading telemetry.\r\n", {Name()}), 0);
    m_comm.Notify(kCmdStatusChanged);
}

// ---------------------------------------------------------------------------
// Connection

int CSerialLink::Connect() {
    {
        std::lock_guard lock(m_comm.m_status_lock);
        if (m_connected) return 0;
    }
    // A reader that ended on an abort has closed the port; its thread is
    // collected before another starts.
    JoinReader();
    {
        std::lock_guard lock(m_comm.m_status_lock);
        if (m_connected) return 0;
        m_line_errors.Restart();
        if (m_abort_code != 0) {
            m_comm.ReportMessage(
                FillMessage("Unable to open serial port communications on %s.\r\n", {Name()}),
                kCommAbortNotReset);
            return kCommAbortNotReset;
        }
        auto port = std::make_unique<CSerialPort>();
        if (const int err = port->Open(Name()); err != 0) {
            m_last_system_error = err;
            return kCommPortOpenFailed;
        }
        // Each step that fails names itself; the port's destructor puts back
        // whatever was saved and closes it.
        struct Step {
            int (*run)(CSerialPort&, const CSerialSettings&);
            const char* text;
            int code;
        };
        static const Step kSteps[] = {
            {[](CSerialPort& p, const CSerialSettings&) { return p.SaveSettings(); },
             "Unable to get serial port timeouts for %s.\r\n", kCommOpenError},
            {[](CSerialPort& p, const CSerialSettings& s) { return p.Configure(s); },
             "Unable to set serial port settings for %s.\r\n", kCommSetupError12},
            {[](CSerialPort& p, const CSerialSettings&) { return p.SetReadTimeouts(); },
             "Unable to set serial port timeouts for %s.\r\n", kCommSetupError10},
            {[](CSerialPort& p, const CSerialSettings&) { return p.Purge(); },
             "Unable to set serial communications buffer for %s.\r\n", kCommSetupError13},
            {[](CSerialPort& p, const CSerialSettings&) { return p.StartErrorCounts(); },
             "Unable to set serial communications mask for %s.\r\n", kCommSetupError14},
        };
        for (const Step& step : kSteps) {
            if (const int err = step.run(*port, m_settings); err != 0) {
                const std::string text = FillMessage(step.text, {Name()});
                errno = err;  // the explanation is the system's text of it
                m_comm.ReportMessage(text, step.code);
                return step.code;
            }
        }
        m_port = std::move(port);
        m_connected = 1;
    }
    if (StartReader() != 0) return kCommReaderStartFailed;
    m_comm.ReportMessage(FillMessage("%s connection successful.\r\n", {Name()}), 0);
    m_comm.Notify(kCmdStatusChanged);
    return 0;
}

int CSerialLink::Disconnect() {
    int abort = 0;
    {
        std::lock_guard lock(m_comm.m_status_lock);
        if (!m_connected || m_disconnecting) return 0;
        m_disconnecting = 1;
        abort = m_abort_code;
    }
    // The reader sees the stop request at its next wake-up, which the
    // wake-up event makes immediate.
    m_stop_reader = true;
    if (m_port) m_port->Wake();
    JoinReader();
    ClosePort();
    m_comm.ReportMessage(abort != 0
                             ? FillMessage("Telemetry acquisition aborted on %s.\r\n", {Name()})
                             : FillMessage("%s disconnection successful.\r\n", {Name()}),
                         abort);
    m_comm.Notify(kCmdStatusChanged);
    return 0;
}

void CSerialLink::ClosePort() {
    if (m_port && m_port->IsOpen()) {
        if (const int err = m_port->Restore(); err != 0 && !DeviceGone(err)) {
            const std::string text =
                FillMessage("Unable to reset serial port timeouts for %s.\r\n", {Name()});
            errno = err;
            m_comm.ReportMessage(text, kCommThreadError);
        }
        if (const int err = m_port->Purge(); err != 0 && !DeviceGone(err)) {
            const std::string text =
                FillMessage("Unable to purge serial port buffers for %s.\r\n", {Name()});
            errno = err;
            m_comm.ReportMessage(text, kCommThreadError);
        }
    }
    std::vector<std::string> headers;
    {
        std::lock_guard lock(m_comm.m_frame_lock);
        for (std::size_t i = 0; i < m_comm.m_cutter.Count(); ++i) {
            headers.push_back(m_comm.m_cutter.At(i).info.header);
        }
    }
    for (const std::string& header : headers) m_comm.DisableAcquisition(header);
    {
        std::lock_guard lock(m_comm.m_frame_lock);
        m_comm.m_cutter.ClearFound();
    }
    m_comm.m_round = 0;
    m_comm.m_cutter.ClearMatch();
    std::lock_guard lock(m_comm.m_status_lock);
    if (m_port) m_port->Close();
    m_disconnecting = 0;
    m_connected = 0;
    m_comm.m_global_sync_done = 0;
    m_waiting_for_telemetry = 1;
    m_quiet = 0;
}

// ---------------------------------------------------------------------------
// The reader thread

int CSerialLink::StartReader() {
    m_connecting = 1;
    m_stop_reader = false;
    {
        std::lock_guard lock(m_reader_lock);
        m_reader_started = false;
        m_reader_ended = false;
    }
    try {
        m_reader = std::thread(&CSerialLink::ReaderMain, this);
    } catch (const std::system_error& e) {
        m_connecting = 0;
        m_last_system_error = e.code().value();
        ClosePort();
        return 1;
    }
    bool started = false;
    {
        std::unique_lock lock(m_reader_lock);
        m_reader_cv.wait(lock, [this] { return m_reader_started || m_reader_ended; });
        started = m_reader_started;
    }
    m_connecting = 0;
    return started ? 0 : 1;
}

void CSerialLink::JoinReader() {
    if (m_reader.joinable() && m_reader.get_id() != std::this_thread::get_id()) m_reader.join();
}

void CSerialLink::ReaderEnded() {
    {
        std::lock_guard lock(m_reader_lock);
        m_reader_ended = true;
    }
    m_reader_cv.notify_all();
}

void CSerialLink::ReaderMain() {
    const std::size_t read_size = static_cast<std::size_t>(m_settings.read_size);
    const int idle_wait = m_idle_wait_count;
    std::vector<std::uint8_t> buffer;
    try {
        buffer.assign(read_size + 100, 0);
    } catch (const std::bad_alloc&) {
        m_last_system_error = ENOMEM;
        ReaderAbort(kCommReadBufferInitError);
        return;
    }
    CLineErrors errors;
    if (const int err = m_port->ReadErrorCounts(errors); err != 0) {
        m_last_system_error = err;
        ReaderAbort(kCommStatusError);
        return;
    }
    if (errors.Any()) CheckCommStatus(errors);
    {
        std::lock_guard lock(m_reader_lock);
        m_reader_started = true;
    }
    m_reader_cv.notify_all();

    int idle = 0;
    int code = 0;
    while (!m_stop_reader) {
        const CSerialPort::WaitResult result = m_port->Wait(100);
        if (result == CSerialPort::WaitResult::kReadable) {
            const ssize_t n = m_port->Read(buffer.data(), read_size);
            if (n < 0) {
                m_last_system_error = Errno();
                code = kCommReadError;
                break;
            }
            if (n > 0) {
                m_comm.AppendBytes(buffer.data(), static_cast<std::size_t>(n));
                idle = 0;
            }
        } else if (result == CSerialPort::WaitResult::kHangUp) {
            // The device is gone (an adapter pulled, the far end of a
            // pseudo-terminal closed): waiting again would return at once
            // forever.
            m_last_system_error = EIO;
            code = kCommReadError;
            break;
        } else if (result == CSerialPort::WaitResult::kError) {
            m_last_system_error = Errno();
            code = kCommStatusEventError;
            break;
        } else if (result == CSerialPort::WaitResult::kTimeout) {
            if (idle < idle_wait) {
                ++idle;
            } else {
                IdleAction();
            }
        }
        if (const int err = m_port->ReadErrorCounts(errors); err != 0) {
            m_last_system_error = err;
            code = kCommStatusError;
            break;
        }
        if (errors.Any()) CheckCommStatus(errors);
    }
    if (code != 0) {
        ReaderAbort(code);
        return;
    }
    ReaderEnded();
}

void CSerialLink::ReaderAbort(int code) {
    bool recorded = false;
    {
        std::lock_guard lock(m_comm.m_status_lock);
        if (!m_disconnecting) {
            m_abort_code = code;
            // Nobody else closes the port now: a Disconnect sees one in
            // progress and returns.
            m_disconnecting = 1;
            recorded = true;
        }
    }
    if (recorded) {
        ClosePort();
        m_comm.ReportMessage(FillMessage("Telemetry acquisition aborted on %s.\r\n", {Name()}),
                             code);
        m_comm.Notify(kCmdStatusChanged);
    }
    ReaderEnded();
}

void CSerialLink::IdleAction() {
    bool tell = false;
    {
        std::lock_guard status(m_comm.m_status_lock);
        std::lock_guard frames(m_comm.m_frame_lock);
        m_waiting_for_telemetry = 1;
        m_comm.m_global_sync_done = 0;
        m_comm.m_cutter.ClearFound();
        tell = !m_quiet && m_comm.m_state == kStateSerialOwned;
        m_quiet = 1;
    }
    if (tell) {
        m_comm.Notify(kCmdStatusChanged);
        m_comm.ReportMessage(FillMessage("%s waiting for telemetry.\r\n", {Name()}), 0);
    }
}

void CSerialLink::CheckCommStatus(const CLineErrors& errors) {
    std::vector<const char*> messages;
    m_line_errors.Check(errors, messages);
    for (const char* text : messages) m_comm.ReportMessage(FillMessage(text, {Name()}), 0);
}

}  // namespace dravik

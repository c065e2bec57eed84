// The serial port: the termios device (CSerialPort) and the serial steps of a
// communications resource (configuration, the reader thread, status checks,
// disconnection).
//
// <termios.h> is not included here: its struct termios is not the kernel's,
// and termios2 (any baud rate through BOTHER) needs the kernel's headers.
#include "telemetry/serial_port.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <utility>

#include "platform/text.h"
#include "telemetry/telem_comm.h"

namespace dravik {

// CSerialPort keeps the saved settings in 64 opaque bytes.
static_assert(sizeof(termios2) <= 64);

namespace {

// The speed codes of the standard rates: drivers that know no BOTHER still
// take these.
speed_t StandardSpeed(int baud) {
    static const struct {
        int baud;
        speed_t code;
    } kRates[] = {
        {50, B50},           {75, B75},           {110, B110},         {134, B134},
        {150, B150},         {200, B200},         {300, B300},         {600, B600},
        {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
        {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
        {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
        {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
        {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
        {3500000, B3500000}, {4000000, B4000000},
    };
    for (const auto& rate : kRates) {
        if (rate.baud == baud) return rate.code;
    }
    return BOTHER;
}

// Errors of ioctls a device may simply not have (a pseudo-terminal has no
// modem lines and keeps no line error counts).
bool NotSupported(int err) {
    return err == ENOTTY || err == EINVAL;
}

int Errno() {
    return errno != 0 ? errno : EIO;
}

// The device is gone: its settings cannot be put back, and saying so on
// every lost adapter would only bury the abort message.
bool DeviceGone(int err) {
    return err == EIO || err == ENODEV || err == ENXIO || err == EBADF;
}

}  // namespace

std::string SystemErrorText(int err) {
    char buf[256];
    const char* text = strerror_r(err, buf, sizeof buf);
    return text != nullptr ? text : "Unknown error";
}

int ProbeSerialPort(const std::string& name) {
    CSerialPort port;
    return port.Open(name);
}

// ---------------------------------------------------------------------------
// CSerialPort

CSerialPort::~CSerialPort() {
    if (m_fd >= 0) Restore();
    Close();
}

int CSerialPort::Open(const std::string& name) {
    Close();
    const int fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Errno();
    if (!isatty(fd)) {
        ::close(fd);
        return ENOTTY;
    }
    // TIOCEXCL refuses later opens by other users; the flock also stops one
    // that is allowed through (a privileged user) and other programs that
    // lock the device the same way.
    if (ioctl(fd, TIOCEXCL) != 0 && !NotSupported(errno)) {
        const int err = Errno();
        ::close(fd);
        return err;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno == EWOULDBLOCK ? EBUSY : Errno();
        ioctl(fd, TIOCNXCL);
        ::close(fd);
        return err;
    }
    const int wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake < 0) {
        const int err = Errno();
        ioctl(fd, TIOCNXCL);
        ::close(fd);
        return err;
    }
    m_fd = fd;
    m_wake = wake;
    return 0;
}

int CSerialPort::SaveSettings() {
    auto* saved = reinterpret_cast<termios2*>(m_saved);
    if (ioctl(m_fd, TCGETS2, saved) != 0) return Errno();
    m_saved_valid = true;
    return 0;
}

int CSerialPort::Configure(const CSerialSettings& settings) {
    if (settings.baud_rate <= 0 || settings.byte_size < 5 || settings.byte_size > 8 ||
        settings.parity > 4 || settings.stop_bits > 2) {
        return EINVAL;
    }
    termios2 t{};
    if (ioctl(m_fd, TCGETS2, &t) != 0) return Errno();
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                        IXON | IXOFF | IXANY | IUCLC | IMAXBEL | INPCK | IGNPAR);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS |
                                        CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= CREAD | CLOCAL;
    static const tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= kSizes[settings.byte_size - 5];
    switch (settings.parity) {
        case 1:  // odd
            t.c_cflag |= PARENB | PARODD;
            break;
        case 2:  // even
            t.c_cflag |= PARENB;
            break;
        case 3:  // mark
            t.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case 4:  // space
            t.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            break;
    }
    // Bytes with a parity error are kept (as they arrive) and counted by
    // the driver: telemetry is never dropped by the line settings.
    if (settings.parity != 0) t.c_iflag |= INPCK;
    // One and a half stop bits are what a UART sends for "two" at five data
    // bits; Linux has no separate setting for them.
    if (settings.stop_bits != 0) t.c_cflag |= CSTOPB;
    const speed_t code = StandardSpeed(settings.baud_rate);
    t.c_cflag |= code;
    t.c_ispeed = t.c_ospeed = static_cast<speed_t>(settings.baud_rate);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (ioctl(m_fd, TCSETS2, &t) != 0) return Errno();

    // A driver may round the rate to what its clock can divide; beyond what
    // a UART tolerates, the rate is refused rather than read as garbage.
    int now = 0;
    if (const int err = CurrentBaudRate(now); err != 0) return err;
    const double asked = settings.baud_rate;
    if (now < asked * 0.97 || now > asked * 1.03) return EINVAL;

    int lines = TIOCM_DTR | TIOCM_RTS;
    if (ioctl(m_fd, TIOCMBIS, &lines) != 0 && !NotSupported(errno)) return Errno();
    return 0;
}

int CSerialPort::CurrentBaudRate(int& baud) {
    termios2 t{};
    if (ioctl(m_fd, TCGETS2, &t) != 0) return Errno();
    baud = static_cast<int>(t.c_ospeed);
    return 0;
}

int CSerialPort::SetReadTimeouts() {
    termios2 t{};
    if (ioctl(m_fd, TCGETS2, &t) != 0) return Errno();
    if (t.c_cc[VMIN] == 0 && t.c_cc[VTIME] == 0) return 0;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    return ioctl(m_fd, TCSETS2, &t) != 0 ? Errno() : 0;
}

int CSerialPort::Purge() {
    return ioctl(m_fd, TCFLSH, TCIOFLUSH) != 0 ? Errno() : 0;
}

int CSerialPort::StartErrorCounts() {
    serial_icounter_struct counts{};
    if (ioctl(m_fd, TIOCGICOUNT, &counts) != 0) {
        m_counts_supported = false;
        return NotSupported(errno) ? 0 : Errno();
    }
    m_counts_supported = true;
    m_last_counts[0] = static_cast<std::uint32_t>(counts.frame);
    m_last_counts[1] = static_cast<std::uint32_t>(counts.brk);
    m_last_counts[2] = static_cast<std::uint32_t>(counts.overrun);
    m_last_counts[3] = static_cast<std::uint32_t>(counts.buf_overrun);
    m_last_counts[4] = static_cast<std::uint32_t>(counts.parity);
    return 0;
}

int CSerialPort::ReadErrorCounts(CLineErrors& delta) {
    delta = CLineErrors{};
    if (!m_counts_supported) return 0;
    serial_icounter_struct counts{};
    if (ioctl(m_fd, TIOCGICOUNT, &counts) != 0) return Errno();
    const std::uint32_t now[5] = {
        static_cast<std::uint32_t>(counts.frame),   static_cast<std::uint32_t>(counts.brk),
        static_cast<std::uint32_t>(counts.overrun), static_cast<std::uint32_t>(counts.buf_overrun),
        static_cast<std::uint32_t>(counts.parity),
    };
    // The counters wrap; unsigned differences stay right across the wrap.
    delta.framing = now[0] - m_last_counts[0];
    delta.breaks = now[1] - m_last_counts[1];
    delta.overrun = now[2] - m_last_counts[2];
    delta.buffer_overrun = now[3] - m_last_counts[3];
    delta.parity = now[4] - m_last_counts[4];
    std::memcpy(m_last_counts, now, sizeof now);
    return 0;
}

int CSerialPort::Restore() {
    if (m_fd < 0) return 0;
    int first = 0;
    if (m_saved_valid && ioctl(m_fd, TCSETS2, reinterpret_cast<termios2*>(m_saved)) != 0) {
        first = Errno();
    }
    m_saved_valid = false;
    if (ioctl(m_fd, TIOCNXCL) != 0 && !NotSupported(errno) && first == 0) first = Errno();
    return first;
}

void CSerialPort::Close() noexcept {
    if (m_fd >= 0) ::close(m_fd);  // also releases the flock
    if (m_wake >= 0) ::close(m_wake);
    m_fd = m_wake = -1;
    m_saved_valid = false;
    m_counts_supported = false;
}

CSerialPort::WaitResult CSerialPort::Wait(int timeout_ms) {
    pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wake, POLLIN, 0}};
    const int n = poll(fds, 2, timeout_ms);
    if (n < 0) {
        if (errno == EINTR) return WaitResult::kTimeout;
        return WaitResult::kError;
    }
    if (n == 0) return WaitResult::kTimeout;
    if (fds[1].revents != 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t got = ::read(m_wake, &count, sizeof count);
        return WaitResult::kWake;
    }
    // Input first: what arrived before a hang-up is still read. A hung-up
    // terminal also reports itself readable; its reads then return nothing.
    m_hung_up = (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    if (fds[0].revents & POLLIN) return WaitResult::kReadable;
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) return WaitResult::kHangUp;
    return WaitResult::kTimeout;
}

ssize_t CSerialPort::Read(void* buffer, std::size_t size) {
    const ssize_t n = ::read(m_fd, buffer, size);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
    if (n == 0 && m_hung_up) {
        errno = EIO;
        return -1;
    }
    return n;
}

void CSerialPort::Wake() noexcept {
    if (m_wake < 0) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t put = ::write(m_wake, &one, sizeof one);
}

// ---------------------------------------------------------------------------
// The serial steps of a communications resource

int CTelemComm::InitializeSerialPort(const CSerialSettings& settings) {
    if (IsFileResource()) {
        ReportMessage("Unable to reinitialize serial communications.\r\n", 0);
        return kCommReinitialize;
    }
    if (IsSerialPort()) {
        // A byte stream has no port name that could be set up again.
        if (!m_port_settings || settings.port_name != m_name) {
            ReportMessage("Unable to reinitialize serial communications.\r\n", kCommInvalidPort);
            return kCommInvalidPort;
        }
        if (GetStatus() != 0) {
            ReportMessage("Unable to reinitialize serial communications.\r\n", kCommStillConnected);
            return kCommStillConnected;
        }
    } else if (settings.port_name.empty()) {
        ReportMessage("Unable to initialize serial communications.\r\n", kCommInvalidPort);
        return kCommInvalidPort;
    }
    m_serial = settings;
    // A read of no bytes could never make progress.
    if (m_serial.read_size < 1) m_serial.read_size = 1024;
    m_name = settings.port_name;
    m_global_sync = settings.global_sync;
    m_scan_limit = static_cast<std::size_t>(m_serial.read_size);
    if (settings.idle_wait_count > 0) m_idle_wait_count = settings.idle_wait_count;
    if (settings.max_frame_depth > 0) m_max_depth = settings.max_frame_depth;
    ReportMessage(FillMessage("Initializing serial communications on %s.\r\n", {m_name}),
                  m_global_sync.empty() ? kCommGlobalSyncOff : 0);
    m_port_settings = true;
    m_state = m_owner != nullptr ? kStateSerialOwned : kStateSerial;
    Notify(kCmdStatusChanged);
    return 0;
}

int CTelemComm::GetSerialInfo(CSerialSettings& settings) const {
    if (!IsSerialPort() || !m_port_settings) return 0;
    settings = m_serial;
    return 1;
}

int CTelemComm::Exists() {
    if (!m_port_settings) return 0;
    std::lock_guard lock(m_status_lock);
    const int err = ProbeSerialPort(m_name);
    // A port held by another program (or by this resource) exists too; so
    // does one this user may not open.
    return err == 0 || err == EBUSY || err == EACCES || err == EPERM ? 1 : 0;
}

int CTelemComm::GetStatus() const {
    if (!IsSerialPort()) return 5;
    std::lock_guard lock(m_status_lock);
    if (m_abort_code != 0) return 4;
    if (!m_connected) return 0;
    if (m_global_sync_done && !m_global_sync.empty()) return 3;
    return m_waiting_for_telemetry ? 1 : 2;
}

int CTelemComm::GetInstrumentStatus(const std::string& header) const {
    if (!IsSerialPort()) return 4;
    std::lock_guard lock(m_frame_lock);
    const int index = FindInstrument(header);
    if (index < 0) return 3;
    const Instrument& inst = m_instruments[index];
    if (!inst.info.acquisition_enabled) return 0;
    return inst.found ? 2 : 1;
}

int CTelemComm::GetAbortCode() {
    int code = 0;
    {
        std::lock_guard lock(m_status_lock);
        code = std::exchange(m_abort_code, 0);
    }
    if (m_state == kStateSerialOwned) Notify(kCmdStatusChanged);
    return code;
}

int CTelemComm::Connect() {
    if (m_state == kStateUninitialized) {
        ReportMessage("Unable to open serial port communications.\r\n", kCommNotInitialized);
        return kCommNotInitialized;
    }
    if (!m_port_settings) return 0;
    {
        std::lock_guard lock(m_status_lock);
        if (m_connected) return 0;
    }
    // A reader that ended on an abort has closed the port; its thread is
    // collected before another starts.
    JoinReader();
    {
        std::lock_guard lock(m_status_lock);
        if (m_connected) return 0;
        m_framing_errors = 0;
        m_break_errors = 0;
        if (m_abort_code != 0) {
            ReportMessage(
                FillMessage("Unable to open serial port communications on %s.\r\n", {m_name}),
                kCommAbortNotReset);
            return kCommAbortNotReset;
        }
        auto port = std::make_unique<CSerialPort>();
        if (const int err = port->Open(m_name); err != 0) {
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
            if (const int err = step.run(*port, m_serial); err != 0) {
                const std::string text = FillMessage(step.text, {m_name});
                errno = err;  // the explanation is the system's text of it
                ReportMessage(text, step.code);
                return step.code;
            }
        }
        m_port = std::move(port);
        m_connected = 1;
    }
    if (StartReader() != 0) return kCommReaderStartFailed;
    ReportMessage(FillMessage("%s connection successful.\r\n", {m_name}), 0);
    Notify(kCmdStatusChanged);
    return 0;
}

int CTelemComm::StartReader() {
    m_connecting = 1;
    m_stop_reader = false;
    {
        std::lock_guard lock(m_reader_lock);
        m_reader_started = false;
        m_reader_ended = false;
    }
    try {
        m_reader = std::thread(&CTelemComm::ReaderMain, this);
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

void CTelemComm::JoinReader() {
    if (m_reader.joinable() && m_reader.get_id() != std::this_thread::get_id()) m_reader.join();
}

void CTelemComm::ReaderMain() {
    const std::size_t read_size = static_cast<std::size_t>(m_serial.read_size);
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
                AppendBytes(buffer.data(), static_cast<std::size_t>(n));
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
    {
        std::lock_guard lock(m_reader_lock);
        m_reader_ended = true;
    }
    m_reader_cv.notify_all();
}

void CTelemComm::ReaderAbort(int code) {
    bool recorded = false;
    {
        std::lock_guard lock(m_status_lock);
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
        ReportMessage(FillMessage("Telemetry acquisition aborted on %s.\r\n", {m_name}), code);
        Notify(kCmdStatusChanged);
    }
    {
        std::lock_guard lock(m_reader_lock);
        m_reader_ended = true;
    }
    m_reader_cv.notify_all();
}

void CTelemComm::IdleAction() {
    bool tell = false;
    {
        std::lock_guard status(m_status_lock);
        std::lock_guard frames(m_frame_lock);
        m_waiting_for_telemetry = 1;
        m_global_sync_done = 0;
        for (Instrument& inst : m_instruments) inst.found = 0;
        tell = !m_quiet && m_state == kStateSerialOwned;
        m_quiet = 1;
    }
    if (tell) {
        Notify(kCmdStatusChanged);
        ReportMessage(FillMessage("%s waiting for telemetry.\r\n", {m_name}), 0);
    }
}

int CTelemComm::CheckCommStatus(const CLineErrors& errors) {
    m_framing_total += errors.framing;
    m_break_total += errors.breaks;
    // Bursts of break and framing errors are reported at most five in a
    // row, so a wrong baud rate does not flood the log.
    if (errors.breaks != 0 && m_break_errors < 5) {
        ReportMessage(FillMessage("Break error on %s.\r\n", {m_name}), 0);
        ++m_break_errors;
    }
    if (errors.framing != 0 && m_framing_errors < 5) {
        ReportMessage(FillMessage("Hardware framing error on %s.\r\n", {m_name}), 0);
        if (m_framing_errors == 4) {
            ReportMessage(FillMessage("Detected possible incorrect baud rate on %s.\r\n", {m_name}),
                          0);
        }
        ++m_framing_errors;
    }
    if (errors.breaks == 0 && errors.framing == 0) {
        m_framing_errors = 0;
        m_break_errors = 0;
    }
    if (errors.buffer_overrun != 0) {
        ReportMessage(FillMessage("Input buffer overflow on %s.\r\n", {m_name}), 0);
    }
    if (errors.overrun != 0) {
        ReportMessage(FillMessage("Character buffer overrun on %s.\r\n", {m_name}), 0);
    }
    if (errors.parity != 0) ReportMessage(FillMessage("Rx parity error on %s.\r\n", {m_name}), 0);
    return 0;
}

int CTelemComm::Disconnect() {
    if (m_state == kStateUninitialized) {
        ReportMessage("Unable to close serial port communications.\r\n", kCommNotInitialized);
        return kCommNotInitialized;
    }
    if (!m_port_settings) return 0;
    int abort = 0;
    {
        std::lock_guard lock(m_status_lock);
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
    ReportMessage(abort != 0 ? FillMessage("Telemetry acquisition aborted on %s.\r\n", {m_name})
                             : FillMessage("%s disconnection successful.\r\n", {m_name}),
                  abort);
    Notify(kCmdStatusChanged);
    return 0;
}

void CTelemComm::ClosePort() {
    if (m_port && m_port->IsOpen()) {
        if (const int err = m_port->Restore(); err != 0 && !DeviceGone(err)) {
            const std::string text =
                FillMessage("Unable to reset serial port timeouts for %s.\r\n", {m_name});
            errno = err;
            ReportMessage(text, kCommThreadError);
        }
        if (const int err = m_port->Purge(); err != 0 && !DeviceGone(err)) {
            const std::string text =
                FillMessage("Unable to purge serial port buffers for %s.\r\n", {m_name});
            errno = err;
            ReportMessage(text, kCommThreadError);
        }
    }
    std::vector<std::string> headers;
    {
        std::lock_guard lock(m_frame_lock);
        for (const Instrument& inst : m_instruments) headers.push_back(inst.info.header);
    }
    for (const std::string& header : headers) DisableAcquisition(header);
    {
        std::lock_guard lock(m_frame_lock);
        for (Instrument& inst : m_instruments) inst.found = 0;
    }
    m_round = 0;
    m_match_index = -1;
    std::lock_guard lock(m_status_lock);
    if (m_port) m_port->Close();
    m_disconnecting = 0;
    m_connected = 0;
    m_global_sync_done = 0;
    m_waiting_for_telemetry = 1;
    m_quiet = 0;
}

}  // namespace dravik

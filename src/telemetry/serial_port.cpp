// The termios device of a serial port resource.
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

}  // namespace

int Errno() noexcept {
    return errno != 0 ? errno : EIO;
}

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

}  // namespace dravik

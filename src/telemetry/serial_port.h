// A serial device on Linux, owned for the time a serial port resource is
// connected: opened exclusively, configured in raw mode at any baud rate the
// driver accepts, its previous settings put back when it is closed, its line
// error counters read as deltas, and a wake-up event that ends the reader's
// wait at once when the port is disconnected.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace dravik {

struct CSerialSettings;

// Line errors the driver counted since the last look.
struct CLineErrors {
    std::uint32_t framing = 0;
    std::uint32_t breaks = 0;
    std::uint32_t overrun = 0;         // the receiver's character buffer
    std::uint32_t buffer_overrun = 0;  // the driver's input buffer
    std::uint32_t parity = 0;
    bool Any() const noexcept { return framing || breaks || overrun || buffer_overrun || parity; }
};

// 0 when the device opens as a serial port and nobody else holds it,
// otherwise the errno of the failure: EBUSY or EWOULDBLOCK when another
// program holds it, ENOENT when there is no such device, ENOTTY when it is no
// terminal device.
int ProbeSerialPort(const std::string& name);

// The system's text for an error number, without a line end.
std::string SystemErrorText(int err);

// errno, or EIO where a failure left it 0.
int Errno() noexcept;

class CSerialPort {
  public:
    CSerialPort() = default;
    ~CSerialPort();  // restores the saved settings and closes
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // Every operation returns 0 or an errno value.

    // Opens read/write without becoming the controlling terminal and without
    // blocking, then claims the device (TIOCEXCL and an exclusive flock), so
    // that a second open fails however it is made.
    int Open(const std::string& name);
    // Keeps the current settings, put back by Restore.
    int SaveSettings();
    // Raw mode: no echo, no line editing, no character translation, no
    // software or hardware flow control, the receiver on, modem lines
    // ignored; baud rate, byte size, parity and stop bits from the settings;
    // DTR and RTS raised where the device has them. Values out of range give
    // EINVAL before anything is changed; a rate the driver cannot come within
    // 3 % of is refused with EINVAL as well.
    int Configure(const CSerialSettings& settings);
    // The output rate the driver runs at now.
    int CurrentBaudRate(int& baud);
    // Reads return at once with what has arrived: the reader waits in poll.
    int SetReadTimeouts();
    // Drops what is waiting in both directions.
    int Purge();
    // Takes the driver's line error counters as the base of later deltas. A
    // driver that keeps none (a pseudo-terminal) is not an error.
    int StartErrorCounts();
    // Errors counted since the previous call (nothing where the driver keeps
    // no counts).
    int ReadErrorCounts(CLineErrors& delta);
    // The saved settings back and the device released.
    int Restore();
    void Close() noexcept;
    bool IsOpen() const noexcept { return m_fd >= 0; }

    enum class WaitResult { kTimeout, kReadable, kWake, kHangUp, kError };
    // Waits up to `timeout_ms` for input, a hang-up or Wake. kError leaves
    // the reason in errno.
    WaitResult Wait(int timeout_ms);
    // Reads what has arrived: the count, 0 when nothing waits, -1 with errno.
    ssize_t Read(void* buffer, std::size_t size);
    // Ends a Wait of another thread (and the next one, if none is waiting).
    void Wake() noexcept;

  private:
    int m_fd = -1;
    int m_wake = -1;  // eventfd
    bool m_saved_valid = false;
    bool m_counts_supported = false;
    bool m_hung_up = false;  // the last wait saw a hang-up or an error
    std::uint32_t m_last_counts[5] = {};
    // The settings found at open (a struct termios2, kept opaque here so that
    // users of this header may include <termios.h>).
    alignas(8) unsigned char m_saved[64] = {};
};

}  // namespace dravik

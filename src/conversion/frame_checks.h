// The two checks a conversion can run on every frame: the instrument's 8-bit
// frame counter must rise by one from frame to frame, and the frame's bytes up
// to and including its check sum byte must add up to zero modulo 256. Errors
// are counted and logged with the frame's index; they never drop a frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace dravik {

class CFrameData;
class CSensor;

// Frame counter checking: the counter must rise by one from frame to frame,
// wrapping from 255 to 0.
struct CFrameCounterCheck {
    std::uint32_t expected = 0;
    bool resync = true;  // the next value read becomes the reference
    // Checks one counter value; true when it is out of sequence (which makes
    // the next value the new reference).
    bool Check(std::uint32_t value);
};

// The low 8 bits of the sum of the frame's bytes from the first up to and
// including the byte at `offset` (the check sum byte); 0 for a valid frame.
// Bytes beyond the frame are never read.
unsigned CheckSumResidual(std::span<const std::uint8_t> bytes, std::size_t offset);

class CFrameChecks {
  public:
    // Where an error is reported: the conversion log.
    using Log = std::function<void(const std::string& text)>;

    // The sensors of the two checks for one conversion (null: that check is
    // off). Starts afresh: no errors, the next counter is the reference.
    void Start(CSensor* frame_counter, CSensor* check_sum, Log log);

    // Runs the checks on one frame. False when a check's field could not be
    // read (the frame is too short): the frame then takes no part in the
    // subsampling.
    bool Check(const CFrameData& frame, unsigned index);

    // What the check sum column shows for the last frame checked.
    unsigned GetResidual() const noexcept { return m_residual; }
    // The errors of the last frame checked, as a frame record carries them.
    bool CounterErrorInFrame() const noexcept { return m_counter_error_now; }
    bool CheckSumErrorInFrame() const noexcept { return m_check_sum_error_now; }
    unsigned GetCounterErrors() const noexcept { return m_counter_errors; }
    unsigned GetCheckSumErrors() const noexcept { return m_check_sum_errors; }

  private:
    void Report(const char* what, unsigned index);

    CSensor* m_frame_counter = nullptr;
    CSensor* m_check_sum = nullptr;
    Log m_log;
    CFrameCounterCheck m_counter;
    unsigned m_residual = 0;
    unsigned m_counter_errors = 0;
    unsigned m_check_sum_errors = 0;
    bool m_counter_error_now = false;
    bool m_check_sum_error_now = false;
};

}  // namespace dravik

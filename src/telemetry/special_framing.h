// Instruments of other makers that send no synchronization string. Each kind
// finds the start of its frame by its own rule; two of them (BSI and
// HOBILABS_HS2_D) send binary or hex-coded frames that are converted into a
// frame beginning with the instrument's header, so that the rest of the
// program reads them like any other frame. They only come with serial ports,
// and only one such instrument is attached to a port.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/frame_data.h"
#include "telemetry/byte_queue.h"

namespace dravik {

class CSpecialFraming {
  public:
    // Sets up the converted frame of the instrument's kind; false for a BSI
    // instrument whose synchronization bytes are not pairs.
    bool Prepare(const CFrameInfo& info);
    // Drops from the head of `queue` what cannot start the instrument's frame
    // and returns how many bytes that was; `matched` when its frame starts at
    // the head (a text line then begins with `header`).
    std::size_t Search(CByteQueue& queue, const CFrameInfo& info, const std::string& header,
                       bool& matched);
    // Whether the kind's raw frames are converted (BSI, HOBILABS_HS2_D).
    static bool Converts(const CFrameInfo& info) noexcept;
    // Converts the raw frame at the head of `queue`, which it consumes; the
    // converted frame is valid until the next conversion. Empty while too
    // few bytes are queued.
    std::span<const std::uint8_t> Convert(CByteQueue& queue, const CFrameInfo& info);

  private:
    std::size_t SearchTerminator(CByteQueue& queue, const std::string& header,
                                 const std::string& terminator, bool& matched);
    std::size_t SearchBsi(CByteQueue& queue, const std::uint8_t* sync_bytes, bool& matched);
    std::size_t SearchHobilabs(CByteQueue& queue, bool& matched);
    std::span<const std::uint8_t> ConvertBsi(CByteQueue& queue, const CFrameInfo& info);
    std::span<const std::uint8_t> ConvertHobilabs(CByteQueue& queue, const CFrameInfo& info);

    std::vector<std::uint8_t> m_synthetic_frame;
    std::size_t m_bsi_raw_length = 0;
};

}  // namespace dravik

// Frame records: what the telemetry layer knows about one attached instrument
// (CFrameInfo), and one cut frame handed to the conversion engine (CFrameData).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace dravik {

// When a frame was taken: local time as seconds since 1970 with milliseconds,
// the time zone as minutes west of UTC and the daylight-saving flag.
struct CFrameTime {
    // Now, as a frame taken now is stamped.
    static CFrameTime Now();

    std::int64_t seconds = 0;
    std::uint16_t milliseconds = 0;
    std::int16_t minutes_west = 0;
    std::int16_t daylight = 0;
};

class CFrameInfo {
  public:
    static constexpr int kMaxSyncBytes = 12;

    CFrameInfo() = default;
    CFrameInfo(const CFrameInfo& other) { *this = other; }
    CFrameInfo& operator=(const CFrameInfo& other);

    std::string resource_name;
    std::string header;
    std::string terminator;    // empty for a fixed frame
    std::string special_kind;  // empty, "BSI", "HOBILABS_HS2_D", ...
    std::uint8_t sync_bytes[kMaxSyncBytes] = {};
    int sync_byte_count = 0;
    int frame_size = 0;  // the larger of the instrument's frame size and the header length
    int frame_counter =
        0;  // frames taken for this instrument on this resource; the first carries 1
    int acquisition_enabled = 0;
    int chained = 0;  // taken right after another frame without a new header search
    CFrameTime time_stamp;
};

class CFrameData {
  public:
    CFrameData(std::string_view bytes, const CFrameInfo& info) : m_bytes(bytes), m_info(info) {}
    CFrameData(std::string&& bytes, const CFrameInfo& info)
        : m_bytes(std::move(bytes)), m_info(info) {}
    CFrameData(const CFrameData&) = default;
    CFrameData& operator=(const CFrameData&) = default;

    // The frame's index: 1 for the first frame of its instrument on its resource.
    int GetFrameCounter() const noexcept { return m_info.frame_counter; }
    // A variable frame's length is its byte count; a fixed frame's is its frame size.
    int GetFrameLength() const noexcept {
        return m_info.terminator.empty() ? m_info.frame_size : static_cast<int>(m_bytes.size());
    }
    // The frame's bytes. The bytes and the text are one buffer: every byte,
    // zero bytes included, is one character of the text.
    std::span<const std::uint8_t> GetBytes() const noexcept {
        return {reinterpret_cast<const std::uint8_t*>(m_bytes.data()), m_bytes.size()};
    }
    const std::string& GetText() const noexcept { return m_bytes; }
    const CFrameInfo& GetInfo() const noexcept { return m_info; }

    // The bytes that followed the frame in its stream (a logger writes a
    // 7-byte time tag there), with the stream offset of the first of them,
    // so that a reader need not read them again: kFollowingBytes of them,
    // fewer only where the stream ended. A frame of no stream knows none.
    static constexpr std::size_t kFollowingBytes = 7;
    void SetFollowingBytes(std::span<const std::uint8_t> bytes, std::uint64_t offset) noexcept;
    // The stream could not be read behind the frame: the file error cause.
    void SetFollowingReadError(int cause) noexcept;
    // The bytes known to follow the frame from `offset` on; false when they
    // are not known there.
    bool GetFollowingBytes(std::uint64_t offset,
                           std::span<const std::uint8_t>& bytes) const noexcept {
        if (!m_following_known || offset != m_following_offset) return false;
        bytes = {m_following, m_following_count};
        return true;
    }
    // The file error cause that kept the following bytes unknown, or 0.
    int GetFollowingReadError() const noexcept { return m_following_error; }

  private:
    std::string m_bytes;
    CFrameInfo m_info;
    std::uint64_t m_following_offset = 0;
    std::uint8_t m_following[kFollowingBytes] = {};
    std::uint8_t m_following_count = 0;
    bool m_following_known = false;
    int m_following_error = 0;
};

}  // namespace dravik

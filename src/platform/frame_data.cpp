#include "platform/frame_data.h"

#include <sys/time.h>

#include <algorithm>
#include <cstring>
#include <ctime>

namespace dravik {

CFrameTime CFrameTime::Now() {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    // The zone only changes on the second: the broken-down time is worked out
    // once per second, not once per frame.
    thread_local std::time_t cached_second = -1;
    thread_local std::int16_t cached_west = 0;
    thread_local std::int16_t cached_daylight = 0;
    if (tv.tv_sec != cached_second) {
        std::tm local{};
        std::time_t now = tv.tv_sec;
        localtime_r(&now, &local);
        const long dst_shift = local.tm_isdst > 0 ? 3600 : 0;
        cached_west = static_cast<std::int16_t>(-(local.tm_gmtoff - dst_shift) / 60);
        cached_daylight = static_cast<std::int16_t>(local.tm_isdst > 0 ? 1 : 0);
        cached_second = tv.tv_sec;
    }
    CFrameTime t;
    t.seconds = tv.tv_sec;
    t.milliseconds = static_cast<std::uint16_t>(tv.tv_usec / 1000);
    t.minutes_west = cached_west;
    t.daylight = cached_daylight;
    return t;
}

CFrameInfo& CFrameInfo::operator=(const CFrameInfo& other) {
    if (this == &other) return *this;
    resource_name = other.resource_name;
    header = other.header;
    terminator = other.terminator;
    special_kind = other.special_kind;
    sync_byte_count = other.sync_byte_count;
    // Only the synchronization bytes in use are copied.
    int n = std::clamp(other.sync_byte_count, 0, kMaxSyncBytes);
    std::memset(sync_bytes, 0, sizeof sync_bytes);
    std::memcpy(sync_bytes, other.sync_bytes, static_cast<std::size_t>(n));
    frame_size = other.frame_size;
    frame_counter = other.frame_counter;
    acquisition_enabled = other.acquisition_enabled;
    chained = other.chained;
    time_stamp = other.time_stamp;
    return *this;
}

void CFrameData::SetFollowingBytes(std::span<const std::uint8_t> bytes,
                                   std::uint64_t offset) noexcept {
    const std::size_t count = std::min(bytes.size(), kFollowingBytes);
    if (count > 0) std::memcpy(m_following, bytes.data(), count);
    m_following_count = static_cast<std::uint8_t>(count);
    m_following_offset = offset;
    m_following_known = true;
    m_following_error = 0;
}

void CFrameData::SetFollowingReadError(int cause) noexcept {
    m_following_count = 0;
    m_following_known = false;
    m_following_error = cause;
}

}  // namespace dravik

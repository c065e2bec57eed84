#include "platform/frame_data.h"

#include <algorithm>
#include <cstring>

namespace dravik {

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

void CFrameData::SetFollowingBytes(std::span<const std::uint8_t> bytes, std::uint64_t offset,
                                   bool complete) noexcept {
    const std::size_t count = std::min(bytes.size(), kFollowingBytes);
    if (count > 0) std::memcpy(m_following, bytes.data(), count);
    m_following_count = static_cast<std::uint8_t>(count);
    m_following_offset = offset;
    m_following_complete = complete || count == kFollowingBytes;
}

}  // namespace dravik

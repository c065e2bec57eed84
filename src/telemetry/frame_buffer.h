// The frames a resource has cut and nobody has taken yet, oldest first.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <utility>

#include "platform/frame_data.h"

namespace dravik {

// Bounded by a maximum depth: a frame taken while more than that many are
// held drops the oldest one first, so at most depth + 1 are held. A serial
// port fills it faster than a slow consumer empties it; a file resource,
// asked for one frame at a time, never reaches the bound.
class CFrameBuffer {
  public:
    void SetMaxDepth(int depth) noexcept {
        if (depth > 0) m_max_depth = static_cast<std::size_t>(depth);
    }
    bool Full() const noexcept { return m_frames.size() > m_max_depth; }
    // Drops the oldest frame; returns its length.
    int DropOldest() {
        const int length = m_frames.front()->GetFrameLength();
        m_frames.pop_front();
        return length;
    }
    CFrameData& Push(std::unique_ptr<CFrameData> frame) {
        m_frames.push_back(std::move(frame));
        m_added = true;
        return *m_frames.back();
    }
    std::unique_ptr<CFrameData> Pop() {
        if (m_frames.empty()) return nullptr;
        std::unique_ptr<CFrameData> frame = std::move(m_frames.front());
        m_frames.pop_front();
        return frame;
    }
    bool empty() const noexcept { return m_frames.empty(); }
    // Whether a frame was pushed since the last call.
    bool TakeAdded() noexcept { return std::exchange(m_added, false); }

  private:
    std::deque<std::unique_ptr<CFrameData>> m_frames;
    std::size_t m_max_depth = 200;
    bool m_added = false;
};

}  // namespace dravik

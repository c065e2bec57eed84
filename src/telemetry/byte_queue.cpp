#include "telemetry/byte_queue.h"

#include <algorithm>
#include <cstring>

namespace dravik {

std::uint8_t* CByteQueue::Reserve(std::size_t count) {
    if (m_tail + count > m_buf.size()) {
        // Reclaim the consumed front before growing.
        const std::size_t live = size();
        if (m_head > 0) {
            if (live > 0) std::memmove(m_buf.data(), m_buf.data() + m_head, live);
            m_head = 0;
            m_tail = live;
        }
        if (m_tail + count > m_buf.size()) {
            m_buf.resize(std::max(m_tail + count, m_buf.size() * 2));
        }
    }
    return m_buf.data() + m_tail;
}

void CByteQueue::Append(const std::uint8_t* bytes, std::size_t count) {
    if (count == 0) return;
    std::memcpy(Reserve(count), bytes, count);
    Commit(count);
}

std::size_t CByteQueue::Consume(std::size_t count) noexcept {
    const std::size_t n = std::min(count, size());
    m_head += n;
    m_consumed += n;
    if (m_head == m_tail) m_head = m_tail = 0;
    return n;
}

void CByteQueue::Erase(std::size_t index) noexcept {
    if (index >= size()) return;
    if (index == 0) {
        Consume(1);
        return;
    }
    std::uint8_t* at = m_buf.data() + m_head + index;
    std::memmove(at, at + 1, size() - index - 1);
    --m_tail;
}

void CByteQueue::Prepend(const std::uint8_t* bytes, std::size_t count) {
    if (count == 0) return;
    if (m_head < count) {
        // Make room in front: move the live bytes up by the missing amount.
        const std::size_t live = size();
        const std::size_t shift = count - m_head;
        if (m_tail + shift > m_buf.size()) m_buf.resize(m_tail + shift);
        if (live > 0) std::memmove(m_buf.data() + m_head + shift, m_buf.data() + m_head, live);
        m_head += shift;
        m_tail += shift;
    }
    m_head -= count;
    std::memcpy(m_buf.data() + m_head, bytes, count);
}

}  // namespace dravik

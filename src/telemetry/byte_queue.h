// Raw telemetry waiting to be cut into frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace dravik {

// Bytes are appended at the tail and consumed at the head; they stay
// contiguous so that searches run over plain memory and a frame is copied in
// one piece. The consumed space at the front is reclaimed when the buffer
// would otherwise have to grow.
class CByteQueue {
  public:
    std::size_t size() const noexcept { return m_tail - m_head; }
    bool empty() const noexcept { return m_tail == m_head; }
    const std::uint8_t* data() const noexcept { return m_buf.data() + m_head; }
    std::uint8_t operator[](std::size_t i) const noexcept { return m_buf[m_head + i]; }

    void Append(const std::uint8_t* bytes, std::size_t count);
    // Room for `count` more bytes behind the queued ones, valid until the next
    // change of the queue; Commit makes the first `used` of them queued bytes.
    std::uint8_t* Reserve(std::size_t count);
    void Commit(std::size_t used) noexcept { m_tail += used; }
    // Removes up to `count` bytes from the head; returns how many were removed.
    std::size_t Consume(std::size_t count) noexcept;
    // Removes the byte at `index`. Erase and Prepend serve the searches of
    // instruments without synchronization strings, whose text lines never
    // reach the longest-frame limit that Offset() marks positions for.
    void Erase(std::size_t index) noexcept;
    // Puts bytes in front of the head.
    void Prepend(const std::uint8_t* bytes, std::size_t count);
    // Removes everything; returns how many bytes that was.
    std::size_t Clear() noexcept {
        const std::size_t n = size();
        m_consumed += n;
        m_head = m_tail = 0;
        return n;
    }
    // Bytes consumed since the queue was made: the stream offset of the head.
    std::uint64_t Offset() const noexcept { return m_consumed; }

  private:
    std::vector<std::uint8_t> m_buf;
    std::size_t m_head = 0;
    std::size_t m_tail = 0;
    std::uint64_t m_consumed = 0;
};

}  // namespace dravik

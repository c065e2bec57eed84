#include "telemetry/special_framing.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace dravik {

namespace {

constexpr const char* kBsi = "BSI";
constexpr const char* kHobilabs = "HOBILABS_HS2_D";

// A converted HOBILABS_HS2_D frame: 32 bytes of values, CR LF and one zero
// byte after the header; the raw frame is 62 ASCII bytes.
constexpr std::size_t kHobilabsTail = 35;
constexpr std::size_t kHobilabsRaw = 62;

// A text line longer than this without its terminator is not telemetry any
// instrument sends: the bytes are dropped (and counted) instead of being kept
// and scanned again on every read for ever.
constexpr std::size_t kMaxUnterminatedLine = 65536;

void PutBigEndian(std::uint8_t* out, std::uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) {
        out[i] = static_cast<std::uint8_t>(value);
        value >>= 8;
    }
}

// The value of `length` characters as the unsigned base-16 conversion of
// the C library reads them: as far as they convert, 0 without a digit.
unsigned long HexField(const std::uint8_t* text, std::size_t length) {
    char field[9] = {};
    std::memcpy(field, text, length);
    return std::strtoul(field, nullptr, 16);
}

// Index of the first `first` followed by `second`, or `size` when none.
std::size_t FindPair(const CByteQueue& queue, std::uint8_t first, std::uint8_t second) {
    const std::size_t size = queue.size();
    const std::uint8_t* data = queue.data();
    for (std::size_t i = 0; i + 1 < size; ++i) {
        const void* hit = std::memchr(data + i, first, size - 1 - i);
        if (hit == nullptr) break;
        i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - data);
        if (data[i + 1] == second) return i;
    }
    return size;
}

// When the pair was not found, everything but a trailing first byte (which
// may begin the pair in the next bytes) is dropped.
std::size_t DropUnpaired(CByteQueue& queue, std::uint8_t first) {
    const std::size_t size = queue.size();
    const std::size_t keep = size > 0 && queue[size - 1] == first ? 1 : 0;
    return queue.Consume(size - keep);
}

}  // namespace

bool CSpecialFraming::Prepare(const CFrameInfo& info) {
    if (info.special_kind == kBsi) {
        if (info.sync_byte_count <= 0 || info.sync_byte_count % 2 != 0) return false;
        m_bsi_raw_length = 0;
        for (int p = 0; p + 1 < info.sync_byte_count; p += 2) {
            m_bsi_raw_length += 2 * static_cast<std::size_t>(info.sync_bytes[p + 1]) + 3;
        }
        m_synthetic_frame.assign(static_cast<std::size_t>(info.frame_size), 0);
    } else if (info.special_kind == kHobilabs) {
        m_synthetic_frame.assign(info.header.size() + kHobilabsTail, 0);
    } else {
        return true;
    }
    std::memcpy(m_synthetic_frame.data(), info.header.data(),
                std::min(info.header.size(), m_synthetic_frame.size()));
    return true;
}

bool CSpecialFraming::Converts(const CFrameInfo& info) noexcept {
    return info.special_kind == kBsi || info.special_kind == kHobilabs;
}

std::size_t CSpecialFraming::Search(CByteQueue& queue, const CFrameInfo& info,
                                    const std::string& header, bool& matched) {
    matched = false;
    if (info.special_kind == kBsi) return SearchBsi(queue, info.sync_bytes, matched);
    if (info.special_kind == kHobilabs) return SearchHobilabs(queue, matched);
    return SearchTerminator(queue, header, info.terminator, matched);
}

std::span<const std::uint8_t> CSpecialFraming::Convert(CByteQueue& queue, const CFrameInfo& info) {
    return info.special_kind == kBsi ? ConvertBsi(queue, info) : ConvertHobilabs(queue, info);
}

std::size_t CSpecialFraming::SearchTerminator(CByteQueue& queue, const std::string& header,
                                              const std::string& term, bool& matched) {
    if ((header.empty() && term.empty()) || queue.empty()) return 0;
    if (term.empty()) {
        // Nothing can end a line: no frame will ever be cut from these bytes.
        return queue.Consume(queue.size());
    }
    std::size_t removed = 0;
    std::size_t k = 0;
    std::size_t i = 0;
    while (i < queue.size()) {
        const std::uint8_t b = queue[i];
        if (b >= 0x80) {
            // Text telemetry is 7-bit; a byte above that is line noise. The
            // partial terminator match survives it.
            queue.Erase(i);
            ++removed;
            if (i == 0) break;
            continue;
        }
        if (b == static_cast<std::uint8_t>(term[k])) {
            if (++k == term.size()) {
                matched = true;
                break;
            }
        } else {
            k = 0;
        }
        ++i;
    }
    if (matched) {
        // The line then reads like an ordinary variable frame: header, line,
        // terminator.
        queue.Prepend(reinterpret_cast<const std::uint8_t*>(header.data()), header.size());
    } else if (queue.size() > kMaxUnterminatedLine) {
        removed += queue.Consume(queue.size() - k);
    }
    return removed;
}

std::size_t CSpecialFraming::SearchBsi(CByteQueue& queue, const std::uint8_t* sync, bool& matched) {
    const std::uint8_t s0 = sync[0];
    const std::uint8_t s1 = sync[1];
    const std::size_t checked = 2 * static_cast<std::size_t>(s1) + 2;
    std::size_t removed = 0;
    while (!matched && !queue.empty()) {
        const std::size_t at = FindPair(queue, s0, s1);
        if (at == queue.size()) {
            removed += DropUnpaired(queue, s0);
            break;
        }
        removed += queue.Consume(at);
        // The first segment's check byte is the sum of the bytes before it.
        if (queue.size() < checked + 1) break;
        unsigned sum = 0;
        for (std::size_t j = 0; j < checked; ++j) sum += queue[j];
        if ((sum & 0xFF) == queue[checked]) {
            matched = true;
        } else {
            removed += queue.Consume(1);
        }
    }
    return removed;
}

std::size_t CSpecialFraming::SearchHobilabs(CByteQueue& queue, bool& matched) {
    const std::size_t at = FindPair(queue, '*', 'D');
    if (at == queue.size()) return DropUnpaired(queue, '*');
    matched = true;
    return queue.Consume(at);
}

std::span<const std::uint8_t> CSpecialFraming::ConvertBsi(CByteQueue& queue,
                                                          const CFrameInfo& info) {
    // Bits 13 and 14 of a value word choose its scale; 11 chooses none, and
    // the frame's previous value is written again.
    static constexpr double kScale[3] = {10.0 / 4096, 10.0 / 65536, 10.0 / 1048576};
    if (queue.size() < m_bsi_raw_length) return {};
    std::uint8_t* out = m_synthetic_frame.data();
    const std::size_t size = m_synthetic_frame.size();
    const std::size_t header = std::min(info.header.size(), size);
    std::size_t pos = header;
    float value = 0.0f;
    for (int p = 0; p + 1 < info.sync_byte_count; p += 2) {
        const int count = info.sync_bytes[p + 1];
        queue.Consume(2);  // synchronization and count bytes
        for (int v = 0; v < count; ++v) {
            const unsigned word = static_cast<unsigned>(queue[0]) << 8 | queue[1];
            queue.Consume(2);
            const unsigned range = (word >> 13) & 3;
            if (range != 3) {
                int raw = static_cast<int>(word & 0x1FFF);
                if (raw & 0x1000) raw -= 0x2000;  // 13-bit two's complement
                value = static_cast<float>(raw * kScale[range]);
            }
            if (pos + 6 <= size) {
                std::uint32_t bits = 0;
                std::memcpy(&bits, &value, sizeof bits);
                PutBigEndian(out + pos, bits, 4);
                pos += 4;
            }
        }
        queue.Consume(1);  // check byte
    }
    if (header + 2 <= size) {
        std::memset(out + pos, 0, size - 2 - pos);
        out[size - 2] = '\r';
        out[size - 1] = '\n';
    }
    return {out, size};
}

std::span<const std::uint8_t> CSpecialFraming::ConvertHobilabs(CByteQueue& queue,
                                                               const CFrameInfo& info) {
    if (queue.size() < kHobilabsRaw) return {};
    const std::uint8_t* raw = queue.data();
    std::uint8_t* out = m_synthetic_frame.data() + info.header.size();
    // "*D", then the hex fields: one of 8 digits, eight of 4, eight of 1,
    // one of 4, two of 2; the last 4 bytes are not used.
    std::size_t at = 2;
    auto field = [&](std::size_t digits, int bytes) {
        PutBigEndian(out, static_cast<std::uint32_t>(HexField(raw + at, digits)), bytes);
        out += bytes;
        at += digits;
    };
    field(8, 4);
    for (int i = 0; i < 8; ++i) field(4, 2);
    for (int i = 0; i < 8; ++i) field(1, 1);
    field(4, 2);
    field(2, 1);
    field(2, 1);
    out[0] = '\r';
    out[1] = '\n';
    queue.Consume(kHobilabsRaw);
    return {m_synthetic_frame.data(), m_synthetic_frame.size()};
}

}  // namespace dravik

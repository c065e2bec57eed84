// Instruments of other makers that send no synchronization string. Each kind
// finds the start of its frame by its own rule; two of them (BSI and
// HOBILABS_HS2_D) send binary or hex-coded frames that are converted into a
// frame beginning with the instrument's header, so that the rest of the
// program reads them like any other frame. They only come with serial ports,
// and only one such instrument is attached to a port.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/text.h"
#include "telemetry/telem_comm.h"

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

int CTelemComm::PrepareNoSync(CFrameInfo& info) {
    std::lock_guard lock(m_frame_lock);
    if (info.special_kind == kBsi) {
        if (info.sync_byte_count <= 0 || info.sync_byte_count % 2 != 0) {
            ReportMessage(FillMessage("Unable to attach %s to %s.\r\n", {info.header, m_name}),
                          kCommBsiSyncCount);
            return kCommBsiSyncCount;
        }
        m_bsi_raw_length = 0;
        for (int p = 0; p + 1 < info.sync_byte_count; p += 2) {
            m_bsi_raw_length += 2 * info.sync_bytes[p + 1] + 3;
        }
        m_synthetic_frame.assign(static_cast<std::size_t>(info.frame_size), 0);
    } else if (info.special_kind == kHobilabs) {
        m_synthetic_frame.assign(info.header.size() + kHobilabsTail, 0);
    } else {
        return 0;
    }
    std::memcpy(m_synthetic_frame.data(), info.header.data(),
                std::min(info.header.size(), m_synthetic_frame.size()));
    return 0;
}

std::size_t CTelemComm::SearchNoSync() {
    // The instrument list only changes under the frame lock; the search is
    // short, so the lock is held for it rather than copying the record.
    std::lock_guard lock(m_frame_lock);
    if (m_instruments.empty()) return 0;
    const CFrameInfo& info = m_instruments.front().info;
    if (info.special_kind == kBsi) return SearchBsi(info.sync_bytes);
    if (info.special_kind == kHobilabs) return SearchHobilabs();
    const std::string& header = m_candidates.empty() ? info.header : m_candidates.front();
    return SearchTerminator(header, info.terminator);
}

int CTelemComm::ConvertSpecialFrame(const std::string& kind) {
    return kind == kBsi ? ConvertBsiFrame() : ConvertHobilabsFrame();
}

std::size_t CTelemComm::SearchTerminator(const std::string& header, const std::string& term) {
    if ((header.empty() && term.empty()) || m_queue.empty()) return 0;
    std::size_t removed = 0;
    if (term.empty()) {
        // Nothing can end a line: no frame will ever be cut from these bytes.
        removed = m_queue.Consume(m_queue.size());
        return removed;
    }
    std::size_t k = 0;
    std::size_t i = 0;
    while (i < m_queue.size()) {
        const std::uint8_t b = m_queue[i];
        if (b >= 0x80) {
            // Text telemetry is 7-bit; a byte above that is line noise. The
            // partial terminator match survives it.
            m_queue.Erase(i);
            ++removed;
            if (i == 0) break;
            continue;
        }
        if (b == static_cast<std::uint8_t>(term[k])) {
            if (++k == term.size()) {
                m_match_index = 0;
                break;
            }
        } else {
            k = 0;
        }
        ++i;
    }
    if (m_match_index != -1) {
        // The line then reads like an ordinary variable frame: header, line,
        // terminator.
        m_queue.Prepend(reinterpret_cast<const std::uint8_t*>(header.data()), header.size());
    } else if (m_queue.size() > kMaxUnterminatedLine) {
        removed += m_queue.Consume(m_queue.size() - k);
    }
    return removed;
}

std::size_t CTelemComm::SearchBsi(const std::uint8_t* sync) {
    const std::uint8_t s0 = sync[0];
    const std::uint8_t s1 = sync[1];
    const std::size_t checked = 2 * static_cast<std::size_t>(s1) + 2;
    std::size_t removed = 0;
    while (m_match_index == -1 && !m_queue.empty()) {
        const std::size_t at = FindPair(m_queue, s0, s1);
        if (at == m_queue.size()) {
            removed += DropUnpaired(m_queue, s0);
            break;
        }
        removed += m_queue.Consume(at);
        // The first segment's check byte is the sum of the bytes before it.
        if (m_queue.size() < checked + 1) break;
        unsigned sum = 0;
        for (std::size_t j = 0; j < checked; ++j) sum += m_queue[j];
        if ((sum & 0xFF) == m_queue[checked]) {
            m_match_index = 0;
        } else {
            removed += m_queue.Consume(1);
        }
    }
    return removed;
}

std::size_t CTelemComm::SearchHobilabs() {
    const std::size_t at = FindPair(m_queue, '*', 'D');
    if (at == m_queue.size()) return DropUnpaired(m_queue, '*');
    m_match_index = 0;
    return m_queue.Consume(at);
}

int CTelemComm::ConvertBsiFrame() {
    // Bits 13 and 14 of a value word choose its scale; 11 chooses none, and
    // the frame's previous value is written again.
    static constexpr double kScale[3] = {10.0 / 4096, 10.0 / 65536, 10.0 / 1048576};
    int logged = 0;
    {
        std::lock_guard lock(m_frame_lock);
        const int index = m_match_index;
        if (m_queue.size() < static_cast<std::size_t>(m_bsi_raw_length) || index < 0 ||
            static_cast<std::size_t>(index) >= m_instruments.size()) {
            return 0;
        }
        Instrument& inst = m_instruments[index];
        const CFrameInfo& info = inst.info;
        std::uint8_t* out = m_synthetic_frame.data();
        const std::size_t size = m_synthetic_frame.size();
        const std::size_t header = std::min(info.header.size(), size);
        std::size_t pos = header;
        float value = 0.0f;
        for (int p = 0; p + 1 < info.sync_byte_count; p += 2) {
            const int count = info.sync_bytes[p + 1];
            m_queue.Consume(2);  // synchronization and count bytes
            for (int v = 0; v < count; ++v) {
                const unsigned word = static_cast<unsigned>(m_queue[0]) << 8 | m_queue[1];
                m_queue.Consume(2);
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
            m_queue.Consume(1);  // check byte
        }
        if (header + 2 <= size) {
            std::memset(out + pos, 0, size - 2 - pos);
            out[size - 2] = '\r';
            out[size - 1] = '\n';
        }
        logged = TakeFrame(inst, std::string_view(reinterpret_cast<const char*>(out), size), false);
        m_match_index = -1;
    }
    if (logged != 0 && m_state == kStateSerialOwned) Notify(kCmdStatusChanged);
    return 1;
}

int CTelemComm::ConvertHobilabsFrame() {
    int logged = 0;
    {
        std::lock_guard lock(m_frame_lock);
        const int index = m_match_index;
        if (m_queue.size() < kHobilabsRaw || index < 0 ||
            static_cast<std::size_t>(index) >= m_instruments.size()) {
            return 0;
        }
        Instrument& inst = m_instruments[index];
        const std::uint8_t* raw = m_queue.data();
        std::uint8_t* out = m_synthetic_frame.data() + inst.info.header.size();
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
        m_queue.Consume(kHobilabsRaw);
        logged = TakeFrame(inst,
                           std::string_view(reinterpret_cast<const char*>(m_synthetic_frame.data()),
                                            m_synthetic_frame.size()),
                           false);
        m_match_index = -1;
    }
    if (logged != 0 && m_state == kStateSerialOwned) Notify(kCmdStatusChanged);
    return 1;
}

}  // namespace dravik

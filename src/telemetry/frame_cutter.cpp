#include "telemetry/frame_cutter.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

namespace dravik {

namespace {

bool StartsWith(std::span<const std::uint8_t> bytes, const std::string& prefix) {
    return bytes.size() >= prefix.size() &&
           std::memcmp(bytes.data(), prefix.data(), prefix.size()) == 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Instruments

int CFrameCutter::Find(const std::string& header) const noexcept {
    for (std::size_t i = 0; i < m_instruments.size(); ++i) {
        if (m_instruments[i].info.header == header) return static_cast<int>(i);
    }
    return -1;
}

void CFrameCutter::Add(CFrameInfo info) {
    // A frame of no bytes would consume nothing and be cut again forever.
    info.frame_size = std::max({info.frame_size, static_cast<int>(info.header.size()), 1});
    m_instruments.push_back(CAttachedInstrument{std::move(info), 0});
}

void CFrameCutter::Remove(std::size_t index) {
    if (index >= m_instruments.size()) return;
    m_instruments.erase(m_instruments.begin() + static_cast<std::ptrdiff_t>(index));
    // The match is an attachment index: it moves with the list.
    const int match = m_match.load();
    if (match > static_cast<int>(index)) m_match = match - 1;
}

bool CFrameCutter::SetEnabled(std::size_t index, bool enabled) noexcept {
    CFrameInfo& info = m_instruments[index].info;
    if ((info.acquisition_enabled != 0) == enabled) return false;
    info.acquisition_enabled = enabled ? 1 : 0;
    if (!enabled && m_match == static_cast<int>(index)) m_match = -1;
    return true;
}

// ---------------------------------------------------------------------------
// Header search

std::size_t CFrameCutter::LookForEnabled() {
    m_candidates.clear();
    for (const CAttachedInstrument& inst : m_instruments) {
        if (inst.info.acquisition_enabled) m_candidates.push_back(inst.info.header);
    }
    return m_candidates.size();
}

void CFrameCutter::LookFor(const std::string& text) {
    m_candidates.assign(1, text);
}

CFrameCutter::Step CFrameCutter::SearchHeaders(bool global) {
    const std::vector<std::string>& cand = m_candidates;
    const std::size_t n = cand.size();
    std::size_t i = 0;      // the byte being examined; every byte before it was consumed
    std::size_t start = 0;  // where the partial match began
    std::size_t c = 0;      // current candidate
    std::size_t k = 0;      // bytes of cand[c] matched so far
    bool resumed = m_scan.active;
    if (resumed) {
        // The reader has fed what it could: the scan goes on at the byte it
        // stopped before.
        i = m_scan.i;
        start = m_scan.start;
        c = m_scan.c;
        k = m_scan.k;
        m_scan.active = false;
    } else {
        if (m_queue.empty()) {
            if (m_pulled && !m_scan.asked_empty) {
                m_scan.asked_empty = true;
                return Step::kNeedBytes;
            }
            m_scan.asked_empty = false;
            if (m_queue.empty() || !m_pulled) return Step::kNoMatch;
        }
        m_scan.asked_empty = false;
        if (m_match != -1) return Step::kNoMatch;
        // m_uniform[c]: the one first byte shared by candidates c..n-1, or
        // -1. Where there is one, unmatched bytes are skipped with memchr.
        m_uniform.resize(n);
        for (std::size_t j = n; j-- > 0;) {
            const int first = cand[j].empty() ? -1 : static_cast<std::uint8_t>(cand[j][0]);
            if (first < 0) {
                m_uniform[j] = -1;
            } else if (j + 1 == n) {
                m_uniform[j] = first;
            } else {
                m_uniform[j] = m_uniform[j + 1] == first ? first : -1;
            }
        }
    }

    bool matched = false;
    for (;;) {
        if (!resumed) {
            if (k == 0 && m_uniform[c] >= 0) {
                // Bytes that are neither the last queued one (which a pulled
                // cutter reads on from) nor at the scan limit can be skipped
                // in one go.
                const std::size_t skip_end = std::min(m_queue.size() - 1, m_scan_limit - 1);
                if (i < skip_end) {
                    const void* hit = std::memchr(m_queue.data() + i, m_uniform[c], skip_end - i);
                    i = hit != nullptr ? static_cast<std::size_t>(
                                             static_cast<const std::uint8_t*>(hit) - m_queue.data())
                                       : skip_end;
                }
            }
            // Reaching the last queued byte, a pulled cutter asks for more so
            // that a header split between two chunks is seen whole.
            if (m_pulled && i + 1 >= m_queue.size()) {
                m_scan = HeaderScan{true, false, i, start, c, k};
                return Step::kNeedBytes;
            }
        }
        resumed = false;
        const std::uint8_t b = m_queue[i];
        bool try_first = k == 0;
        if (k > 0) {
            if (b == static_cast<std::uint8_t>(cand[c][k])) {
                if (k + 1 == cand[c].size()) {
                    matched = true;
                } else {
                    ++k;
                }
            } else if (c + 1 < n) {
                // Later candidates get their chance from where this one began.
                ++c;
                k = 0;
                i = start;
                continue;
            } else {
                c = 0;
                k = 0;
                try_first = true;
            }
        }
        if (try_first) {
            std::size_t j = c;
            while (j < n && !cand[j].empty() && static_cast<std::uint8_t>(cand[j][0]) != b) ++j;
            if (j < n) {
                c = j;
                start = i;
                if (cand[c].size() <= 1) {
                    matched = true;  // an empty header matches wherever it is tried
                } else {
                    k = 1;
                }
            }
        }
        if (matched) break;
        // A search ends at the scan limit even inside a partial match, which
        // then opens the queue for the next search: a long run of
        // near-headers ("RADPRF000RADPRF000...") is dropped a scan limit at a
        // time instead of being kept whole. Only a partial match that began at
        // the head goes on, for at most a header's length.
        if (i + 1 >= m_scan_limit && (k == 0 || start > 0)) break;
        if (i + 1 >= m_queue.size()) break;
        ++i;
    }

    if (matched) {
        if (global) {
            m_match = 0;
            return Step::kMatched;
        }
        m_matched = c;
        m_discarded += static_cast<std::int64_t>(m_queue.Consume(start));
        return Step::kMatched;
    }
    if (global) return Step::kNoMatch;
    // A partial match keeps its bytes for the next search, which will see the
    // rest of the header; the bytes before it can start no header any more.
    m_discarded += static_cast<std::int64_t>(m_queue.Consume(k == 0 ? i + 1 : start));
    return Step::kNoMatch;
}

void CFrameCutter::MatchCandidate() {
    m_match = Find(m_candidates[m_matched]);
}

// ---------------------------------------------------------------------------
// Frame extraction

CFrameCutter::Step CFrameCutter::Extract() {
    Extraction& x = m_extraction;
    if (!x.active) {
        const int index = m_match;
        if (index < 0 || static_cast<std::size_t>(index) >= m_instruments.size()) {
            return Step::kWait;
        }
        x = Extraction{};
        x.active = true;
        x.index = index;
    }
    for (;;) {
        const CFrameInfo& info = m_instruments[static_cast<std::size_t>(x.index)].info;
        const std::size_t frame_size = static_cast<std::size_t>(std::max(info.frame_size, 0));
        switch (x.phase) {
            case Extraction::kStart:
                if (m_queue.size() < frame_size) {
                    if (!m_pulled) return EndExtraction(Step::kWait);
                    x.phase = Extraction::kFill;
                    x.asked_size = static_cast<std::size_t>(-1);
                    continue;
                }
                x.phase = Extraction::kCut;
                continue;
            case Extraction::kFill:
                // The reader is asked again while each answer brings bytes.
                if (m_queue.size() < frame_size && m_queue.size() != x.asked_size) {
                    x.asked_size = m_queue.size();
                    return Step::kNeedFrameBytes;
                }
                x.phase = Extraction::kCut;
                continue;
            case Extraction::kCut: {
                std::size_t length = 0;
                if (info.terminator.empty()) {
                    if (m_queue.size() < frame_size) return EndExtraction(Step::kWait);
                    length = frame_size;
                } else {
                    const Step found = FindTerminator(
                        info.terminator, std::max(frame_size, kMaxVariableFrame), length);
                    if (found == Step::kNeedBytes) return found;
                    if (found != Step::kMatched) {
                        if (length == 0 || x.taken) return EndExtraction(Step::kWait);
                        // No terminator within the longest frame there can be:
                        // the header was not the start of a frame. Its first
                        // byte is dropped and the search goes on behind it, so
                        // the queue never holds a whole log waiting for a
                        // terminator.
                        m_discarded += static_cast<std::int64_t>(m_queue.Consume(1));
                        m_match = -1;
                        return EndExtraction(Step::kDone);
                    }
                }
                x.length = length;
                x.phase = Extraction::kAfterFrame;
                m_cut =
                    Cut{static_cast<std::size_t>(x.index), {m_queue.data(), length}, x.taken, true};
                return Step::kFrame;
            }
            case Extraction::kAfterFrame: {
                x.taken = true;
                // Instruments after this one whose header also opens the queue
                // take their frame from the same bytes.
                int next = -1;
                const std::span<const std::uint8_t> queued(m_queue.data(), m_queue.size());
                for (std::size_t j = static_cast<std::size_t>(x.index) + 1;
                     j < m_instruments.size(); ++j) {
                    m_match = static_cast<int>(j);
                    const CFrameInfo& other = m_instruments[j].info;
                    if (other.acquisition_enabled && StartsWith(queued, other.header)) {
                        next = static_cast<int>(j);
                        break;
                    }
                }
                if (next >= 0) {
                    x.index = next;
                    x.phase = Extraction::kStart;
                    continue;
                }
                // Only the last frame's bytes leave the queue.
                m_match = -1;
                m_queue.Consume(x.length);
                return EndExtraction(Step::kDone);
            }
        }
    }
}

CFrameCutter::Step CFrameCutter::FindTerminator(const std::string& term, std::size_t limit,
                                                std::size_t& length) {
    const auto first = static_cast<std::uint8_t>(term[0]);
    const std::uint64_t head = m_queue.Offset();
    std::size_t i = 0;
    std::size_t k = 0;
    bool resumed = m_terminator.active;
    length = 0;
    if (resumed) {
        i = m_terminator.i;
        k = m_terminator.k;
        m_terminator.active = false;
    } else if (m_no_terminator_until > head && term == m_no_terminator) {
        i = static_cast<std::size_t>(
            std::min<std::uint64_t>(m_no_terminator_until - head, m_queue.size()));
    }
    for (;;) {
        if (!resumed) {
            if (i >= limit) {
                length = i;  // the frame would be longer than any frame can be
                // A terminator may still end within its length after the limit.
                m_no_terminator_until = head + i - std::min(i, term.size() - 1);
                m_no_terminator = term;
                return Step::kNoMatch;
            }
            if (i >= m_queue.size()) return Step::kNoMatch;
            if (k == 0) {
                // A pulled cutter leaves the last queued byte to the step
                // below, which asks for more.
                const std::size_t end = m_pulled ? m_queue.size() - 1 : m_queue.size();
                if (i < end) {
                    const void* hit = std::memchr(m_queue.data() + i, first, end - i);
                    i = hit != nullptr ? static_cast<std::size_t>(
                                             static_cast<const std::uint8_t*>(hit) - m_queue.data())
                                       : end;
                    if (i >= m_queue.size()) return Step::kNoMatch;
                }
            }
            if (m_pulled && i + 1 >= m_queue.size()) {
                m_terminator = TerminatorScan{true, i, k};
                return Step::kNeedBytes;
            }
        }
        resumed = false;
        // A byte that breaks a partial terminator is not tried again as its
        // first byte.
        if (m_queue[i] == static_cast<std::uint8_t>(term[k])) {
            if (++k == term.size()) {
                length = i + 1;
                return Step::kMatched;
            }
        } else {
            k = 0;
        }
        ++i;
    }
}

// ---------------------------------------------------------------------------
// Instruments without synchronization strings

CFrameCutter::Step CFrameCutter::SearchNoSync() {
    if (m_instruments.empty()) return Step::kNoMatch;
    const CFrameInfo& info = m_instruments.front().info;
    const std::string& header = m_candidates.empty() ? info.header : m_candidates.front();
    bool matched = false;
    m_discarded += static_cast<std::int64_t>(m_special.Search(m_queue, info, header, matched));
    if (matched) m_match = 0;
    return matched ? Step::kMatched : Step::kNoMatch;
}

bool CFrameCutter::Converted() const noexcept {
    const int index = m_match;
    return index >= 0 && static_cast<std::size_t>(index) < m_instruments.size() &&
           CSpecialFraming::Converts(m_instruments[static_cast<std::size_t>(index)].info);
}

CFrameCutter::Step CFrameCutter::Convert() {
    const int index = m_match;
    if (index < 0 || static_cast<std::size_t>(index) >= m_instruments.size()) return Step::kWait;
    const auto at = static_cast<std::size_t>(index);
    const std::span<const std::uint8_t> frame = m_special.Convert(m_queue, m_instruments[at].info);
    if (frame.empty()) return Step::kWait;
    m_match = -1;
    m_cut = Cut{at, frame, false, false};
    return Step::kFrame;
}

}  // namespace dravik

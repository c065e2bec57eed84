// The frame cutter: finds the headers of the attached instruments in a stream
// of telemetry bytes and cuts their frames, as a packet lexer does on an
// in-memory buffer. It holds the queued bytes and the frame descriptions of
// the attached instruments, and counts every byte it discards. It reads
// nothing, takes no lock and tells nobody: whoever feeds it (a file resource,
// a serial port, a test) reads the bytes, guards the instrument list where
// other threads change it, and reports what happened.
//
// The cases it is built for:
// - Reads end anywhere: inside a header, a frame or a terminator. A header or
//   a frame cut by the end of the queued bytes is kept whole for later.
// - There is garbage before the first frame and between frames. One search
//   drops at most about a scan limit of it, so the work per search is bounded.
// - Frames of several instruments interleave, and one instrument's header may
//   open another's frame: the later instrument takes its frame from the same
//   bytes (a chained frame).
// - A variable frame ends with its terminator, which may never come: a header
//   whose terminator does not follow within kMaxVariableFrame bytes starts no
//   frame, and a later header's search resumes where that one gave up, so a
//   log of unterminated headers is scanned once, not once per header.
// - Some instruments of other makers send no header at all: their frames are
//   found by the rules of their kind (CSpecialFraming).
//
// It is fed in one of two ways:
// - pushed (a serial port): a search or a frame that runs out of queued bytes
//   ends its pass, and the next pass starts again once more bytes are fed;
// - pulled (a log read on demand): a step that runs out of queued bytes stops
//   with kNeedBytes or kNeedFrameBytes; the reader feeds the next chunk, or
//   nothing at the end of the data, and calls the same step again, which goes
//   on exactly where it stopped. Where the chunks of a log end therefore
//   changes nothing that is found.
//
// A pass, as its owner drives it: when Match() is -1, LookForEnabled() (or
// LookFor() a string of its own), then SearchHeaders() until it no longer
// needs bytes, and MatchCandidate() after a match; then Extract() until it
// answers kDone or kWait, taking each kFrame on the way.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/frame_data.h"
#include "telemetry/byte_queue.h"
#include "telemetry/special_framing.h"

namespace dravik {

// One attached instrument: the description its frames are cut by, and
// whether its first frame has been reported.
struct CAttachedInstrument {
    CFrameInfo info;
    int found = 0;
};

class CFrameCutter {
  public:
    // The longest variable frame: a header whose terminator does not follow
    // within this many bytes starts no frame.
    static constexpr std::size_t kMaxVariableFrame = 1 << 20;

    enum class Step {
        kNeedBytes,       // pulled: feed the next chunk (or nothing), call again
        kNeedFrameBytes,  // pulled: the frame lacks bytes; feed more unless the data ended
        kMatched,         // a search found a header
        kNoMatch,         // a search ended without one
        kFrame,           // Extract cut a frame (LastCut()); call it again to go on
        kDone,            // the extraction pass is over
        kWait,            // the matched frame is not complete yet; the match stays
    };

    // A frame just cut: `bytes` are valid until the cutter is called again.
    struct Cut {
        std::size_t instrument = 0;
        std::span<const std::uint8_t> bytes;
        bool chained = false;   // taken from the bytes of the frame before it
        bool in_queue = false;  // its bytes open the queue (not a converted frame)
    };

    void SetScanLimit(std::size_t limit) noexcept { m_scan_limit = limit > 0 ? limit : 1; }
    std::size_t ScanLimit() const noexcept { return m_scan_limit; }
    void SetPulled(bool pulled) noexcept { m_pulled = pulled; }

    // Bytes.
    void Feed(const void* bytes, std::size_t count) {
        m_queue.Append(static_cast<const std::uint8_t*>(bytes), count);
    }
    // Room for `count` bytes to be read straight behind the queued ones;
    // Commit queues the first `used` of them.
    std::uint8_t* Reserve(std::size_t count) { return m_queue.Reserve(count); }
    void Commit(std::size_t used) noexcept { m_queue.Commit(used); }
    std::size_t QueuedBytes() const noexcept { return m_queue.size(); }
    // Bytes consumed since the start: the stream offset of the first queued byte.
    std::uint64_t Offset() const noexcept { return m_queue.Offset(); }
    // The queued bytes behind the first `length` ones.
    std::span<const std::uint8_t> BytesAfter(std::size_t length) const noexcept {
        return {m_queue.data() + length, m_queue.size() - length};
    }
    // Drops everything queued, counted as discarded.
    void DropAll() noexcept { m_discarded += m_queue.Clear(); }
    // Bytes discarded since the last call.
    std::int64_t TakeDiscarded() noexcept {
        const std::int64_t n = m_discarded;
        m_discarded = 0;
        return n;
    }

    // Instruments, in attachment order. The frame size of an added
    // description is at least its header's length and one byte.
    std::size_t Count() const noexcept { return m_instruments.size(); }
    CAttachedInstrument& At(std::size_t index) noexcept { return m_instruments[index]; }
    const CAttachedInstrument& At(std::size_t index) const noexcept { return m_instruments[index]; }
    int Find(const std::string& header) const noexcept;
    void Add(CFrameInfo info);
    void Remove(std::size_t index);
    // False when the instrument already was in that state. Disabling the
    // matched instrument gives up its match.
    bool SetEnabled(std::size_t index, bool enabled) noexcept;
    void ClearFound() noexcept {
        for (CAttachedInstrument& inst : m_instruments) inst.found = 0;
    }

    // The matched instrument (attachment index), or -1. It is the one field
    // another thread may change (disabling or detaching an instrument) while
    // a pass runs on the reading thread, so it is atomic.
    int Match() const noexcept { return m_match.load(); }
    void ClearMatch() noexcept { m_match = -1; }

    // Header search. The candidates: the enabled instruments' headers (their
    // count is returned), or one string such as a port's global
    // synchronization string.
    std::size_t LookForEnabled();
    void LookFor(const std::string& text);
    // Scans from the head, candidate by candidate as each byte allows; drops
    // the bytes before a match, or the examined bytes when nothing matched
    // and no partial match is in progress. A `global` search drops nothing
    // and makes a match index 0. Answers kMatched, kNoMatch or kNeedBytes.
    Step SearchHeaders(bool global);
    // After kMatched of a search that was not global: the instrument whose
    // header matched becomes Match().
    void MatchCandidate();

    // Frame extraction for Match(): kFrame for every frame cut (chained ones
    // too), then kDone; kWait when the frame is not complete yet; in a pulled
    // cutter kNeedBytes or kNeedFrameBytes.
    Step Extract();
    const Cut& LastCut() const noexcept { return m_cut; }

    // Instruments without synchronization strings: the first attached
    // instrument's kind chooses the rules. PrepareNoSync sets up for such an
    // instrument (false: a BSI instrument with a bad synchronization byte
    // count); SearchNoSync answers kMatched or kNoMatch; Converted says
    // whether the matched frame is converted (BSI, HOBILABS_HS2_D), which
    // Convert does: kFrame or kWait.
    bool PrepareNoSync(const CFrameInfo& info) { return m_special.Prepare(info); }
    Step SearchNoSync();
    bool Converted() const noexcept;
    Step Convert();

  private:
    // Where a pulled search or extraction stopped for bytes.
    struct HeaderScan {
        bool active = false;
        bool asked_empty = false;
        std::size_t i = 0, start = 0, c = 0, k = 0;
    };
    struct TerminatorScan {
        bool active = false;
        std::size_t i = 0, k = 0;
    };
    struct Extraction {
        enum Phase { kStart, kFill, kCut, kAfterFrame };
        bool active = false;
        Phase phase = kStart;
        int index = 0;
        bool taken = false;
        std::size_t length = 0;
        std::size_t asked_size = 0;
    };

    Step EndExtraction(Step step) noexcept {
        m_extraction.active = false;
        return step;
    }
    // Scans for the terminator of a variable frame from the head. Found: the
    // frame's length in `length`. Not found within `limit` bytes: kNoMatch
    // with `length` set to the limit; not found in the queued bytes: kNoMatch
    // with `length` 0. Pulled, it may stop with kNeedBytes.
    Step FindTerminator(const std::string& terminator, std::size_t limit, std::size_t& length);

    CByteQueue m_queue;
    std::vector<CAttachedInstrument> m_instruments;
    std::atomic<int> m_match{-1};
    std::int64_t m_discarded = 0;
    std::size_t m_scan_limit = 1024;
    bool m_pulled = false;

    std::vector<std::string> m_candidates;  // reused by every search
    std::vector<int> m_uniform;             // per candidate, see SearchHeaders
    std::size_t m_matched = 0;              // the candidate the last search matched
    HeaderScan m_scan;
    TerminatorScan m_terminator;
    Extraction m_extraction;
    Cut m_cut;
    // Where a terminator search gave up (a stream offset): no terminator ends
    // before it, so a later header's search resumes there instead of scanning
    // the same bytes again, which would make a log of headers without
    // terminators take time quadratic in its size.
    std::uint64_t m_no_terminator_until = 0;
    std::string m_no_terminator;  // the terminator that search looked for
    CSpecialFraming m_special;
};

}  // namespace dravik

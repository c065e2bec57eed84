// The frame cutter on byte sequences in memory: each case lists the attached
// instruments, the bytes, the frames expected (chained ones marked "+"), the
// bytes discarded and the bytes left queued.
#include "telemetry/frame_cutter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace dravik {
namespace {

using Step = CFrameCutter::Step;
using Frames = std::vector<std::string>;

struct Inst {
    Inst(std::string h, int s, std::string t = "", bool e = true, std::string kind = "",
         std::vector<std::uint8_t> sync = {})
        : header(std::move(h)),
          size(s),
          terminator(std::move(t)),
          enabled(e),
          kind(std::move(kind)),
          sync(std::move(sync)) {}
    std::string header;
    int size;
    std::string terminator;
    bool enabled;
    std::string kind;  // an instrument of another maker
    std::vector<std::uint8_t> sync;
};

struct Outcome {
    Frames frames;
    std::int64_t discarded = 0;
    std::size_t queued = 0;
    bool operator==(const Outcome&) const = default;
};

void PrintTo(const Outcome& o, std::ostream* os) {
    *os << "{";
    for (const std::string& f : o.frames) *os << testing::PrintToString(f) << " ";
    *os << "} discarded " << o.discarded << ", queued " << o.queued;
}

// The cutter with the instruments attached; true when one sends no header.
bool Attach(CFrameCutter& cutter, const std::vector<Inst>& instruments) {
    bool no_sync = false;
    for (const Inst& inst : instruments) {
        CFrameInfo info;
        info.header = inst.header;
        info.frame_size = inst.size;
        info.terminator = inst.terminator;
        info.special_kind = inst.kind;
        info.sync_byte_count = static_cast<int>(inst.sync.size());
        std::copy(inst.sync.begin(), inst.sync.end(), info.sync_bytes);
        if (!inst.kind.empty()) no_sync = cutter.PrepareNoSync(info);
        cutter.Add(info);
        cutter.SetEnabled(cutter.Count() - 1, inst.enabled);
    }
    return no_sync;
}

// Searches, then extracts while the frames come, as a resource's pass does;
// `read` answers the cutter's requests for bytes. False when nothing matched
// or a frame must wait.
bool Pass(CFrameCutter& cutter, bool no_sync, Outcome& out, auto&& read) {
    auto run = [&](auto&& step) {
        for (;;) {
            const Step result = step();
            if (result != Step::kNeedBytes && result != Step::kNeedFrameBytes) return result;
            read();
        }
    };
    if (cutter.Match() == -1) {
        if (cutter.LookForEnabled() == 0) {
            cutter.DropAll();
            return false;
        }
        if (no_sync) {
            if (cutter.SearchNoSync() != Step::kMatched) return false;
        } else {
            if (run([&] { return cutter.SearchHeaders(false); }) != Step::kMatched) return false;
            cutter.MatchCandidate();
        }
    }
    for (;;) {
        // A converted frame is taken alone; the next pass searches again.
        const bool converted = no_sync && cutter.Converted();
        const Step step = converted ? cutter.Convert() : run([&] { return cutter.Extract(); });
        if (step != Step::kFrame) return step == Step::kDone;
        const CFrameCutter::Cut& cut = cutter.LastCut();
        out.frames.emplace_back(cut.bytes.begin(), cut.bytes.end());
        if (cut.chained) out.frames.back() += "+";
        if (converted) return true;
    }
}

// A reader of `log` in chunks of `chunk` bytes, as a file resource reads on
// demand, until the passes make no more progress.
Outcome Pulled(const std::vector<Inst>& instruments, const std::string& log, std::size_t chunk,
               std::size_t scan_limit = 1024) {
    CFrameCutter cutter;
    cutter.SetPulled(true);
    cutter.SetScanLimit(scan_limit);
    const bool no_sync = Attach(cutter, instruments);
    std::size_t fed = 0;
    auto read = [&] {
        const std::size_t n = std::min(chunk, log.size() - fed);
        cutter.Feed(log.data() + fed, n);
        fed += n;
    };
    Outcome out;
    for (std::size_t passes = 0; passes <= 2 * log.size() + 2; ++passes) {
        const std::size_t queued = cutter.QueuedBytes();
        const std::size_t was_fed = fed;
        Pass(cutter, no_sync, out, read);
        out.discarded += cutter.TakeDiscarded();
        if (cutter.QueuedBytes() == queued && fed == was_fed) break;
    }
    out.queued = cutter.QueuedBytes();
    return out;
}

// A serial port: after each feed, passes until one matches nothing or a
// frame must wait for more bytes.
Outcome Pushed(const std::vector<Inst>& instruments, const std::vector<std::string>& feeds,
               std::size_t scan_limit = 1024) {
    CFrameCutter cutter;
    cutter.SetScanLimit(scan_limit);
    const bool no_sync = Attach(cutter, instruments);
    Outcome out;
    for (const std::string& feed : feeds) {
        cutter.Feed(feed.data(), feed.size());
        auto read = [] { ADD_FAILURE() << "a pushed cutter asked for bytes"; };
        while (cutter.QueuedBytes() > 0 && Pass(cutter, no_sync, out, read)) {
        }
        out.discarded += cutter.TakeDiscarded();
    }
    out.queued = cutter.QueuedBytes();
    return out;
}

TEST(FrameCutter, ReadsEndingAnywhereChangeNothing) {
    const Inst abc{"ABC", 5};
    const Inst nav{"NAV", 0, "\r\n"};
    const Inst ab{"AB", 2};
    const Inst cd{"CD", 2};
    std::string near;
    while (near.size() < 400) near += "RADP";
    const std::string junk(100, 'x');
    const std::string nul_frame("NAV\0\r\r\nx\r\n", 10);
    const struct {
        const char* name;
        std::vector<Inst> instruments;
        std::string log;
        Outcome expected;
        std::size_t scan_limit = 1024;
    } cases[] = {
        {"leading garbage", {abc}, "xxABCdeABCfg", {{"ABCde", "ABCfg"}, 2, 0}},
        {"partial frame at the end", {abc}, "ABC12zzABC34ABC", {{"ABC12", "ABC34"}, 2, 3}},
        {"header cut by the end", {abc}, "xyzAB", {{}, 3, 2}},
        {"a later candidate after a failed start", {ab, cd}, "AXCD", {{"CD"}, 2, 0}},
        // After AB failed, later bytes are tried only against CD.
        {"earlier candidates not tried again", {ab, cd}, "AXAB", {{}, 4, 0}},
        // The scan resumes at the mismatching byte, so AAB is missed.
        {"no second start inside a partial match", {{"AAB", 3}}, "AAAB", {{}, 4, 0}},
        {"disabled instruments", {{"AB", 2, "", false}, {"CD", 3}}, "ABxCDy", {{"CDy"}, 3, 0}},
        {"frame as long as its header", {{"LONG", 3}}, "LONGLONG", {{"LONG", "LONG"}, 0, 0}},
        {"empty header and size", {{"", 0}}, "ab", {{"a", "b"}, 0, 0}},
        // A byte that breaks a partial terminator is not tried again as its first.
        {"variable frames", {nav}, "NAV1,2\r\n" + nul_frame, {{"NAV1,2\r\n", nul_frame}, 0, 0}},
        {"terminator that never comes", {nav}, "zNAV1,2\r", {{}, 1, 7}},
        {"chained frames", {{"AB", 4}, {"A", 2}}, "ABxyz", {{"ABxy", "AB+"}, 3, 0}},
        {"interleaved", {abc, nav}, "ABC12NAV7\r\n..ABC34", {{"ABC12", "NAV7\r\n", "ABC34"}, 2, 0}},
        {"near-headers", {{"RADPZ", 7}}, near + "RADPZ12", {{"RADPZ12"}, 400, 0}, 16},
        {"junk past the scan limit", {{"AB", 3}}, junk + "AB1", {{"AB1"}, 100, 0}, 16},
    };
    for (const auto& c : cases) {
        for (std::size_t chunk : {std::size_t{1}, std::size_t{2}, std::size_t{7}, c.log.size()}) {
            EXPECT_EQ(Pulled(c.instruments, c.log, chunk, c.scan_limit), c.expected)
                << c.name << ", chunks of " << chunk;
        }
    }
}

std::string Float(float value) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    std::string out;
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(bits >> shift);
    return out;
}

// One BSI segment with its check byte.
std::string Segment(std::uint8_t sync, const std::vector<std::uint16_t>& words) {
    std::string out{static_cast<char>(sync), static_cast<char>(words.size())};
    for (std::uint16_t w : words) out += {static_cast<char>(w >> 8), static_cast<char>(w & 0xFF)};
    unsigned sum = 0;
    for (unsigned char c : out) sum += c;
    return out + static_cast<char>(sum & 0xFF);
}

TEST(FrameCutter, PushedBytesWaitForTheNextFeed) {
    const Inst irc{"IRC", 7, "\r\n", true, "HEITRONICS_IRC"};
    // BSI pairs (1, 5) and (2, 3): a raw frame of 13 + 9 bytes. The converted
    // frame: header, values of 4 bytes while 6 bytes are left (seven of the
    // eight here), zeros, CR LF.
    const int bsi_size = 7 + 4 * 7 + 5;
    const Inst bsi{"BSI0007", bsi_size, "", true, "BSI", {1, 5, 2, 3}};
    const std::string raw =
        Segment(1, {0x1000, 0x2001, 0x5FFF, 0x6000, 0x0800}) + Segment(2, {0x0001, 0x1FFF, 0x7123});
    const std::string bad("\x01\x05\0", 3);
    std::string bsi_frame = "BSI0007";
    // 0x1000 is -4096 at 10/4096; 0x2001 is 1 at 10/65536; 0x5FFF is -1 at
    // 10/1048576; 0x6000 has no scale and repeats the value before it.
    for (float v : {-10.0f, 10.0f / 65536, -10.0f / 1048576, -10.0f / 1048576, 5.0f, 10.0f / 4096,
                    -10.0f / 4096}) {
        bsi_frame += Float(v);
    }
    bsi_frame += std::string(bsi_size - 2 - bsi_frame.size(), '\0') + "\r\n";
    const Inst hobi{"HS20001", 8, "", true, "HOBILABS_HS2_D"};
    const std::string hex =
        std::string("*D0001E240") + "00010002000300040005000600070008" + "9ABCDEF0FFFF7FzzCKSM";
    std::string hobi_frame = "HS20001" + std::string("\x00\x01\xE2\x40", 4);
    for (char i = 1; i <= 8; ++i) hobi_frame += {'\0', i};
    for (char i : {9, 10, 11, 12, 13, 14, 15, 0}) hobi_frame += i;
    // "zz" is not a hex digit: the conversion gives 0.
    hobi_frame += std::string("\xFF\xFF\x7F\x00\r\n\x00", 7);
    const struct {
        const char* name;
        std::vector<Inst> instruments;
        std::vector<std::string> feeds;
        Outcome expected;
        std::size_t scan_limit = 1024;
    } cases[] = {
        {"header split between feeds", {{"ABC", 4}}, {"xxAB", "C1"}, {{"ABC1"}, 2, 0}},
        {"frame split: the match stays", {{"HD", 6}}, {"HD12", "34HD"}, {{"HD1234"}, 0, 2}},
        {"terminator split", {{"N", 0, "\r\n"}}, {"N1\r", "\nN2"}, {{"N1\r\n"}, 0, 2}},
        {"nothing enabled: all dropped", {{"AB", 2, "", false}}, {"ABAB"}, {{}, 4, 0}},
        // One round drops at most a scan limit; the rest waits for the next feed.
        {"a scan limit per round", {{"Z", 1}}, {std::string(10, 'x'), ""}, {{}, 8, 2}, 4},
        // A byte above 0x7F in a text line is dropped; the header is put in front.
        {"text lines",
         {irc},
         {"1.5\x80 3.1\r\n2.0\r", "\n3", ".0\r\n"},
         {{"IRC1.5 3.1\r\n", "IRC2.0\r\n", "IRC3.0\r\n"}, 1, 0}},
        {"BSI by check sum",
         {bsi},
         {"zz", bad + raw.substr(0, 21), raw.substr(21)},
         {{bsi_frame}, 5, 0}},
        {"HOBILABS_HS2_D", {hobi}, {"x*", hex.substr(1, 60), hex.substr(61)}, {{hobi_frame}, 1, 0}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Pushed(c.instruments, c.feeds, c.scan_limit), c.expected) << c.name;
    }
    EXPECT_EQ(Pushed({hobi}, {hex.substr(0, 61)}), (Outcome{{}, 0, 61}));
}

TEST(FrameCutter, MatchFollowsTheInstrumentList) {
    CFrameCutter cutter;
    Attach(cutter, {{"AB", 3}, {"CD", 3}});
    cutter.Feed("CD1", 3);
    ASSERT_EQ(cutter.LookForEnabled(), 2u);
    ASSERT_EQ(cutter.SearchHeaders(false), Step::kMatched);
    cutter.MatchCandidate();
    EXPECT_EQ(cutter.Match(), 1);
    cutter.Remove(0);  // the match moves down with the list
    EXPECT_EQ(cutter.Match(), 0);
    EXPECT_FALSE(cutter.SetEnabled(0, true));  // already enabled
    EXPECT_TRUE(cutter.SetEnabled(0, false));  // disabling the matched one gives up the match
    EXPECT_EQ(cutter.Match(), -1);
    // A global search matches without dropping anything.
    cutter.LookFor("D1");
    EXPECT_EQ(cutter.SearchHeaders(true), Step::kMatched);
    EXPECT_EQ(cutter.Match(), 0);
    EXPECT_EQ(cutter.QueuedBytes(), 3u);
    EXPECT_EQ(cutter.TakeDiscarded(), 0);
    // A BSI instrument's synchronization bytes come in pairs.
    CFrameInfo odd;
    odd.special_kind = "BSI";
    odd.sync_byte_count = 3;
    EXPECT_FALSE(cutter.PrepareNoSync(odd));
}

// A variable frame longer than any frame can be is not waited for: its
// header's first byte is dropped and the search goes on behind it. A log of
// headers whose terminator never comes is scanned once (each search resumes
// where the one before gave up), not once per header, which would not end in
// any reasonable time.
TEST(FrameCutter, UnterminatedHeadersKeepTheWorkLinear) {
    const std::size_t limit = CFrameCutter::kMaxVariableFrame;
    const Inst v{"V", 0, ";"};
    const std::string junk(limit + 10, 'x');
    EXPECT_EQ(Pulled({v}, "V1" + junk + "V2;", 4096, 4096),
              (Outcome{{"V2;"}, static_cast<std::int64_t>(junk.size() + 2), 0}));

    std::string headers;
    while (headers.size() < 2 * limit) headers += "V,1.5";
    const Outcome out = Pulled({v}, headers + "V,2;", 4096, 4096);
    ASSERT_EQ(out.frames.size(), 1u);
    EXPECT_TRUE(out.frames[0].ends_with("V,2;"));
    EXPECT_EQ(out.discarded + static_cast<std::int64_t>(out.frames[0].size()),
              static_cast<std::int64_t>(headers.size() + 4));

    // The first header's search stops with "\r" as the last byte it may take;
    // the second header's frame ends with the "\n" after it.
    const std::string log = "ABAB" + std::string(limit - 5, 'x') + "\r\n";
    EXPECT_EQ(Pulled({{"AB", 0, "\r\n"}}, log, 4096, 4096).frames, Frames{log.substr(2)});
}

}  // namespace
}  // namespace dravik

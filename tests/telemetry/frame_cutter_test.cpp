// The frame cutter on byte sequences in memory: each case lists the attached
// instruments, the bytes, the frames expected and the bytes discarded.
#include "telemetry/frame_cutter.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace dravik {
namespace {

using Step = CFrameCutter::Step;

struct Inst {
    Inst(std::string h, int s, std::string t = "", bool e = true)
        : header(std::move(h)), size(s), terminator(std::move(t)), enabled(e) {}
    std::string header;
    int size;
    std::string terminator;
    bool enabled;
};

void Attach(CFrameCutter& cutter, const std::vector<Inst>& instruments) {
    for (const Inst& inst : instruments) {
        CFrameInfo info;
        info.header = inst.header;
        info.frame_size = inst.size;
        info.terminator = inst.terminator;
        cutter.Add(info);
        cutter.SetEnabled(cutter.Count() - 1, inst.enabled);
    }
}

std::string Text(const CFrameCutter::Cut& cut) {
    return std::string(cut.bytes.begin(), cut.bytes.end()) + (cut.chained ? "+" : "");
}

struct Outcome {
    std::vector<std::string> frames;  // chained ones end with "+"
    std::int64_t discarded = 0;
    std::size_t queued = 0;
};

// One extraction pass after a match; false when the frame must wait.
bool ExtractAll(CFrameCutter& cutter, Outcome& out, auto&& pull) {
    for (;;) {
        const Step step = pull([&] { return cutter.Extract(); });
        if (step != Step::kFrame) return step == Step::kDone;
        out.frames.push_back(Text(cutter.LastCut()));
    }
}

// A reader of `log` in chunks of `chunk` bytes, driving the cutter until it
// makes no more progress, as a file resource does.
Outcome Pulled(const std::vector<Inst>& instruments, const std::string& log, std::size_t chunk,
               std::size_t scan_limit) {
    CFrameCutter cutter;
    cutter.SetPulled(true);
    cutter.SetScanLimit(scan_limit);
    Attach(cutter, instruments);
    std::size_t fed = 0;
    auto pull = [&](auto&& step) {
        for (;;) {
            const Step result = step();
            if (result != Step::kNeedBytes && result != Step::kNeedFrameBytes) return result;
            const std::size_t n = std::min(chunk, log.size() - fed);
            cutter.Feed(log.data() + fed, n);
            fed += n;
        }
    };
    Outcome out;
    for (std::size_t passes = 0; passes <= 2 * log.size() + 2; ++passes) {
        const std::size_t queued = cutter.QueuedBytes();
        const std::size_t was_fed = fed;
        if (cutter.Match() == -1) {
            if (cutter.LookForEnabled() == 0) {
                cutter.DropAll();
            } else if (pull([&] { return cutter.SearchHeaders(false); }) == Step::kMatched) {
                cutter.MatchCandidate();
            }
        }
        if (cutter.Match() != -1) ExtractAll(cutter, out, pull);
        out.discarded += cutter.TakeDiscarded();
        if (cutter.QueuedBytes() == queued && fed == was_fed) break;
    }
    out.queued = cutter.QueuedBytes();
    return out;
}

// A serial port's rounds: after each feed, searches and extractions until a
// search matches nothing or a frame must wait for more bytes.
Outcome Pushed(const std::vector<Inst>& instruments, const std::vector<std::string>& feeds,
               std::size_t scan_limit) {
    CFrameCutter cutter;
    cutter.SetScanLimit(scan_limit);
    Attach(cutter, instruments);
    auto direct = [](auto&& step) { return step(); };
    Outcome out;
    for (const std::string& feed : feeds) {
        cutter.Feed(feed.data(), feed.size());
        for (;;) {
            if (cutter.Match() == -1) {
                if (cutter.QueuedBytes() == 0) break;
                if (cutter.LookForEnabled() == 0) {
                    cutter.DropAll();
                    break;
                }
                if (cutter.SearchHeaders(false) != Step::kMatched) break;
                cutter.MatchCandidate();
            }
            if (!ExtractAll(cutter, out, direct)) break;
        }
        out.discarded += cutter.TakeDiscarded();
    }
    out.queued = cutter.QueuedBytes();
    return out;
}

using Frames = std::vector<std::string>;

TEST(FrameCutter, ReadsEndingAnywhereChangeNothing) {
    const Inst abc{"ABC", 5};
    const Inst nav{"NAV", 0, "\r\n"};
    std::string near_headers;
    while (near_headers.size() < 400) near_headers += "RADP";
    const struct {
        const char* name;
        std::vector<Inst> instruments;
        std::string log;
        Frames frames;
        std::int64_t discarded;
        std::size_t queued;
        std::size_t scan_limit = 1024;
    } cases[] = {
        {"leading garbage", {abc}, "xxABCdeABCfg", {"ABCde", "ABCfg"}, 2, 0},
        {"garbage between frames, partial frame at the end",
         {abc},
         "ABC12zzABC34ABC",
         {"ABC12", "ABC34"},
         2,
         3},
        {"header cut by the end", {abc}, "xyzAB", {}, 3, 2},
        {"a later candidate after a failed start", {{"AB", 2}, {"CD", 2}}, "AXCD", {"CD"}, 2, 0},
        // After AB failed, later bytes are tried only against CD.
        {"earlier candidates not tried again", {{"AB", 2}, {"CD", 2}}, "AXAB", {}, 4, 0},
        // The scan resumes at the mismatching byte, so AAB is missed.
        {"no second start inside a partial match", {{"AAB", 3}}, "AAAB", {}, 4, 0},
        {"disabled instruments are not searched",
         {{"AB", 2, "", false}, {"CD", 3}},
         "ABxCDy",
         {"CDy"},
         3,
         0},
        {"frame at least as long as its header",
         {{"LONGHEADER", 3}},
         "LONGHEADERLONGHEADER",
         {"LONGHEADER", "LONGHEADER"},
         0,
         0},
        {"empty header and size: one byte at a time", {{"", 0}}, "ab", {"a", "b"}, 0, 0},
        {"variable frames",
         {nav},
         std::string("NAV1,2\r\nNAV\0\r\r\nx\r\n", 18),
         {"NAV1,2\r\n", std::string("NAV\0\r\r\nx\r\n", 10)},
         0,
         0},
        {"terminator that never comes", {nav}, "zNAV1,2\r", {}, 1, 7},
        {"chained frames", {{"AB", 4}, {"A", 2}}, "ABxyz", {"ABxy", "AB+"}, 3, 0},
        {"interleaved instruments",
         {abc, nav},
         "ABC12NAV7\r\n..ABC34",
         {"ABC12", "NAV7\r\n", "ABC34"},
         2,
         0},
        {"near-headers dropped a scan limit at a time",
         {{"RADPZ", 7}},
         near_headers + "RADPZ12",
         {"RADPZ12"},
         static_cast<std::int64_t>(near_headers.size()),
         0,
         16},
        {"junk longer than the scan limit",
         {{"AB", 3}},
         std::string(100, 'x') + "AB1",
         {"AB1"},
         100,
         0,
         16},
    };
    for (const auto& c : cases) {
        for (std::size_t chunk :
             {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7}, c.log.size() + 1}) {
            const Outcome out = Pulled(c.instruments, c.log, chunk, c.scan_limit);
            EXPECT_EQ(out.frames, c.frames) << c.name << ", chunks of " << chunk;
            EXPECT_EQ(out.discarded, c.discarded) << c.name << ", chunks of " << chunk;
            EXPECT_EQ(out.queued, c.queued) << c.name << ", chunks of " << chunk;
        }
    }
}

TEST(FrameCutter, PushedBytesWaitForTheNextFeed) {
    const struct {
        const char* name;
        std::vector<Inst> instruments;
        std::vector<std::string> feeds;
        Frames frames;
        std::int64_t discarded;
        std::size_t queued;
        std::size_t scan_limit = 1024;
    } cases[] = {
        {"header split between feeds", {{"ABC", 4}}, {"xxAB", "C1"}, {"ABC1"}, 2, 0},
        {"frame split between feeds keeps its match",
         {{"HD", 6}},
         {"HD12", "34HD"},
         {"HD1234"},
         0,
         2},
        {"terminator split between feeds", {{"N", 0, "\r\n"}}, {"N1\r", "\nN2"}, {"N1\r\n"}, 0, 2},
        {"nothing enabled: everything dropped", {{"AB", 2, "", false}}, {"ABAB"}, {}, 4, 0},
        // One round drops at most a scan limit; the rest waits for the next feed.
        {"a scan limit per round", {{"Z", 1}}, {std::string(10, 'x'), ""}, {}, 8, 2, 4},
    };
    for (const auto& c : cases) {
        const Outcome out = Pushed(c.instruments, c.feeds, c.scan_limit);
        EXPECT_EQ(out.frames, c.frames) << c.name;
        EXPECT_EQ(out.discarded, c.discarded) << c.name;
        EXPECT_EQ(out.queued, c.queued) << c.name;
    }
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
    Outcome out = Pulled({v}, "V1" + junk + "V2;", 4096, 4096);
    EXPECT_EQ(out.frames, Frames{"V2;"});
    EXPECT_EQ(out.discarded, static_cast<std::int64_t>(junk.size() + 2));

    std::string headers;
    while (headers.size() < 2 * limit) headers += "V,1.5";
    out = Pulled({v}, headers + "V,2;", 4096, 4096);
    ASSERT_EQ(out.frames.size(), 1u);
    EXPECT_TRUE(out.frames[0].ends_with("V,2;"));
    EXPECT_EQ(out.discarded + static_cast<std::int64_t>(out.frames[0].size()),
              static_cast<std::int64_t>(headers.size() + 4));

    // The first header's search stops with "\r" as the last byte it may take;
    // the second header's frame ends with the "\n" after it.
    const std::string log = "ABAB" + std::string(limit - 5, 'x') + "\r\n";
    out = Pulled({{"AB", 0, "\r\n"}}, log, 4096, 4096);
    EXPECT_EQ(out.frames, Frames{log.substr(2)});
}

}  // namespace
}  // namespace dravik

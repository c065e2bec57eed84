// The quick look's model: series buckets that keep every bucket's extremes
// at their place in a fixed memory, spectra kept evenly over a conversion,
// and the document handing frames to a side output without changing the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <future>
#include <random>

#include "conversion/quick_look_output.h"
#include "conversion_test_support.h"

using namespace dravik;
using namespace dravik::testing;

namespace {

constexpr std::uint32_t kBoth[] = {0, 1};
constexpr std::span<const std::uint32_t> kFirst{kBoth, 1};

bool HasPoint(const std::vector<CSeriesPoint>& points, double x, double y) {
    return std::find(points.begin(), points.end(), CSeriesPoint{x, y}) != points.end();
}

}  // namespace

TEST(SeriesBuckets, KeepEveryBucketsExtremesInBoundedMemory) {
    const struct {
        std::size_t capacity, frames;
        std::uint64_t width;  // frames per bucket at the end
    } cases[] = {{8, 5, 1}, {8, 8, 1}, {8, 9, 2}, {16, 1000, 64}, {1024, 200000, 256}, {7, 30, 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frames);
        // Noise on a slow drift, with spikes up and down that stand out of it.
        std::mt19937 random(static_cast<unsigned>(c.frames));
        std::vector<double> values(c.frames);
        for (std::size_t i = 0; i < c.frames; ++i) {
            values[i] = std::sin(i * 0.001) + std::uniform_real_distribution<double>(0, 0.1)(random);
            if (random() % 97 == 0) values[i] += (random() % 2 ? 50.0 : -50.0);
        }
        CSeriesBuckets buckets;
        buckets.Reset(2, c.capacity);
        const std::size_t memory = buckets.MemoryBytes();
        for (std::size_t i = 0; i < c.frames; ++i) {
            const double row[2] = {values[i], std::nan("")};
            buckets.Add(1000.0 + i, row, kMarkNone, kBoth);
        }
        EXPECT_EQ(buckets.Width(), c.width);
        EXPECT_LE(buckets.Buckets(), buckets.Capacity());
        EXPECT_EQ(buckets.MemoryBytes(), memory);
        std::vector<CSeriesPoint> points, none;
        buckets.AppendPoints(0, points);
        buckets.AppendPoints(1, none);
        EXPECT_TRUE(none.empty());
        EXPECT_LE(points.size(), 2 * buckets.Capacity());
        EXPECT_TRUE(std::is_sorted(points.begin(), points.end(),
                                   [](auto& a, auto& b) { return a.x < b.x; }));
        // Each bucket's least and greatest value, at the first frame holding it.
        for (std::size_t from = 0; from < c.frames; from += c.width) {
            const auto first = values.begin() + static_cast<std::ptrdiff_t>(from);
            const auto last = values.begin() + static_cast<std::ptrdiff_t>(std::min(from + c.width, c.frames));
            const auto low = std::min_element(first, last), high = std::max_element(first, last);
            EXPECT_TRUE(HasPoint(points, 1000.0 + (low - values.begin()), *low)) << from;
            EXPECT_TRUE(HasPoint(points, 1000.0 + (high - values.begin()), *high)) << from;
        }
    }
}

TEST(SeriesBuckets, MarksKeepTheFirstMarkedFrameOfABucket) {
    CSeriesBuckets buckets;
    buckets.Reset(1, 4);
    const double v = 1.0;
    const std::uint8_t marks[] = {0, 0, 1, 0, 0, 2, 2, 0, 0, 0, 0, 0, 0, 0, 3};
    for (std::size_t i = 0; i < std::size(marks); ++i) buckets.Add(static_cast<double>(i), &v, marks[i], kFirst);
    std::vector<CSeriesMark> found;
    buckets.AppendMarks(found);
    ASSERT_EQ(found.size(), 3u);  // buckets of 4 frames: 0-3, 4-7, 12-14
    EXPECT_EQ(found[0].x, 2.0);
    EXPECT_EQ(found[1].x, 5.0);
    EXPECT_EQ(found[1].marks, kMarkCheckSum);
    EXPECT_EQ(found[2].marks, kMarkFrameCounter | kMarkCheckSum);
}

TEST(SpectrumStore, KeepsFramesEvenlyOverTheWholeConversion) {
    const struct {
        std::size_t capacity, frames, kept;
        std::uint64_t spacing;
    } cases[] = {{4, 3, 3, 1}, {4, 4, 4, 1}, {4, 5, 3, 2}, {8, 100, 7, 16}, {512, 1000000, 489, 2048}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frames);
        CSpectrumStore store;
        store.Reset(3, c.capacity);
        const std::size_t memory = store.MemoryBytes();
        for (std::size_t i = 0; i < c.frames; ++i) {
            const double row[3] = {i * 1.0, i * 2.0, -1.0 * i};
            store.Offer(static_cast<int>(i) + 10, row);
        }
        EXPECT_EQ(store.Kept(), c.kept);
        EXPECT_EQ(store.Spacing(), c.spacing);
        EXPECT_EQ(store.MemoryBytes(), memory);
        for (std::size_t k = 0; k < store.Kept(); ++k) {
            EXPECT_EQ(store.KeptIndex(k), static_cast<int>(10 + k * c.spacing));
            EXPECT_EQ(store.KeptRow(k)[1], 2.0 * (k * c.spacing));
        }
        EXPECT_EQ(store.NewestIndex(), static_cast<int>(c.frames) + 9);
        EXPECT_EQ(store.NewestRow()[2], -1.0 * (c.frames - 1));
        EXPECT_EQ(store.NearestKept(10 + static_cast<int>(c.spacing)), 1u);
    }
}

TEST(QuickLookOutput, SeesEveryFrameWithoutChangingTheOutput) {
    std::string alone;
    for (const int side_from : {-1, 0}) {
        Conversion conv("quick_look_side");
        conv.Files(ExamplesDir() / "spr0117.raw", ExamplesDir() / "spr0117.cal");
        conv.doc->GetParameters().format.apply_fit = 1;
        conv.doc->GetParameters().time_tags = 1;
        CQuickLookOutput look;
        look.ChooseSeries({"ES(356.6) [uW/cm^2/nm]"});
        if (side_from == 0) conv.doc->SetSideOutput(&look);
        ASSERT_TRUE(conv.Begin());
        conv.doc->RequestNextFrame();
        // A window's snapshots while the frames come in.
        CQuickLookSnapshot during;
        const std::size_t drawn[] = {5};
        const CConversionStatus status = conv.Poll([&](const CConversionStatus&) {
            look.Snapshot(drawn, -1, during);
            return false;
        });
        conv.doc->EndConversion(false);
        conv.doc->SetSideOutput(nullptr);
        if (side_from < 0) {
            alone = conv.Output();
            continue;
        }
        EXPECT_EQ(conv.Output(), alone);
        const CQuickLookLayout layout = look.Layout();
        ASSERT_EQ(layout.groups.size(), 1u);
        EXPECT_EQ(layout.groups[0].wavelengths.size(), 128u);
        EXPECT_TRUE(layout.time_x);
        // The chosen channel and a temperature have every frame, another
        // channel none.
        const std::size_t columns[] = {5, layout.column_names.size() - 4, 6};
        EXPECT_EQ(layout.column_names[5], "ES(356.6) [uW/cm^2/nm]");
        CQuickLookSnapshot shot;
        look.Snapshot(columns, -1, shot);
        EXPECT_FALSE(shot.running);
        EXPECT_EQ(shot.frames, status.frames_processed);
        EXPECT_EQ(shot.kept_indices.size(), status.frames_processed);
        EXPECT_EQ(shot.spectrum_index, static_cast<int>(status.frames_processed));
        EXPECT_EQ(shot.series[0].size(), status.frames_processed);
        EXPECT_EQ(shot.series[1].size(), status.frames_processed);
        EXPECT_TRUE(shot.series[2].empty());
    }
}

TEST(DocumentPolls, ReturnAtOnceWhileTheProcessingThreadHoldsTheDocument) {
    Conversion conv("brief_polls");
    conv.Files(ExamplesDir() / "spr0117.raw", ExamplesDir() / "spr0117.cal");
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> holding{false}, hold{false};
    // The log sink runs on the processing thread under the document lock.
    conv.doc->SetConversionLogSink([&](std::string_view) {
        if (!hold) return;
        holding = true;
        released.wait();
    });
    ASSERT_TRUE(conv.Begin());
    hold = true;
    conv.doc->ReportMessage("held\r\n");
    while (!holding) std::this_thread::yield();
    CProgressReport report;
    std::string text;
    EXPECT_FALSE(conv.doc->TryMakeProgressReport(report));
    EXPECT_FALSE(conv.doc->TryShowPendingMessages());
    EXPECT_FALSE(conv.doc->TryTakeLogText(text));
    release.set_value();
    conv.doc->RequestNextFrame();
    EXPECT_TRUE(conv.Poll().done);
    EXPECT_TRUE(conv.doc->TryMakeProgressReport(report));
    EXPECT_TRUE(report.status.done);
    conv.doc->EndConversion(false);
}

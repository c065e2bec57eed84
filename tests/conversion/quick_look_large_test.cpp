// The quick look over a log of 1 GiB: its model stays the size it had after
// the first frames, and so does the process, however long the log
// (label "large": a release build converts it in half a minute).
#include <gtest/gtest.h>

#include <fstream>

#include "conversion/quick_look_output.h"
#include "conversion_test_support.h"

namespace dravik {
namespace {

using namespace dravik::testing;

std::size_t ResidentBytes() {
    std::ifstream status("/proc/self/statm");
    std::size_t size = 0, resident = 0;
    status >> size >> resident;
    return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

TEST(QuickLookLarge, MemoryStaysBoundedOverAGibibyteLog) {
#if !defined(NDEBUG) || defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "converts 1 GiB: run in the release build (ctest -L large)";
#endif
    Conversion conv("quick_look_large");
    const std::string cast = ReadAll(ExamplesDir() / "spr0117.raw");
    {
        std::ofstream log(conv.dir / "large.raw", std::ios::binary);
        for (std::size_t written = 0; written < (std::size_t{1} << 30); written += cast.size()) log << cast;
    }
    conv.Files(conv.dir / "large.raw", ExamplesDir() / "spr0117.cal", "/dev/null");
    conv.doc->GetParameters().format.apply_fit = 1;
    conv.doc->GetParameters().time_tags = 1;
    CQuickLookOutput look;
    look.ChooseSeries({"ES(412.7) [uW/cm^2/nm]", "ES(551.3) [uW/cm^2/nm]"});
    conv.doc->SetSideOutput(&look);
    ASSERT_TRUE(conv.Begin());
    conv.doc->RequestNextFrame();
    // Past the first frames, the model and the process have their size.
    conv.Poll([](const CConversionStatus& s) { return s.frames_processed > 20000; });
    const std::size_t model = look.MemoryBytes(), resident = ResidentBytes();
    const std::size_t columns[] = {0, 69, 125};
    CQuickLookSnapshot shot;
    while (!conv.Poll([&](const CConversionStatus&) {
                // A window's snapshots go on meanwhile.
                look.Snapshot(columns, -1, shot);
                return false;
            }).done) {
    }
    const CConversionStatus status = conv.doc->MakeProgressReport().status;
    conv.doc->EndConversion(false);
    conv.doc->SetSideOutput(nullptr);
    EXPECT_GT(status.frames_processed, 3000000u);
    look.Snapshot(columns, 0, shot);
    EXPECT_EQ(shot.frames, status.frames_processed);
    EXPECT_EQ(look.MemoryBytes(), model);
    EXPECT_LT(ResidentBytes(), resident + (std::size_t{16} << 20));
    for (const auto& series : shot.series) EXPECT_LE(series.size(), 2 * CQuickLookLimits{}.series_buckets);
    EXPECT_LE(shot.kept_indices.size(), CQuickLookLimits{}.kept_spectra);
    std::printf("model %zu bytes, %zu kept spectra, resident %.1f MiB\n", model,
                shot.kept_indices.size(), static_cast<double>(ResidentBytes()) / (1 << 20));
}

}  // namespace
}  // namespace dravik

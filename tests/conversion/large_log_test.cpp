// A log larger than 4 GiB: a sparse file with frames at its start, frames
// around the 4 GiB offset (one of them straddling it) and frames past it,
// with holes of zeros between. It must convert to exactly what the same
// frames give without the holes, time tags included, with a progress that
// only ever moves forward and ends at 100%. Every byte of the holes is read
// and searched, so this runs in optimised builds only (label "large").
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "conversion_test_support.h"

namespace dravik {
namespace {

using namespace dravik::testing;

// Records every progress refresh.
class ProgressFrontEnd : public CRecordingFrontEnd {
  public:
    bool RefreshProgress(const CProgressReport& report) override {
        percents.push_back(report.percent);
        consumed.push_back(report.status.bytes_consumed);
        return CRecordingFrontEnd::RefreshProgress(report);
    }
    std::vector<int> percents;
    std::vector<std::uint64_t> consumed;
};

struct Piece {
    std::uint64_t offset;
    std::string bytes;
};

TEST(LargeLog, FramesPastFourGibibytesConvertWithTheirTimeTags) {
#if !defined(NDEBUG) || defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "reads 4 GiB: run in the release build (ctest -L large)";
#endif
    constexpr std::uint64_t k4GiB = std::uint64_t{1} << 32;
    const std::vector<Piece> pieces = {
        {0, WorkedFrames(1, 100)},
        // Frame 103 begins 2 bytes before 4 GiB; the tag of 102 ends there.
        {k4GiB - 2 * 19 - 2, WorkedFrames(101, 100)},
        {k4GiB + (1u << 20) + 3, WorkedFrames(201, 100)},
    };
    const fs::path dir = ScratchDir("large_log");
    std::string small;
    const int fd = ::open((dir / "large.raw").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    for (const Piece& piece : pieces) {
        small += piece.bytes;
        ASSERT_EQ(
            ::pwrite(fd, piece.bytes.data(), piece.bytes.size(), static_cast<off_t>(piece.offset)),
            static_cast<ssize_t>(piece.bytes.size()));
    }
    ::close(fd);
    WriteAll(dir / "small.raw", small);
    const std::uint64_t size = fs::file_size(dir / "large.raw");
    ASSERT_EQ(size, pieces.back().offset + pieces.back().bytes.size());

    auto convert = [&](const std::string& name, ProgressFrontEnd& front_end) {
        auto doc = MakeDoc(front_end, dir / (name + ".log"));
        CDravikParameters& p = doc->GetParameters();
        p.delimiter = ",";
        p.time_tags = 1;
        p.time_tags_formatted = 1;
        doc->SetLogFilePath((dir / (name + ".raw")).string());
        doc->SetOutputFilePath((dir / (name + ".dat")).string());
        doc->SetInstrumentFilePath((DataDir() / "worked_example" / "abcd0042.tdf").string());
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(doc->RunConversion(), EConversionOutcome::kComplete) << name;
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        std::printf("%s: %.1f s for %.2f GiB\n", name.c_str(), took.count(),
                    static_cast<double>(fs::file_size(dir / (name + ".raw"))) / k4GiB * 4);
        EXPECT_EQ(doc->GetConversionStatus().frames_processed, 300u);
        return doc->GetConversionStatus();
    };
    ProgressFrontEnd small_run;
    const CConversionStatus small_status = convert("small", small_run);
    ProgressFrontEnd large_run;
    const CConversionStatus status = convert("large", large_run);
    EXPECT_TRUE(ReadAll(dir / "large.dat") == ReadAll(dir / "small.dat"));
    // Every byte is accounted for, the last time tag too: no offset wrapped
    // at 4 GiB.
    EXPECT_EQ(status.bytes_consumed, size);
    EXPECT_EQ(small_status.bytes_consumed, small.size());
    // Every time tag is skipped on the way to the next frame, holes or not.
    EXPECT_EQ(status.resynchronizations, small_status.resynchronizations);

    ASSERT_EQ(large_run.setups.size(), 1u);
    EXPECT_EQ(large_run.setups[0].log_file_length, size);
    ASSERT_FALSE(large_run.percents.empty());
    for (std::size_t i = 1; i < large_run.percents.size(); ++i) {
        EXPECT_LE(large_run.percents[i - 1], large_run.percents[i]) << i;
        EXPECT_LE(large_run.consumed[i - 1], large_run.consumed[i]) << i;
    }
    EXPECT_EQ(large_run.percents.back(), 100);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace dravik

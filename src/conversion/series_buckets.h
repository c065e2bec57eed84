// The series of a conversion's columns in a fixed amount of memory, however
// many frames the log holds. Frames go into buckets of equal width (frames
// per bucket); each bucket keeps, per column, its least and greatest value
// with where they were, so that a single spike still shows once the frames
// around it are drawn as one bucket. When every bucket is full, neighbouring
// pairs merge and the width doubles. No Qt, no threads, no allocation after
// Reset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace dravik {

// What the frame checks found in a frame.
enum EFrameMark : std::uint8_t {
    kMarkNone = 0,
    kMarkFrameCounter = 1,
    kMarkCheckSum = 2,
};

struct CSeriesPoint {
    double x = 0.0;
    double y = 0.0;
    bool operator==(const CSeriesPoint&) const = default;
};

// A bucket holding a frame with a frame counter or check sum error: the x
// of its first such frame and what was found in the bucket's frames.
struct CSeriesMark {
    double x = 0.0;
    std::uint8_t marks = kMarkNone;
};

class CSeriesBuckets {
  public:
    // `columns` series of at most `capacity` buckets (at least 2; an odd
    // number is made even). Forgets every frame.
    void Reset(std::size_t columns, std::size_t capacity);

    // One frame at `x` with its marks and the values of `columns` (values
    // holds one per column, read only at those; NaN: the frame has none for
    // that column). The other columns' buckets take nothing from the frame.
    void Add(double x, const double* values, std::uint8_t marks,
             std::span<const std::uint32_t> columns);

    std::size_t Columns() const noexcept { return m_columns; }
    std::size_t Capacity() const noexcept { return m_capacity; }
    std::size_t Buckets() const noexcept { return m_used; }
    std::uint64_t Width() const noexcept { return m_width; }
    std::uint64_t Frames() const noexcept { return m_frames; }
    // The bytes the buckets take; fixed by Reset.
    std::size_t MemoryBytes() const noexcept;

    // The points of one column in the order of the frames: per bucket its
    // least and greatest value at their own x (one point when they are one).
    void AppendPoints(std::size_t column, std::vector<CSeriesPoint>& out) const;
    // The buckets with marked frames, in order.
    void AppendMarks(std::vector<CSeriesMark>& out) const;

  private:
    struct CCell {
        double low, low_x, high, high_x;
    };
    struct CBucket {
        std::uint64_t frames;
        double mark_x;
        std::uint8_t marks;
    };
    void StartBucket();
    void MergePairs();

    std::size_t m_columns = 0;
    std::size_t m_capacity = 0;
    std::size_t m_used = 0;  // buckets begun
    std::uint64_t m_width = 1;
    std::uint64_t m_frames = 0;
    std::vector<CBucket> m_buckets;
    std::vector<CCell> m_cells;  // bucket by bucket, each with one cell per column
};

}  // namespace dravik

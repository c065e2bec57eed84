// What a quick look window draws of a conversion, gathered as the conversion
// runs: the document hands it the same headings, frames and end as the
// output file, beside that output (CDravikDoc::SetSideOutput); it never reads
// the file back. Per frame it reads calibrated values as the CSV table does
// and files them into bounded buckets (the series, series_buckets.h) and the
// spectrum store (spectrum_store.h): its memory is fixed by its limits,
// whatever the log's length.
//
// A frame's values are read only where they are drawn, which keeps the
// frame's cost small beside the output's: every numeric column that is no
// spectral channel (temperatures, tilts, ...), the channels chosen for the
// series (ChooseSeries), and all channels for the frames the spectrum store
// keeps and for the newest frame after each snapshot. A channel chosen while
// a conversion runs is gathered from then on.
//
// Threads: the headings and the end come from the driving thread, frames from
// the processing thread. One short lock per frame guards the model; a window
// polls Version() (a plain atomic load) and, when it changed, copies what it
// draws with Snapshot, holding the lock only for that copy.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "conversion/conversion_output.h"
#include "conversion/series_buckets.h"
#include "conversion/spectrum_store.h"
#include "instrument/column_values.h"

namespace dravik {

struct CQuickLookLimits {
    std::size_t series_buckets = 512;  // 2 points each, at most: 2 or more a pixel
    std::size_t kept_spectra = 512;
};

// A spectral group as drawn: its channels' place in a spectrum row.
struct CQuickLookGroup {
    std::string type;
    std::string units;
    std::vector<double> wavelengths;
    std::size_t first = 0;  // the group's first channel in a spectrum row
};

// What one conversion offers to draw, fixed by its headings.
struct CQuickLookLayout {
    std::uint64_t generation = 0;  // one more for every conversion
    std::string log_name;
    bool time_x = false;  // series are drawn against the time tag (seconds since 1970)
    // Every output column as the CSV table heads it ("ES(412.5) [uW/cm^2/nm]")
    // and whether it holds numbers that can be drawn.
    std::vector<std::string> column_names;
    std::vector<bool> numeric;
    std::vector<CQuickLookGroup> groups;
};

// A copy of what a window draws.
struct CQuickLookSnapshot {
    std::uint64_t version = 0;
    std::uint64_t generation = 0;
    bool running = false;     // the conversion has not ended yet
    std::uint64_t frames = 0;  // frames drawn
    std::uint64_t marked = 0;  // of them with a frame counter or check sum error
    std::vector<std::vector<CSeriesPoint>> series;  // per column asked for
    std::vector<CSeriesMark> marks;
    int spectrum_index = -1;  // the log's index of the frame of `spectrum` (-1: none)
    std::vector<double> spectrum;  // a row: every group's channels
    std::vector<int> kept_indices;  // the frames whose spectra are kept, in order
};

class CQuickLookOutput : public CConversionOutput {
  public:
    explicit CQuickLookOutput(CQuickLookLimits limits = {});

    int Open(const std::string& path, std::span<const CFileIdentity> refused) override;
    int WriteHeadings(const COutputColumns& columns) override;
    COutputResult WriteFrame(const CFrameRecord& record) override;
    int WriteHeaderRecord(const CFrameData& frame) override;
    int Finish(const CConversionStatus& status, bool complete) override;

    // The columns the series draw, by their names in the layout; names the
    // conversion does not have wait for a conversion that has them.
    void ChooseSeries(std::vector<std::string> names);

    // Changes with every frame, every conversion and its end.
    std::uint64_t Version() const noexcept { return m_version.load(std::memory_order_acquire); }
    CQuickLookLayout Layout() const;
    // The series of `columns` (indices of the layout's columns), the marks,
    // the kept frames and the spectrum of the kept frame nearest to
    // `spectrum_frame`, or of the newest frame when it is negative.
    void Snapshot(std::span<const std::size_t> columns, int spectrum_frame,
                  CQuickLookSnapshot& out) const;
    // The bytes of the model; fixed by the limits and the column count.
    std::size_t MemoryBytes() const;

  private:
    // The frame's x: its time tag in seconds, or its index; NaN when the
    // frame's time tag names no moment.
    double FrameX(const CFrameRecord& record) const;
    // One column's value in the frame (NaN where the CSV cell is empty).
    double Value(std::size_t column, const CFrameRecord& record);
    // The chosen names as columns of the layout, and with them the columns
    // read in every frame.
    void ResolveChosen();

    const CQuickLookLimits m_limits;
    // Processing thread only, between the headings and the end.
    CColumnValues m_values;
    int m_check_sum_column = -1;
    bool m_time_x = false;
    std::vector<double> m_row;
    std::vector<std::size_t> m_channel_columns;  // spectrum row position -> column
    std::vector<double> m_spectrum_row;
    // The numeric columns that are no channel: read in every frame.
    std::vector<std::uint32_t> m_always;
    // The newest frame's spectrum is wanted (a snapshot took the last one).
    mutable std::atomic<bool> m_newest_wanted{true};

    mutable std::mutex m_lock;  // everything below
    std::vector<std::string> m_chosen_names;
    // The columns read in every frame: m_always and the chosen ones.
    std::vector<std::uint32_t> m_series_columns;
    CQuickLookLayout m_layout;
    CSeriesBuckets m_series;
    CSpectrumStore m_spectra;
    bool m_running = false;
    std::uint64_t m_marked = 0;
    std::atomic<std::uint64_t> m_version{0};
};

}  // namespace dravik

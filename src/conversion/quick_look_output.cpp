#include "conversion/quick_look_output.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "conversion/csv_output.h"
#include "conversion/spectral_groups.h"
#include "conversion/utc_time.h"
#include "instrument/sensor.h"

namespace dravik {

namespace {

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

}  // namespace

CQuickLookOutput::CQuickLookOutput(CQuickLookLimits limits) : m_limits(limits) {}

int CQuickLookOutput::Open(const std::string& /*path*/, std::span<const CFileIdentity> /*refused*/) {
    return kFileNone;
}

int CQuickLookOutput::WriteHeadings(const COutputColumns& columns) {
    CQuickLookLayout layout;
    layout.log_name = columns.log_file_name;
    m_channel_columns.clear();
    if (!columns.header_conversion) {
        layout.time_x = columns.params.time_tags != 0;
        std::vector<std::string> names = CsvHeadings(columns);
        // The time and serial number columns come first there.
        const std::size_t skip = names.size() - columns.sensors.size();
        layout.column_names.assign(names.begin() + static_cast<std::ptrdiff_t>(skip), names.end());
        const bool apply_fit = columns.params.format.apply_fit != 0;
        for (const CSensor* sensor : columns.sensors) {
            layout.numeric.push_back(ValueKindOf(sensor, apply_fit) != EValueKind::kText);
        }
        for (CSpectralGroup& group : FindSpectralGroups(columns)) {
            CQuickLookGroup drawn;
            drawn.type = group.type;
            drawn.units = columns.sensors[group.columns[0]]->GetUnits();
            drawn.wavelengths = std::move(group.wavelengths);
            drawn.first = m_channel_columns.size();
            m_channel_columns.insert(m_channel_columns.end(), group.columns.begin(),
                                     group.columns.end());
            layout.groups.push_back(std::move(drawn));
        }
        m_values.Prepare(columns.sensors, apply_fit);
    } else {
        m_values.Prepare({}, false);
    }
    m_check_sum_column = columns.check_sum_column;
    m_time_x = layout.time_x;
    m_row.assign(layout.column_names.size(), kNoValue);
    m_spectrum_row.assign(m_channel_columns.size(), kNoValue);
    m_always.clear();
    for (std::size_t k = 0; k < m_row.size(); ++k) {
        const bool channel = std::find(m_channel_columns.begin(), m_channel_columns.end(), k) !=
                             m_channel_columns.end();
        if (layout.numeric[k] && !channel) m_always.push_back(static_cast<std::uint32_t>(k));
    }

    std::lock_guard<std::mutex> lock(m_lock);
    layout.generation = m_layout.generation + 1;
    m_layout = std::move(layout);
    ResolveChosen();
    m_series.Reset(m_row.size(), m_limits.series_buckets);
    m_spectra.Reset(m_spectrum_row.size(), m_limits.kept_spectra);
    m_running = true;
    m_marked = 0;
    m_newest_wanted = true;
    m_version.fetch_add(1, std::memory_order_release);
    return kFileNone;
}

double CQuickLookOutput::FrameX(const CFrameRecord& record) const {
    if (!m_time_x) return record.frame.GetFrameCounter();
    std::int64_t milliseconds = 0;
    if (record.time_tag.size() >= kTimeTagLength && !record.time_tag_unreadable &&
        TimeTagMilliseconds(DecodeTimeTag(record.time_tag), milliseconds)) {
        return static_cast<double>(milliseconds) / 1000.0;
    }
    return kNoValue;
}

double CQuickLookOutput::Value(std::size_t column, const CFrameRecord& record) {
    // The check sum column shows the frame's check sum residual.
    if (static_cast<int>(column) == m_check_sum_column) return record.check_sum_residual;
    double value = kNoValue;
    return m_values.Number(value, column, record.frame) == kValueOk ? value : kNoValue;
}

COutputResult CQuickLookOutput::WriteFrame(const CFrameRecord& record) {
    const double x = FrameX(record);
    const std::uint8_t marks =
        static_cast<std::uint8_t>((record.frame_counter_error ? kMarkFrameCounter : kMarkNone) |
                                  (record.check_sum_error ? kMarkCheckSum : kMarkNone));
    // One lock per frame; the values read under it are few but for the
    // frames whose spectrum is wanted.
    std::lock_guard<std::mutex> lock(m_lock);
    const bool spectrum =
        !m_spectrum_row.empty() &&
        (m_spectra.WantsNext() || m_newest_wanted.exchange(false, std::memory_order_relaxed));
    m_values.BeginFrame();
    for (const std::uint32_t k : m_series_columns) m_row[k] = Value(k, record);
    // A frame without a moment is left out of the series only.
    if (!std::isnan(x)) m_series.Add(x, m_row.data(), marks, m_series_columns);
    if (marks != kMarkNone) ++m_marked;
    if (spectrum) {
        for (std::size_t c = 0; c < m_channel_columns.size(); ++c) {
            m_spectrum_row[c] = Value(m_channel_columns[c], record);
        }
        m_spectra.Offer(record.frame.GetFrameCounter(), m_spectrum_row);
    } else {
        m_spectra.Skip();
    }
    m_version.fetch_add(1, std::memory_order_release);
    return {};
}

void CQuickLookOutput::ChooseSeries(std::vector<std::string> names) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_chosen_names = std::move(names);
    ResolveChosen();
}

void CQuickLookOutput::ResolveChosen() {
    m_series_columns = m_always;
    for (const std::string& name : m_chosen_names) {
        const auto at = std::find(m_layout.column_names.begin(), m_layout.column_names.end(), name);
        const auto k = static_cast<std::uint32_t>(at - m_layout.column_names.begin());
        if (at != m_layout.column_names.end() && m_layout.numeric[k] &&
            std::find(m_series_columns.begin(), m_series_columns.end(), k) == m_series_columns.end()) {
            m_series_columns.push_back(k);
        }
    }
}

int CQuickLookOutput::WriteHeaderRecord(const CFrameData& /*frame*/) {
    return kFileNone;
}

int CQuickLookOutput::Finish(const CConversionStatus& /*status*/, bool /*complete*/) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_running = false;
    m_version.fetch_add(1, std::memory_order_release);
    return kFileNone;
}

CQuickLookLayout CQuickLookOutput::Layout() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_layout;
}

void CQuickLookOutput::Snapshot(std::span<const std::size_t> columns, int spectrum_frame,
                                CQuickLookSnapshot& out) const {
    std::lock_guard<std::mutex> lock(m_lock);
    m_newest_wanted.store(true, std::memory_order_relaxed);
    out.version = m_version.load(std::memory_order_relaxed);
    out.generation = m_layout.generation;
    out.running = m_running;
    out.frames = m_series.Frames();
    out.marked = m_marked;
    out.series.resize(columns.size());
    for (std::size_t i = 0; i < columns.size(); ++i) {
        out.series[i].clear();
        m_series.AppendPoints(columns[i], out.series[i]);
    }
    out.marks.clear();
    m_series.AppendMarks(out.marks);
    out.kept_indices.resize(m_spectra.Kept());
    for (std::size_t k = 0; k < m_spectra.Kept(); ++k) out.kept_indices[k] = m_spectra.KeptIndex(k);
    std::span<const double> row;
    if (spectrum_frame < 0 || m_spectra.Kept() == 0) {
        out.spectrum_index = m_spectra.NewestIndex();
        row = m_spectra.NewestRow();
    } else {
        const std::size_t k = m_spectra.NearestKept(spectrum_frame);
        out.spectrum_index = m_spectra.KeptIndex(k);
        row = m_spectra.KeptRow(k);
    }
    if (out.spectrum_index < 0) row = {};
    out.spectrum.assign(row.begin(), row.end());
}

std::size_t CQuickLookOutput::MemoryBytes() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_series.MemoryBytes() + m_spectra.MemoryBytes() +
           (m_row.capacity() + m_spectrum_row.capacity()) * sizeof(double);
}

}  // namespace dravik

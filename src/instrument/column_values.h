// The values of one conversion's columns as numbers and texts, for outputs
// that store values rather than their printed text (a CSV table, a NetCDF
// file). Every value is decoded and calibrated exactly as the text table's
// cell is (the same decodings, fits and integration times), so the two agree;
// only the printing differs: numbers stay numbers in full precision, a DDMM
// angle becomes decimal degrees and a TIME2 count a number of seconds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "instrument/frame_integration_times.h"
#include "instrument/sensor.h"

namespace dravik {

// What a column holds.
enum class EValueKind {
    kNumber,   // the raw value, or the calibrated one
    kDegrees,  // a DDMM angle (degrees and minutes packed) as decimal degrees
    kSeconds,  // a TIME2 count: whole seconds since 1970-01-01 00:00:00 UTC
    kText,     // an AS field, or the text of an HHMMSS or DDMMYY time
};

// The kind of a sensor's column, with or without the fits applied (null: a
// column whose sensor is missing, a number that is never there).
EValueKind ValueKindOf(const CSensor* sensor, bool apply_fit) noexcept;

// The first and last second a TIME2 value may name: 0001-01-01 00:00:00 and
// 9999-12-31 23:59:59 UTC, the years a calendar date of four digits can show.
inline constexpr std::int64_t kEarliestUtcSecond = -62135596800LL;
inline constexpr std::int64_t kLatestUtcSecond = 253402300799LL;

class CColumnValues {
  public:
    // The sensor of each column, in column order (null: a missing sensor),
    // and whether the fits apply. The sensors must outlive the values and
    // keep their definition meanwhile.
    void Prepare(std::vector<CSensor*> sensors, bool apply_fit);
    std::size_t Columns() const noexcept { return m_sensors.size(); }
    EValueKind Kind(std::size_t column) const noexcept { return m_kinds[column]; }

    // Starts the values of the next frame.
    void BeginFrame() noexcept;
    // A number, degrees or seconds column: 0 and the value, or the value error
    // code where the text table writes an error text or a blank cell (a
    // TIME2 count the calendar cannot show gives kValueNotFinite).
    int Number(double& out, std::size_t column, const CFrameData& frame);
    // A text column: 0 and the text, valid until the next call, or the code.
    int Text(std::string_view& out, std::size_t column, const CFrameData& frame);

  private:
    template <class Raw>
    int Finish(double& out, std::size_t column, const CFrameData& frame, Raw raw);

    std::vector<CSensor*> m_sensors;
    std::vector<EValueKind> m_kinds;
    bool m_apply_fit = false;
    CFrameIntegrationTimes m_times;
    std::string m_scratch;
    std::string m_text;
};

}  // namespace dravik

#include "instrument/column_values.h"

#include <cmath>
#include <type_traits>

#include "instrument/value_format.h"

namespace dravik {

namespace {

// Decodes the sensor's raw value by its data type and hands it to `use`.
template <class Use>
int WithRaw(const CSensor& sensor, const CFrameData& frame, std::string& scratch, Use&& use) {
    if (sensor.IsUnsignedType()) {
        std::uint32_t raw = 0;
        if (const int code = sensor.DecodeUnsigned(raw, &frame); code != kValueOk) return code;
        return use(raw);
    }
    if (sensor.IsSignedType()) {
        std::int32_t raw = 0;
        if (const int code = sensor.DecodeSigned(raw, &frame, scratch); code != kValueOk) {
            return code;
        }
        return use(raw);
    }
    if (sensor.IsDoubleType()) {
        double raw = 0.0;
        if (const int code = sensor.DecodeDouble(raw, &frame, scratch); code != kValueOk) {
            return code;
        }
        return use(raw);
    }
    return kValueWrongDataType;
}

// The raw value as the text table prints it without a fit: an HS value is
// signed, a short BS field sign-extended.
double RawNumber(const CSensor& s, std::uint32_t raw) {
    return s.GetDataType() == kDataHS ? static_cast<double>(static_cast<std::int32_t>(raw))
                                      : static_cast<double>(raw);
}
double RawNumber(const CSensor& s, std::int32_t raw) {
    return static_cast<double>(SignedRawNumber(s, raw));
}
double RawNumber(const CSensor&, double raw) {
    return raw;
}

// The count of seconds of a TIME2 value, as its calendar text reads it: an
// integer as decoded (an HS value signed), a double without its sign and
// truncated.
int TimeCount(const CSensor& s, std::uint32_t raw, double& seconds) {
    seconds = RawNumber(s, raw);
    return kValueOk;
}
int TimeCount(const CSensor&, std::int32_t raw, double& seconds) {
    seconds = raw;
    return kValueOk;
}
int TimeCount(const CSensor&, double raw, double& seconds) {
    if (!std::isfinite(raw)) return kValueNotFinite;
    seconds = std::trunc(std::fabs(raw));
    return kValueOk;
}

// Degrees and minutes packed as DDMM.mmm, as decimal degrees. The sign is
// kept (the text table, which prints degrees, minutes and seconds, drops it).
int Degrees(double packed, double& degrees) {
    if (!std::isfinite(packed)) return kValueNotFinite;
    const double magnitude = std::fabs(packed);
    const double whole_degrees = std::floor(std::floor(magnitude) / 100.0);
    const double value = whole_degrees + (magnitude - whole_degrees * 100.0) / 60.0;
    degrees = std::signbit(packed) ? -value : value;
    return kValueOk;
}

}  // namespace

EValueKind ValueKindOf(const CSensor* sensor, bool apply_fit) noexcept {
    if (sensor == nullptr) return EValueKind::kNumber;
    if (sensor->IsStringType()) return EValueKind::kText;
    if (!apply_fit || !sensor->IsTimeFit()) return EValueKind::kNumber;
    switch (sensor->GetFitType()) {
        case kFitDDMM:
            return EValueKind::kDegrees;
        case kFitTime2:
            return EValueKind::kSeconds;
        default:
            return EValueKind::kText;
    }
}

void CColumnValues::Prepare(std::vector<CSensor*> sensors, bool apply_fit) {
    m_sensors = std::move(sensors);
    m_apply_fit = apply_fit;
    m_kinds.clear();
    for (const CSensor* sensor : m_sensors) m_kinds.push_back(ValueKindOf(sensor, apply_fit));
    m_times.Prepare(m_sensors);
}

void CColumnValues::BeginFrame() noexcept {
    m_times.BeginFrame();
}

template <class Raw>
int CColumnValues::Finish(double& out, std::size_t column, const CFrameData& frame, Raw raw) {
    const CSensor& sensor = *m_sensors[column];
    if (m_apply_fit && sensor.IsCalibrationFit()) {
        return sensor.ApplyFitTyped(out, raw, m_times.For(column, frame, m_scratch));
    }
    switch (m_kinds[column]) {
        case EValueKind::kDegrees:
            // Only a floating-point field has an angle; the text table writes
            // "Error 4" for any other.
            if constexpr (std::is_same_v<Raw, double>) {
                return Degrees(raw, out);
            } else {
                return kValueFitNotAllowed;
            }
        case EValueKind::kSeconds: {
            double seconds = 0.0;
            if (const int code = TimeCount(sensor, raw, seconds); code != kValueOk) return code;
            if (seconds < static_cast<double>(kEarliestUtcSecond) ||
                seconds > static_cast<double>(kLatestUtcSecond)) {
                return kValueNotFinite;
            }
            out = seconds;
            return kValueOk;
        }
        case EValueKind::kText:
            return kValueWrongDataType;
        case EValueKind::kNumber:
            break;
    }
    out = RawNumber(sensor, raw);
    return kValueOk;
}

int CColumnValues::Number(double& out, std::size_t column, const CFrameData& frame) {
    const CSensor* sensor = m_sensors[column];
    if (sensor == nullptr) return kValueWrongDataType;
    return WithRaw(*sensor, frame, m_scratch,
                   [&](auto raw) { return Finish(out, column, frame, raw); });
}

int CColumnValues::Text(std::string_view& out, std::size_t column, const CFrameData& frame) {
    const CSensor* sensor = m_sensors[column];
    if (sensor == nullptr) return kValueWrongDataType;
    int code = kValueOk;
    if (sensor->IsStringType()) {
        code = sensor->DecodeString(m_text, &frame);
    } else {
        code = WithRaw(*sensor, frame, m_scratch,
                       [&](auto raw) { return sensor->FormatTimeTyped(m_text, raw); });
    }
    if (code == kValueOk) out = m_text;
    return code;
}

}  // namespace dravik

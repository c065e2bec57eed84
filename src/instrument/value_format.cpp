#include "instrument/value_format.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <string_view>

namespace dravik {

namespace {

std::size_t PadFor(const CSensorFormat& fmt, std::size_t length) noexcept {
    const int width = ClampedWidth(fmt);
    return width > 0 && static_cast<std::size_t>(width) > length
               ? static_cast<std::size_t>(width) - length
               : 0;
}

// "%*s": right-aligned in the width when the width is 1 or more.
void AppendPadded(std::string& out, std::string_view text, const CSensorFormat& fmt) {
    out.append(PadFor(fmt, text.size()), ' ');
    out.append(text);
}

void AppendErrorPadded(std::string& out, int code, const CSensorFormat& fmt) {
    char text[] = "Error 0";
    if (code >= kValueWrongDataType && code <= kValueFieldNotFound) {
        text[6] = static_cast<char>('0' + (code - 0x20000000));
    }
    AppendPadded(out, text, fmt);
}

// "%lu" / "%ld" (or "%*lu" / "%*ld" with the width).
template <typename Integer>
void AppendDecimal(std::string& out, Integer value, const CSensorFormat& fmt) {
    char text[24];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    AppendPadded(out, std::string_view(text, static_cast<std::size_t>(end - text)), fmt);
}

// "%X", or "%0*X" zero-filled to the width. An OPTIC1 value is written as its count
// with the gain bits cleared and its gain bits: "%X:%X", or "%0*X:%1X".
void AppendHex(std::string& out, std::uint32_t raw, bool optic1, const CSensorFormat& fmt) {
    const std::uint32_t count = optic1 ? raw & ~3u : raw;
    char text[8];
    const auto end = std::to_chars(text, text + sizeof text, count, 16).ptr;
    const auto length = static_cast<std::size_t>(end - text);
    out.append(PadFor(fmt, length), '0');
    for (const char* c = text; c != end; ++c) {
        out.push_back(*c >= 'a' ? static_cast<char>(*c - 'a' + 'A') : *c);
    }
    if (optic1) {
        out.push_back(':');
        out.push_back(static_cast<char>('0' + (raw & 3u)));
    }
}

// A signed raw value as written when no fit applies (a short BS field
// sign-extended).
void AppendSignedRaw(std::string& out, const CSensor& sensor, std::int32_t value,
                     const CSensorFormat& fmt) {
    AppendDecimal(out, SignedRawNumber(sensor, value), fmt);
}

// Decoding and calibration texts that are not numbers (AS fields, time fits) go
// through one string per thread, so that a row does not allocate per value.
std::string& ScratchText() {
    thread_local std::string scratch;
    return scratch;
}

// Where a value comes from. LockedValues decodes through the sensor's locked
// operations, which keep an OPTIC3 sensor's integration time in the sensor:
// any caller may use it. FrameValues decodes without a
// lock or a store and calibrates an OPTIC3 value with an integration time
// evaluated once for the frame: the rows of a conversion, whose sensors do not
// change while it runs.
struct LockedValues {
    CSensor& sensor;

    int Decode(std::uint32_t& raw, const CFrameData* frame) {
        return sensor.GetUnsignedValue(raw, frame);
    }
    int Decode(std::int32_t& raw, const CFrameData* frame) {
        return sensor.GetSignedValue(raw, frame);
    }
    int Decode(double& raw, const CFrameData* frame) { return sensor.GetDoubleValue(raw, frame); }
    int Decode(std::string& text, const CFrameData* frame) {
        return sensor.GetStringValue(text, frame);
    }
    int Fit(double& v, std::uint32_t raw) { return sensor.ApplyFitUnsigned(v, raw); }
    int Fit(double& v, std::int32_t raw) { return sensor.ApplyFitSigned(v, raw); }
    int Fit(double& v, double raw) { return sensor.ApplyFitDouble(v, raw); }
};

struct FrameValues {
    const CSensor& sensor;
    const CIntegrationTime& time;
    std::string& scratch;

    int Decode(std::uint32_t& raw, const CFrameData* frame) {
        return sensor.DecodeUnsigned(raw, frame);
    }
    int Decode(std::int32_t& raw, const CFrameData* frame) {
        return sensor.DecodeSigned(raw, frame, scratch);
    }
    int Decode(double& raw, const CFrameData* frame) {
        return sensor.DecodeDouble(raw, frame, scratch);
    }
    int Decode(std::string& text, const CFrameData* frame) {
        return sensor.DecodeString(text, frame);
    }
    int Fit(double& v, std::uint32_t raw) { return sensor.ApplyFitUnsigned(v, raw, time); }
    int Fit(double& v, std::int32_t raw) { return sensor.ApplyFitSigned(v, raw, time); }
    int Fit(double& v, double raw) { return sensor.ApplyFitDouble(v, raw, time); }
};

// A failed decoding. A delimited number field left empty is a blank column,
// not an error (signed and double types only).
void AppendDecodeFailure(std::string& out, const CSensor& sensor, int code,
                         const CSensorFormat& fmt, bool blank_when_empty) {
    if (blank_when_empty && code == kValueNoNumber && sensor.IsVariable()) {
        AppendPadded(out, {}, fmt);
    } else {
        AppendErrorPadded(out, code, fmt);
    }
}

// With Apply Fit, a calibration fit gives the calibrated number and a time fit
// its text (or the error text). False when neither applies.
template <class Values, class Raw>
bool AppendFitted(std::string& out, Values& values, Raw raw, const CSensorFormat& fmt) {
    if (!fmt.apply_fit) return false;
    const CSensor& sensor = values.sensor;
    if (sensor.IsCalibrationFit()) {
        double value = 0.0;
        if (const int code = values.Fit(value, raw); code != kValueOk) {
            AppendErrorPadded(out, code, fmt);
        } else {
            AppendDouble(out, value, fmt);
        }
        return true;
    }
    if (sensor.IsTimeFit()) {
        std::string& text = ScratchText();
        if (const int code = sensor.FormatTimeTyped(text, raw); code != kValueOk) {
            AppendErrorPadded(out, code, fmt);
        } else {
            AppendPadded(out, text, fmt);
        }
        return true;
    }
    return false;
}

template <class Values>
void AppendUnsignedSensor(std::string& out, Values& values, const CFrameData* frame,
                          const CSensorFormat& fmt) {
    const CSensor& sensor = values.sensor;
    std::uint32_t raw = 0;
    if (const int code = values.Decode(raw, frame); code != kValueOk) {
        AppendDecodeFailure(out, sensor, code, fmt, false);
        return;
    }
    if (AppendFitted(out, values, raw, fmt)) return;
    if (!fmt.apply_fit && fmt.hex_format) {
        AppendHex(out, raw, sensor.GetFitType() == kFitOptic1, fmt);
    } else if (sensor.GetDataType() == kDataHS) {
        // An HS value is signed, carried in the unsigned raw value.
        AppendDecimal(out, static_cast<std::int32_t>(raw), fmt);
    } else {
        AppendDecimal(out, raw, fmt);
    }
}

template <class Values>
void AppendSignedSensor(std::string& out, Values& values, const CFrameData* frame,
                        const CSensorFormat& fmt) {
    const CSensor& sensor = values.sensor;
    std::int32_t raw = 0;
    if (const int code = values.Decode(raw, frame); code != kValueOk) {
        AppendDecodeFailure(out, sensor, code, fmt, true);
        return;
    }
    if (AppendFitted(out, values, raw, fmt)) return;
    if (!fmt.apply_fit && fmt.hex_format) {
        AppendHex(out, static_cast<std::uint32_t>(raw), sensor.GetFitType() == kFitOptic1, fmt);
    } else {
        AppendSignedRaw(out, sensor, raw, fmt);
    }
}

template <class Values>
void AppendDoubleSensor(std::string& out, Values& values, const CFrameData* frame,
                        const CSensorFormat& fmt) {
    double raw = 0.0;
    if (const int code = values.Decode(raw, frame); code != kValueOk) {
        AppendDecodeFailure(out, values.sensor, code, fmt, true);
    } else if (!AppendFitted(out, values, raw, fmt)) {
        // Hex Format has no effect on floating-point values.
        AppendDouble(out, raw, fmt);
    }
}

template <class Values>
void AppendStringSensor(std::string& out, Values& values, const CFrameData* frame,
                        const CSensorFormat& fmt) {
    std::string& text = ScratchText();
    if (const int code = values.Decode(text, frame); code != kValueOk) {
        AppendErrorPadded(out, code, fmt);
    } else {
        AppendPadded(out, text, fmt);
    }
}

template <class Values>
void AppendValue(std::string& out, Values& values, const CFrameData* frame,
                 const CSensorFormat& fmt) {
    const CSensor& sensor = values.sensor;
    if (sensor.IsUnsignedType()) {
        AppendUnsignedSensor(out, values, frame, fmt);
    } else if (sensor.IsSignedType()) {
        AppendSignedSensor(out, values, frame, fmt);
    } else if (sensor.IsDoubleType()) {
        AppendDoubleSensor(out, values, frame, fmt);
    } else if (sensor.IsStringType()) {
        AppendStringSensor(out, values, frame, fmt);
    } else {
        AppendErrorPadded(out, kValueWrongDataType, fmt);
    }
}

}  // namespace

void GetValueErrorText(std::string& out, int code) {
    out.clear();
    AppendErrorPadded(out, code, CSensorFormat{});
}

std::int32_t SignedRawNumber(const CSensor& sensor, std::int32_t value) noexcept {
    if (sensor.GetDataType() == kDataBS) {
        // The decoding of a short BS field does not sign-extend; its text does.
        if (sensor.GetFieldLength() == 1) {
            value = static_cast<std::int8_t>(static_cast<std::uint8_t>(value));
        } else if (sensor.GetFieldLength() == 2) {
            value = static_cast<std::int16_t>(static_cast<std::uint16_t>(value));
        }
    }
    return value;
}

void AppendSensorValue(std::string& out, CSensor& sensor, const CFrameData* frame,
                       const CSensorFormat& fmt) {
    LockedValues values{sensor};
    AppendValue(out, values, frame, fmt);
}

void FormatSensorValue(std::string& out, CSensor& sensor, const CFrameData* frame,
                       const CSensorFormat& fmt) {
    out.clear();
    AppendSensorValue(out, sensor, frame, fmt);
}

void CRowValues::Prepare(std::vector<CSensor*> sensors) {
    m_sensors = std::move(sensors);
    m_times.Prepare(m_sensors);
}

void CRowValues::BeginFrame() noexcept {
    m_times.BeginFrame();
}

void CRowValues::AppendValue(std::string& out, std::size_t column, const CFrameData& frame,
                             const CSensorFormat& fmt) {
    const CSensor* sensor = column < m_sensors.size() ? m_sensors[column] : nullptr;
    if (sensor == nullptr) {
        AppendErrorPadded(out, 0, fmt);  // "Error 0"
        return;
    }
    static const CIntegrationTime kNone;
    // Only a calibrated OPTIC3 value needs its integration time.
    const CIntegrationTime& time = fmt.apply_fit ? m_times.For(column, frame, m_scratch) : kNone;
    FrameValues values{*sensor, time, m_scratch};
    dravik::AppendValue(out, values, &frame, fmt);
}

}  // namespace dravik

#include "instrument/sensor.h"

#include "instrument/number_parse.h"
#include "platform/calendar.h"
#include "platform/text.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace dravik {

namespace {

constexpr const char* kDataNames[] = {"BU", "BS", "BF", "BD", "HU", "HS", "AI", "AF", "AS"};
constexpr const char* kFitNames[] = {"NONE",  "COUNT", "DELIMITER", "OPTIC1", "OPTIC2", "OPTIC3",
                                     "POLYF", "POLYU", "DDMM",      "HHMMSS", "DDMMYY", "TIME2"};

// A character that is not a hexadecimal digit counts as the digit 0, so a
// damaged field still gives a defined value of the same width.
std::uint32_t HexDigitOrZero(std::uint8_t c) noexcept {
    const int value = HexDigitValue(static_cast<char>(c));
    return value < 0 ? 0u : static_cast<std::uint32_t>(value);
}

// Decimal integer with leading white space and a sign; characters after the
// number are ignored. No digits, or a value at or beyond the 32-bit limits,
// gives kValueNoNumber.
int ParseInteger(std::string_view text, std::int32_t& value) noexcept {
    std::size_t i = 0;
    while (i < text.size() && IsCSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::int64_t magnitude = 0;
    bool digits = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        digits = true;
        if (magnitude < (std::int64_t{1} << 40)) magnitude = magnitude * 10 + (text[i] - '0');
    }
    if (!digits) return kValueNoNumber;
    std::int64_t v = negative ? -magnitude : magnitude;
    if (v >= 2147483647 || v <= -2147483648LL) return kValueNoNumber;
    value = static_cast<std::int32_t>(v);
    return kValueOk;
}

}  // namespace

const char* DataTypeName(int data_type) noexcept {
    return (data_type >= 0 && data_type < kDataUnset) ? kDataNames[data_type] : "";
}

const char* FitTypeName(int fit_type) noexcept {
    return (fit_type >= 0 && fit_type < kFitUnset) ? kFitNames[fit_type] : "";
}

int DataTypeFromName(std::string_view name) noexcept {
    for (int i = 0; i < kDataUnset; ++i)
        if (EqualsIgnoreCase(name, kDataNames[i])) return i;
    return kDataUnset;
}

int FitTypeFromName(std::string_view name) noexcept {
    for (int i = 0; i < kFitUnset; ++i)
        if (EqualsIgnoreCase(name, kFitNames[i])) return i;
    return kFitUnset;
}

void CSensor::SetVariableField(std::string delimiters, std::string terminator, int index) {
    m_field_delimiters = std::move(delimiters);
    m_terminator = std::move(terminator);
    m_variable_field_index = index;
}

bool CSensor::IsUnsignedType() const noexcept {
    return m_data_type == kDataBU || m_data_type == kDataHU || m_data_type == kDataHS;
}
bool CSensor::IsSignedType() const noexcept {
    return m_data_type == kDataBS || m_data_type == kDataAI;
}
bool CSensor::IsDoubleType() const noexcept {
    return m_data_type == kDataBF || m_data_type == kDataBD || m_data_type == kDataAF;
}
bool CSensor::IsStringType() const noexcept {
    return m_data_type == kDataAS;
}
bool CSensor::IsCountFit() const noexcept {
    return m_fit_type == kFitCount;
}
bool CSensor::IsCalibrationFit() const noexcept {
    return m_fit_type >= kFitOptic1 && m_fit_type <= kFitPolyU;
}
bool CSensor::IsOpticFit() const noexcept {
    return m_fit_type >= kFitOptic1 && m_fit_type <= kFitOptic3;
}
bool CSensor::IsTimeFit() const noexcept {
    return m_fit_type >= kFitDDMM && m_fit_type <= kFitTime2;
}
bool CSensor::IsConvertible() const noexcept {
    return m_fit_type != kFitNone && m_fit_type != kFitDelimiter;
}

void CSensor::SetImmersed(bool immersed) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_immersed.store(immersed, std::memory_order_relaxed);
}

std::uint32_t CSensor::GetUnsignedRawValue() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_unsigned_raw;
}
std::int32_t CSensor::GetSignedRawValue() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_signed_raw;
}
double CSensor::GetDoubleRawValue() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_double_raw;
}
std::string CSensor::GetStringRawValue() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_string_raw;
}

// The field must lie inside the frame by its reported length and inside the
// bytes actually held, so a frame record whose length claims more bytes than
// it carries is never read past its end.
bool CSensor::FrameHolds(const CFrameData& frame) const noexcept {
    std::uint64_t end = std::uint64_t{m_offset} + m_field_length;
    int length = frame.GetFrameLength();
    return length >= 0 && end <= static_cast<std::uint64_t>(length) &&
           end <= frame.GetBytes().size();
}

// Text of a fixed AI/AF/AS field: bytes of 128 and above are skipped, leading
// zero bytes are skipped and the first zero byte after a character ends it.
std::string_view CSensor::FixedFieldText(const CFrameData& frame, std::string& scratch) const {
    auto bytes = frame.GetBytes().subspan(m_offset, m_field_length);
    scratch.clear();
    for (std::uint8_t b : bytes) {
        if (b >= 128) continue;
        if (b == 0) {
            if (scratch.empty()) continue;
            break;
        }
        scratch.push_back(static_cast<char>(b));
    }
    return scratch;
}

void CSensor::AfterDecode(const CFrameData* frame) {
    if (m_fit_type == kFitOptic3)
        m_integration_status.store(StoreIntegrationTime(frame), std::memory_order_relaxed);
}

int CSensor::DecodeUnsigned(std::uint32_t& value, const CFrameData* frame) const noexcept {
    if (m_fit_type == kFitNone || m_fit_type == kFitDelimiter) return kValueFitNotAllowed;
    if (!IsUnsignedType()) return kValueWrongDataType;
    if (frame == nullptr) return kValueNoFrame;
    if (!FrameHolds(*frame)) return kValueFrameTooShort;

    auto bytes = frame->GetBytes().subspan(m_offset, m_field_length);
    std::uint32_t v = 0;
    if (m_data_type == kDataBU) {
        for (std::uint8_t b : bytes) v = (v << 8) + b;
    } else {
        for (std::uint8_t b : bytes) v = (v << 4) + HexDigitOrZero(b);
        if (m_data_type == kDataHS && !bytes.empty()) {
            // Sign and magnitude: the first digit's bit of weight 4 is the sign,
            // its bit of weight 8 is ignored. Only the last 8 digits fit the
            // value, so the sign is taken from the first of those.
            std::size_t digits = bytes.size() < 8 ? bytes.size() : 8;
            unsigned shift = static_cast<unsigned>(4 * digits - 2);
            std::uint32_t magnitude = v & ((std::uint32_t{1} << shift) - 1);
            bool negative = ((v >> shift) & 1u) != 0;
            std::int32_t s = negative ? -static_cast<std::int32_t>(magnitude)
                                      : static_cast<std::int32_t>(magnitude);
            v = static_cast<std::uint32_t>(s);
        }
    }
    value = v;
    return kValueOk;
}

int CSensor::DecodeSigned(std::int32_t& value, const CFrameData* frame,
                          std::string& scratch) const {
    if (m_fit_type == kFitNone || m_fit_type == kFitDelimiter) return kValueFitNotAllowed;
    if (frame == nullptr) return kValueNoFrame;
    if (!m_variable && !FrameHolds(*frame)) return kValueFrameTooShort;

    std::int32_t v = 0;
    if (m_data_type == kDataBS) {
        // Binary fields are read by offset even when marked variable.
        if (!FrameHolds(*frame)) return kValueFrameTooShort;
        std::uint32_t u = 0;
        for (std::uint8_t b : frame->GetBytes().subspan(m_offset, m_field_length)) u = (u << 8) + b;
        v = static_cast<std::int32_t>(u);
    } else if (m_data_type == kDataAI) {
        std::string_view text;
        if (m_variable) {
            int result = ExtractField(frame->GetText(), text, scratch);
            if (result != kValueOk) return result;
        } else {
            text = FixedFieldText(*frame, scratch);
        }
        int result = ParseInteger(text, v);
        if (result != kValueOk) return result;
    } else {
        return kValueWrongDataType;
    }
    value = v;
    return kValueOk;
}

int CSensor::DecodeDouble(double& value, const CFrameData* frame, std::string& scratch) const {
    if (m_fit_type == kFitNone || m_fit_type == kFitDelimiter) return kValueFitNotAllowed;
    if (frame == nullptr) return kValueNoFrame;
    if (!m_variable && !FrameHolds(*frame)) return kValueFrameTooShort;

    double v = 0.0;
    if (m_data_type == kDataBF || m_data_type == kDataBD) {
        std::size_t size = m_data_type == kDataBF ? 4 : 8;
        // A hand-built sensor may declare another length: only a field of the
        // type's size is read as a number, anything else is no number.
        if (m_field_length != size) return kValueNoNumber;
        if (!FrameHolds(*frame)) return kValueFrameTooShort;
        std::uint64_t bits = 0;
        for (std::uint8_t b : frame->GetBytes().subspan(m_offset, size)) bits = (bits << 8) | b;
        if (size == 4) {
            std::uint32_t b32 = static_cast<std::uint32_t>(bits);
            float f;
            std::memcpy(&f, &b32, sizeof f);
            v = f;
        } else {
            std::memcpy(&v, &bits, sizeof v);
        }
        if (!std::isfinite(v)) return kValueNotFinite;
    } else if (m_data_type == kDataAF) {
        std::string_view text;
        if (m_variable) {
            int result = ExtractField(frame->GetText(), text, scratch);
            if (result != kValueOk) return result;
        } else {
            text = FixedFieldText(*frame, scratch);
        }
        if (ParseLeadingDouble(text, v) == 0) return kValueNoNumber;
        if (!std::isfinite(v)) return kValueNotFinite;
    } else {
        return kValueWrongDataType;
    }
    value = v;
    return kValueOk;
}

int CSensor::DecodeString(std::string& value, const CFrameData* frame) const {
    value.clear();
    if (m_fit_type == kFitNone || m_fit_type == kFitDelimiter) return kValueFitNotAllowed;
    if (m_data_type != kDataAS) return kValueWrongDataType;
    if (frame == nullptr) return kValueNoFrame;
    // A variable field's text is kept whatever the extraction gave.
    if (m_variable) return ExtractVariableField(value, frame->GetText());
    if (!FrameHolds(*frame)) return kValueFrameTooShort;
    FixedFieldText(*frame, value);
    return kValueOk;
}

// The locked decodings: the raw value slot is cleared, then holds the
// decoded value, and an OPTIC3 sensor evaluates its integration time.
template <class Raw, class Decode>
int CSensor::DecodeAndStore(Raw& value, Raw& slot, const CFrameData* frame, Decode&& decode) {
    std::lock_guard<std::mutex> guard(m_lock);
    slot = Raw{};
    Raw v{};
    if (int result = decode(v); result != kValueOk) return result;
    AfterDecode(frame);
    slot = v;
    value = v;
    return kValueOk;
}

int CSensor::GetUnsignedValue(std::uint32_t& value, const CFrameData* frame) {
    return DecodeAndStore(value, m_unsigned_raw, frame,
                          [&](std::uint32_t& v) { return DecodeUnsigned(v, frame); });
}

int CSensor::GetSignedValue(std::int32_t& value, const CFrameData* frame) {
    return DecodeAndStore(value, m_signed_raw, frame,
                          [&](std::int32_t& v) { return DecodeSigned(v, frame, m_scratch); });
}

int CSensor::GetDoubleValue(double& value, const CFrameData* frame) {
    return DecodeAndStore(value, m_double_raw, frame,
                          [&](double& v) { return DecodeDouble(v, frame, m_scratch); });
}

int CSensor::GetStringValue(std::string& value, const CFrameData* frame) {
    std::lock_guard<std::mutex> guard(m_lock);
    const int result = DecodeString(m_string_raw, frame);
    if (result == kValueOk) AfterDecode(frame);
    // A variable field's text is handed out whatever the extraction gave.
    if (result == kValueOk || result == kValueFieldNotFound) value = m_string_raw;
    return result;
}

void CSensor::AddCoefficient(double value) {
    m_coefficient_tags.push_back(m_gain_range_index);
    m_coefficients.push_back(value);
}

bool CSensor::GetCoefficient(double& value, int gain_range, int k) const noexcept {
    value = 0.0;
    if (k < 0) return false;
    for (std::size_t i = 0; i < m_coefficient_tags.size(); ++i) {
        if (m_coefficient_tags[i] != gain_range) continue;
        std::size_t j = i + static_cast<std::size_t>(k);
        if (j < m_coefficients.size() && m_coefficient_tags[j] == gain_range) {
            value = m_coefficients[j];
            return true;
        }
        return false;
    }
    return false;
}

// Finds the field in the frame text. `field` views the frame text unless
// escapes had to be decoded, in which case it views `scratch`.
int CSensor::ExtractField(std::string_view frame_text, std::string_view& field,
                          std::string& scratch) const {
    std::string_view rest = frame_text;
    const std::size_t count = m_field_delimiters.size();
    std::size_t i = 0;
    bool found = false;
    for (; i < count; ++i) {
        std::size_t pos = rest.find(m_field_delimiters[i]);
        if (pos == std::string_view::npos) continue;
        rest.remove_prefix(pos + 1);
        if (m_variable_field_index >= 0 && i == static_cast<std::size_t>(m_variable_field_index)) {
            found = true;
            ++i;
            break;
        }
    }
    if (!found) {
        field = {};
        return kValueFieldNotFound;
    }
    std::size_t end = std::string_view::npos;
    for (; i < count && end == std::string_view::npos; ++i) end = rest.find(m_field_delimiters[i]);
    if (end == std::string_view::npos && !m_terminator.empty()) end = rest.find(m_terminator[0]);
    field = rest.substr(0, end);
    if (field.find('^') != std::string_view::npos) {
        scratch = DecodeEscapes(field, "^");
        field = scratch;
    }
    return kValueOk;
}

int CSensor::ExtractVariableField(std::string& out, std::string_view frame_text) const {
    std::string_view field;
    std::string scratch;
    int result = ExtractField(frame_text, field, scratch);
    out.assign(field.data(), field.size());
    return result;
}

std::string CSensor::DecodeEscapes(std::string_view text, std::string_view prefix) {
    if (prefix.empty()) return std::string(text);
    std::string out;
    out.reserve(text.size());
    bool failed = false;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text.compare(i, prefix.size(), prefix) != 0) {
            out.push_back(text[i++]);
            continue;
        }
        i += prefix.size();
        std::size_t take = text.size() - i < 2 ? text.size() - i : 2;
        bool ok = take > 0;
        unsigned byte = 0;
        for (std::size_t j = 0; j < take; ++j) {
            if (HexDigitValue(text[i + j]) < 0)
                ok = false;
            else
                byte = byte * 16 + HexDigitOrZero(static_cast<std::uint8_t>(text[i + j]));
        }
        if (!ok) failed = true;
        if (!failed) out.push_back(static_cast<char>(byte));
        i += take;
    }
    return out;
}

namespace {

// The calibrated value of an integration time sensor, by its data type: BU
// through the unsigned operations, BS and AI the signed ones, BF, BD and AF
// the double ones; any other type has no integration time.
template <class Decode, class Fit>
int CalibratedValue(int data_type, double& value, Decode&& decode, Fit&& fit) {
    switch (data_type) {
        case kDataBU: {
            std::uint32_t raw = 0;
            const int result = decode(raw);
            return result != kValueOk ? result : fit(value, raw);
        }
        case kDataBS:
        case kDataAI: {
            std::int32_t raw = 0;
            const int result = decode(raw);
            return result != kValueOk ? result : fit(value, raw);
        }
        case kDataBF:
        case kDataBD:
        case kDataAF: {
            double raw = 0.0;
            const int result = decode(raw);
            return result != kValueOk ? result : fit(value, raw);
        }
        default:
            return kValueWrongDataType;
    }
}

int DecodeLocked(CSensor& s, std::uint32_t& raw, const CFrameData* frame) {
    return s.GetUnsignedValue(raw, frame);
}
int DecodeLocked(CSensor& s, std::int32_t& raw, const CFrameData* frame) {
    return s.GetSignedValue(raw, frame);
}
int DecodeLocked(CSensor& s, double& raw, const CFrameData* frame) {
    return s.GetDoubleValue(raw, frame);
}
int DecodeFree(const CSensor& s, std::uint32_t& raw, const CFrameData* frame, std::string&) {
    return s.DecodeUnsigned(raw, frame);
}
int DecodeFree(const CSensor& s, std::int32_t& raw, const CFrameData* frame, std::string& scratch) {
    return s.DecodeSigned(raw, frame, scratch);
}
int DecodeFree(const CSensor& s, double& raw, const CFrameData* frame, std::string& scratch) {
    return s.DecodeDouble(raw, frame, scratch);
}
int FitWith(const CSensor& s, double& v, std::uint32_t raw, const CIntegrationTime& t) {
    return s.ApplyFitUnsigned(v, raw, t);
}
int FitWith(const CSensor& s, double& v, std::int32_t raw, const CIntegrationTime& t) {
    return s.ApplyFitSigned(v, raw, t);
}
int FitWith(const CSensor& s, double& v, double raw, const CIntegrationTime& t) {
    return s.ApplyFitDouble(v, raw, t);
}

}  // namespace

// The integration time sensor decodes under its own lock, taken inside this
// sensor's, and keeps its raw value (and its own integration time when it is
// an OPTIC3 sensor itself, which its calibration then reads back).
int CSensor::StoreIntegrationTime(const CFrameData* frame) {
    CSensor* source = m_integration_sensor;
    if (source == nullptr || source == this) return kValueNoIntegrationSensor;
    double time = 0.0;
    const int result = CalibratedValue(
        source->GetDataType(), time, [&](auto& raw) { return DecodeLocked(*source, raw, frame); },
        [&](double& v, auto raw) {
            return FitWith(*source, v, raw, source->StoredIntegrationTime());
        });
    if (result != kValueOk) return result;
    m_integration_time.store(time, std::memory_order_relaxed);
    return kValueOk;
}

int CSensor::GetIntegrationTime(const CFrameData* frame) {
    std::lock_guard<std::mutex> guard(m_lock);
    int result = StoreIntegrationTime(frame);
    m_integration_status.store(result, std::memory_order_relaxed);
    return result;
}

// The loader links a sensor only to one defined before it, so a chain of
// integration time sensors is short and never comes back to a sensor.
CIntegrationTime CSensor::EvaluateIntegrationTime(const CFrameData* frame,
                                                  std::string& scratch) const {
    CIntegrationTime out;
    const CSensor* source = m_integration_sensor;
    if (source == nullptr || source == this) return out;
    CIntegrationTime source_time;
    if (source->GetFitType() == kFitOptic3) {
        source_time = source->EvaluateIntegrationTime(frame, scratch);
    }
    double time = 0.0;
    out.status = CalibratedValue(
        source->GetDataType(), time,
        [&](auto& raw) { return DecodeFree(*source, raw, frame, scratch); },
        [&](double& v, auto raw) { return FitWith(*source, v, raw, source_time); });
    if (out.status == kValueOk) out.time = time;
    return out;
}

int CSensor::ApplyFit(double& value, double x, bool integer, std::int64_t raw_int,
                      const CIntegrationTime& time) const {
    if (m_fit_type == kFitCount) {
        value = x;
        return kValueOk;
    }
    const bool immersed = IsImmersed();
    double result = 0.0;
    switch (m_fit_type) {
        case kFitOptic1: {
            if (!integer) return kValueFitNotAllowed;
            // The two lowest bits select the gain range and stay out of the value.
            int g = static_cast<int>(raw_int & 3);
            if (g > m_gain_range_index) return kValueGainRangeUndefined;
            double xc = static_cast<double>(raw_int & ~std::int64_t{3});
            double a0, a1, im = 1.0;
            GetCoefficient(a0, g, 0);
            GetCoefficient(a1, g, 1);
            if (immersed) GetCoefficient(im, g, 2);
            result = (xc - a0) * im * a1;
            break;
        }
        case kFitOptic2:
        case kFitOptic3: {
            double t = 0.0, c = 0.0;
            if (m_fit_type == kFitOptic3) {
                if (time.status != kValueOk) return time.status;
                t = time.time;
                GetCoefficient(c, 0, 3);
            }
            double a0, a1, im = 1.0;
            GetCoefficient(a0, 0, 0);
            GetCoefficient(a1, 0, 1);
            if (immersed) GetCoefficient(im, 0, 2);
            result = m_fit_type == kFitOptic2 ? (x - a0) * im * a1 : (x - a0) * (c / t) * im * a1;
            break;
        }
        case kFitPolyF: {
            result = m_coefficients.empty() ? 0.0 : m_coefficients[0];
            for (std::size_t i = 1; i < m_coefficients.size(); ++i) result *= x - m_coefficients[i];
            break;
        }
        case kFitPolyU: {
            double power = 1.0;
            for (double a : m_coefficients) {
                result += a * power;
                power *= x;
            }
            break;
        }
        default:
            return kValueFitNotAllowed;
    }
    value = result;
    return std::isfinite(result) ? kValueOk : kValueNotFinite;
}

int CSensor::ApplyFitUnsigned(double& value, std::uint32_t raw,
                              const CIntegrationTime& time) const {
    // An HS value travels in the unsigned slot but means a signed one.
    std::int64_t v =
        m_data_type == kDataHS ? std::int64_t{static_cast<std::int32_t>(raw)} : std::int64_t{raw};
    return ApplyFit(value, static_cast<double>(v), true, v, time);
}

int CSensor::ApplyFitSigned(double& value, std::int32_t raw, const CIntegrationTime& time) const {
    return ApplyFit(value, static_cast<double>(raw), true, raw, time);
}

int CSensor::ApplyFitDouble(double& value, double raw, const CIntegrationTime& time) const {
    return ApplyFit(value, raw, false, 0, time);
}

int CSensor::ApplyFitUnsigned(double& value, std::uint32_t raw) const {
    return ApplyFitUnsigned(value, raw, StoredIntegrationTime());
}

int CSensor::ApplyFitSigned(double& value, std::int32_t raw) const {
    return ApplyFitSigned(value, raw, StoredIntegrationTime());
}

int CSensor::ApplyFitDouble(double& value, double raw) const {
    return ApplyFitDouble(value, raw, StoredIntegrationTime());
}

namespace {

// The latest count of seconds the calendar text can show: 9999-12-31 23:59:59 UTC.
constexpr std::int64_t kLatestTime2 = 253402300799LL;

void PutTwoDigits(char* at, unsigned value) noexcept {
    at[0] = static_cast<char>('0' + value / 10);
    at[1] = static_cast<char>('0' + value % 10);
}

void Time2Text(std::string& text, std::int64_t seconds) {
    if (seconds > kLatestTime2 || seconds < -kLatestTime2) {
        text = CSensor::kTimeOutOfRangeText;
        return;
    }
    if (seconds >= 0) {
        // From 1970 on, the calendar arithmetic gives the text of
        // "%y-%m-%d %H.%M.%S" without the C library's time zone lock.
        std::int64_t year = 0;
        unsigned month = 0, day = 0;
        CivilFromDays(seconds / 86400, year, month, day);
        const auto second_of_day = static_cast<unsigned>(seconds % 86400);
        char buffer[] = "yy-mm-dd HH.MM.SS";
        PutTwoDigits(buffer, static_cast<unsigned>(year % 100));
        PutTwoDigits(buffer + 3, month);
        PutTwoDigits(buffer + 6, day);
        PutTwoDigits(buffer + 9, second_of_day / 3600);
        PutTwoDigits(buffer + 12, second_of_day / 60 % 60);
        PutTwoDigits(buffer + 15, second_of_day % 60);
        text.assign(buffer, sizeof buffer - 1);
        return;
    }
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    char buffer[64];
    std::size_t n = 0;
    if (gmtime_r(&t, &tm) != nullptr)
        n = std::strftime(buffer, sizeof buffer, "%y-%m-%d %H.%M.%S", &tm);
    if (n == 0) {
        text = CSensor::kTimeOutOfRangeText;
    } else {
        text.assign(buffer, n);
    }
}

}  // namespace

int CSensor::FormatTimeInteger(std::string& text, std::int64_t raw, bool is_unsigned) const {
    if (m_fit_type == kFitDDMMYY) {
        char buffer[32];
        int n = is_unsigned
                    ? std::snprintf(buffer, sizeof buffer, "%06u", static_cast<unsigned>(raw))
                    : std::snprintf(buffer, sizeof buffer, "%06d", static_cast<int>(raw));
        std::string_view s(buffer, static_cast<std::size_t>(n));
        text.clear();
        text.append(s.substr(0, 2))
            .append("/")
            .append(s.substr(2, 2))
            .append("/")
            .append(s.substr(s.size() - 2));
        return kValueOk;
    }
    if (m_fit_type == kFitTime2) {
        Time2Text(text, raw);
        return kValueOk;
    }
    return kValueFitNotAllowed;
}

int CSensor::FormatTimeUnsigned(std::string& text, std::uint32_t raw) const {
    if (m_data_type == kDataHS)
        return FormatTimeInteger(text, static_cast<std::int32_t>(raw), false);
    return FormatTimeInteger(text, raw, true);
}

int CSensor::FormatTimeSigned(std::string& text, std::int32_t raw) const {
    return FormatTimeInteger(text, raw, false);
}

int CSensor::FormatTimeDouble(std::string& text, double raw) const {
    if (m_fit_type != kFitDDMM && m_fit_type != kFitHHMMSS && m_fit_type != kFitTime2)
        return kValueFitNotAllowed;
    // Infinity and NaN have no time or angle text.
    if (!std::isfinite(raw)) return kValueNotFinite;
    const double v = std::fabs(raw);
    // Numbers are written with to_chars so that the text never depends on the
    // locale; the buffer holds the fixed-point text of the largest double.
    char buffer[400];
    if (m_fit_type == kFitDDMM) {
        double whole = std::floor(v);
        double fraction = v - whole;
        double hundreds = whole / 100.0;
        double degrees = std::floor(hundreds);
        int minutes = static_cast<int>((hundreds - degrees) * 100.0 + 0.5);
        int seconds = static_cast<int>(fraction * 60.0 + 0.5);
        // Degrees are whole numbers of any size, written in full as an int
        // would be, never overflowing.
        auto [end, ec] =
            std::to_chars(buffer, buffer + sizeof buffer, degrees, std::chars_format::fixed, 0);
        if (ec != std::errc()) return kValueNotFinite;
        char tail[32];
        std::snprintf(tail, sizeof tail, " %02d' %02d\"", minutes, seconds);
        text.assign(buffer, end).append(tail);
        return kValueOk;
    }
    if (m_fit_type == kFitHHMMSS) {
        // "%09.2f": two decimals, zero-padded on the left to nine characters.
        auto [end, ec] =
            std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, 2);
        if (ec != std::errc()) return kValueNotFinite;
        std::string s(buffer, end);
        if (s.size() < 9) s.insert(0, 9 - s.size(), '0');
        text.clear();
        text.append(s, 0, 2).append(":").append(s, 2, 2).append(":").append(s, s.size() - 5, 5);
        return kValueOk;
    }
    double seconds = std::trunc(v);
    if (seconds > static_cast<double>(kLatestTime2)) {
        text = kTimeOutOfRangeText;
    } else {
        Time2Text(text, static_cast<std::int64_t>(seconds));
    }
    return kValueOk;
}

}  // namespace dravik

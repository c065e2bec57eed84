// Field extraction: how a sensor finds its field in a frame and decodes the
// field's bytes or characters into a raw value, and the integration time an
// OPTIC3 sensor evaluates for the frame from its integration time sensor.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "instrument/number_parse.h"
#include "instrument/sensor.h"
#include "platform/text.h"

namespace dravik {

namespace {

// A character that is not a hexadecimal digit counts as the digit 0, so a
// damaged field still gives a defined value of the same width.
std::uint32_t HexDigitOrZero(std::uint8_t c) noexcept {
    const int value = HexDigitValue(static_cast<char>(c));
    return value < 0 ? 0u : static_cast<std::uint32_t>(value);
}

// Decimal integer with leading white space and one sign; characters after the
// number are ignored. No digits, or a value at or beyond the 32-bit limits,
// gives kValueNoNumber.
int ParseInteger(std::string_view text, std::int32_t& value) noexcept {
    std::size_t i = 0;
    while (i < text.size() && IsCSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // Unsigned digits only: a second sign is no number.
    std::uint64_t magnitude = 0;
    const char* const digits = text.data() + i;
    const auto [end, ec] = std::from_chars(digits, text.data() + text.size(), magnitude);
    if (end == digits || ec != std::errc()) return kValueNoNumber;
    if (magnitude >= (negative ? 2147483648u : 2147483647u)) return kValueNoNumber;
    const auto v = static_cast<std::int32_t>(magnitude);
    value = negative ? -v : v;
    return kValueOk;
}

}  // namespace

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

// Text of an AI or AF field: cut out of the frame's text for a variable
// field, made from the field's bytes for a fixed one.
int CSensor::NumberText(const CFrameData& frame, std::string_view& text,
                        std::string& scratch) const {
    if (m_variable) return ExtractField(frame.GetText(), text, scratch);
    text = FixedFieldText(frame, scratch);
    return kValueOk;
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
        if (int result = NumberText(*frame, text, scratch); result != kValueOk) return result;
        if (int result = ParseInteger(text, v); result != kValueOk) return result;
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
        if (int result = NumberText(*frame, text, scratch); result != kValueOk) return result;
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
        // Two digits, or the one left at the end of the text, all taken.
        const char* const digits = text.data() + i;
        const std::size_t take = std::min<std::size_t>(2, text.size() - i);
        unsigned byte = 0;
        const auto [end, ec] = std::from_chars(digits, digits + take, byte, 16);
        if (take == 0 || ec != std::errc() || end != digits + take) failed = true;
        if (!failed) out.push_back(static_cast<char>(byte));
        i += take;
    }
    return out;
}

void CSensor::AfterDecode(const CFrameData* frame) {
    if (m_fit_type == kFitOptic3)
        m_integration_status.store(StoreIntegrationTime(frame), std::memory_order_relaxed);
}

// The locked decodings: an OPTIC3 sensor also evaluates its integration time
// for the frame, which its calibration then reads back.
template <class Raw, class Decode>
int CSensor::DecodeLocked(Raw& value, const CFrameData* frame, Decode&& decode) {
    std::lock_guard<std::mutex> guard(m_lock);
    Raw v{};
    if (int result = decode(v); result != kValueOk) return result;
    AfterDecode(frame);
    value = v;
    return kValueOk;
}

int CSensor::GetUnsignedValue(std::uint32_t& value, const CFrameData* frame) {
    return DecodeLocked(value, frame, [&](std::uint32_t& v) { return DecodeUnsigned(v, frame); });
}

int CSensor::GetSignedValue(std::int32_t& value, const CFrameData* frame) {
    return DecodeLocked(value, frame,
                        [&](std::int32_t& v) { return DecodeSigned(v, frame, m_scratch); });
}

int CSensor::GetDoubleValue(double& value, const CFrameData* frame) {
    return DecodeLocked(value, frame, [&](double& v) { return DecodeDouble(v, frame, m_scratch); });
}

int CSensor::GetStringValue(std::string& value, const CFrameData* frame) {
    std::lock_guard<std::mutex> guard(m_lock);
    const int result = DecodeString(m_scratch, frame);
    if (result == kValueOk) AfterDecode(frame);
    // A variable field's text is handed out whatever the extraction gave.
    if (result == kValueOk || result == kValueFieldNotFound) value = m_scratch;
    return result;
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

int DecodeWithLock(CSensor& s, std::uint32_t& raw, const CFrameData* frame) {
    return s.GetUnsignedValue(raw, frame);
}
int DecodeWithLock(CSensor& s, std::int32_t& raw, const CFrameData* frame) {
    return s.GetSignedValue(raw, frame);
}
int DecodeWithLock(CSensor& s, double& raw, const CFrameData* frame) {
    return s.GetDoubleValue(raw, frame);
}
int DecodeWithoutLock(const CSensor& s, std::uint32_t& raw, const CFrameData* frame, std::string&) {
    return s.DecodeUnsigned(raw, frame);
}
int DecodeWithoutLock(const CSensor& s, std::int32_t& raw, const CFrameData* frame,
                      std::string& scratch) {
    return s.DecodeSigned(raw, frame, scratch);
}
int DecodeWithoutLock(const CSensor& s, double& raw, const CFrameData* frame,
                      std::string& scratch) {
    return s.DecodeDouble(raw, frame, scratch);
}

}  // namespace

// The integration time sensor decodes under its own lock, taken inside this
// sensor's, and keeps its own integration time when it is an OPTIC3 sensor
// itself, which its calibration then reads back.
int CSensor::StoreIntegrationTime(const CFrameData* frame) {
    CSensor* source = m_integration_sensor;
    if (source == nullptr || source == this) return kValueNoIntegrationSensor;
    double time = 0.0;
    const int result = CalibratedValue(
        source->GetDataType(), time, [&](auto& raw) { return DecodeWithLock(*source, raw, frame); },
        [&](double& v, auto raw) {
            return source->ApplyFitTyped(v, raw, source->StoredIntegrationTime());
        });
    if (result != kValueOk) return result;
    m_integration_time.store(time, std::memory_order_relaxed);
    return kValueOk;
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
        [&](auto& raw) { return DecodeWithoutLock(*source, raw, frame, scratch); },
        [&](double& v, auto raw) { return source->ApplyFitTyped(v, raw, source_time); });
    if (out.status == kValueOk) out.time = time;
    return out;
}

}  // namespace dravik

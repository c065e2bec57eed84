// One field of an instrument's frame: where it lies, how its bytes or characters
// become a raw value, and the calibration data that turn the raw value into the
// value written to the output (fits and time texts).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/frame_data.h"

namespace dravik {

// Data types, stored as their position; kDataUnset means none.
enum DataType : int {
    kDataBU = 0,  // big-endian unsigned integer, 1 to 4 bytes
    kDataBS = 1,  // big-endian integer, not sign-extended below 4 bytes
    kDataBF = 2,  // IEEE 754 single, most significant byte first
    kDataBD = 3,  // IEEE 754 double, most significant byte first
    kDataHU = 4,  // hexadecimal digit characters, unsigned
    kDataHS = 5,  // hexadecimal digit characters, sign and magnitude
    kDataAI = 6,  // text as a decimal integer
    kDataAF = 7,  // text as a decimal floating-point number
    kDataAS = 8,  // the text itself
    kDataUnset = 9,
};

// Fit types, stored as their position; kFitUnset means none (kFitNone is the NONE fit).
enum FitType : int {
    kFitNone = 0,
    kFitCount = 1,
    kFitDelimiter = 2,
    kFitOptic1 = 3,
    kFitOptic2 = 4,
    kFitOptic3 = 5,
    kFitPolyF = 6,
    kFitPolyU = 7,
    kFitDDMM = 8,
    kFitHHMMSS = 9,
    kFitDDMMYY = 10,
    kFitTime2 = 11,
    kFitUnset = 12,
};

// Value error codes of decoding, calibration and time formatting (0 is success).
inline constexpr int kValueOk = 0;
inline constexpr int kValueWrongDataType = 0x20000001;       // data type does not fit the operation
inline constexpr int kValueFrameTooShort = 0x20000002;       // frame shorter than offset + length
inline constexpr int kValueGainRangeUndefined = 0x20000003;  // OPTIC1 gain bits past the ranges
inline constexpr int kValueFitNotAllowed = 0x20000004;  // fit type does not allow the operation
inline constexpr int kValueNoFrame = 0x20000005;        // no frame was passed
inline constexpr int kValueNoNumber = 0x20000006;       // AI/AF without a number, AI out of range
inline constexpr int kValueNotFinite = 0x20000007;      // infinity or NaN
inline constexpr int kValueFieldNotFound = 0x20000008;  // variable field missing from the text
inline constexpr int kValueNoIntegrationSensor = 0x20000009;

// The data or fit type of a name ("BU", "OPTIC3", ...) ignoring case;
// kDataUnset / kFitUnset for an unknown name.
int DataTypeFromName(std::string_view name) noexcept;
int FitTypeFromName(std::string_view name) noexcept;
// The name of a fit type ("" for kFitUnset and beyond).
std::string_view FitTypeName(int fit_type) noexcept;

// The integration time an OPTIC3 value is calibrated with, and the value error
// code of its evaluation.
struct CIntegrationTime {
    int status = kValueNoIntegrationSensor;
    double time = 0.0;
};

class CSensor {
  public:
    CSensor() = default;
    CSensor(const CSensor&) = delete;
    CSensor& operator=(const CSensor&) = delete;

    // Definition, as read from the instrument file. These return references
    // because the definition is not changed once the instrument is loaded.
    const std::string& GetType() const noexcept { return m_type; }
    const std::string& GetIdentifier() const noexcept { return m_identifier; }
    const std::string& GetUnits() const noexcept { return m_units; }
    const std::string& GetFieldDelimiters() const noexcept { return m_field_delimiters; }
    const std::string& GetTerminator() const noexcept { return m_terminator; }
    std::uint32_t GetFieldLength() const noexcept { return m_field_length; }
    std::uint32_t GetGainRanges() const noexcept { return m_gain_ranges; }
    std::uint32_t GetOffset() const noexcept { return m_offset; }
    int GetDataType() const noexcept { return m_data_type; }
    int GetFitType() const noexcept { return m_fit_type; }
    int GetVariableFieldIndex() const noexcept { return m_variable_field_index; }
    const CSensor* GetIntegrationTimeSensor() const noexcept { return m_integration_sensor; }
    bool IsImmersed() const noexcept { return m_immersed.load(std::memory_order_relaxed); }
    bool IsVariable() const noexcept { return m_variable; }

    // Filled by the instrument loader (and by tests that build sensors by hand).
    void SetType(std::string value) { m_type = std::move(value); }
    void SetIdentifier(std::string value) { m_identifier = std::move(value); }
    void SetUnits(std::string value) { m_units = std::move(value); }
    void SetFieldLength(std::uint32_t value) noexcept { m_field_length = value; }
    void SetGainRanges(std::uint32_t value) noexcept { m_gain_ranges = value; }
    void SetOffset(std::uint32_t value) noexcept { m_offset = value; }
    void SetDataType(int value) noexcept { m_data_type = value; }
    void SetFitType(int value) noexcept { m_fit_type = value; }
    void SetVariable(bool value) noexcept { m_variable = value; }
    // A variable field learns the frame's FIELD delimiters, its terminator and
    // its position among the variable fields once the TERMINATOR line is read.
    void SetVariableField(std::string delimiters, std::string terminator, int index);
    // Not owned; must be another sensor of the same instrument (a sensor that
    // names itself is treated as having none).
    void SetIntegrationTimeSensor(CSensor* sensor) noexcept { m_integration_sensor = sensor; }
    // Starts the next gain range line: coefficients added from now on carry its index.
    void NextGainRange() noexcept { ++m_gain_range_index; }

    // Classification.
    bool IsUnsignedType() const noexcept {
        return m_data_type == kDataBU || m_data_type == kDataHU || m_data_type == kDataHS;
    }
    bool IsSignedType() const noexcept { return m_data_type == kDataBS || m_data_type == kDataAI; }
    bool IsDoubleType() const noexcept {
        return m_data_type == kDataBF || m_data_type == kDataBD || m_data_type == kDataAF;
    }
    bool IsStringType() const noexcept { return m_data_type == kDataAS; }
    // OPTIC1, OPTIC2, OPTIC3, POLYF, POLYU
    bool IsCalibrationFit() const noexcept {
        return m_fit_type >= kFitOptic1 && m_fit_type <= kFitPolyU;
    }
    // OPTIC1, OPTIC2, OPTIC3
    bool IsOpticFit() const noexcept { return m_fit_type >= kFitOptic1 && m_fit_type <= kFitOptic3; }
    // DDMM, HHMMSS, DDMMYY, TIME2
    bool IsTimeFit() const noexcept { return m_fit_type >= kFitDDMM && m_fit_type <= kFitTime2; }

    void SetImmersed(bool immersed);

    // Decoding of one frame under the sensor's lock; each returns a value error
    // code, and an OPTIC3 sensor stores the integration time of the frame for
    // its calibration. An HS value is a signed 32-bit value carried as unsigned.
    int GetUnsignedValue(std::uint32_t& value, const CFrameData* frame);
    int GetSignedValue(std::int32_t& value, const CFrameData* frame);
    int GetDoubleValue(double& value, const CFrameData* frame);
    int GetStringValue(std::string& value, const CFrameData* frame);

    // The same decodings without the lock and without storing anything in the
    // sensor: the integration time is not evaluated either. They read only the
    // definition, so any thread may call them while the definition stays as
    // loaded (as it does for the whole of a conversion). `scratch` holds the
    // text of an AI or AF field.
    int DecodeUnsigned(std::uint32_t& value, const CFrameData* frame) const noexcept;
    int DecodeSigned(std::int32_t& value, const CFrameData* frame, std::string& scratch) const;
    int DecodeDouble(double& value, const CFrameData* frame, std::string& scratch) const;
    int DecodeString(std::string& value, const CFrameData* frame) const;

    // Gain coefficients: AddCoefficient tags the value with the current gain
    // range index; GetCoefficient finds coefficient k of gain range g (0.0 and
    // false when missing).
    void AddCoefficient(double value);
    bool GetCoefficient(double& value, int gain_range, int k) const noexcept;
    // Every coefficient, in the instrument file's order.
    const std::vector<double>& GetCoefficients() const noexcept { return m_coefficients; }

    // Cuts this variable field out of a frame's text (escapes "^hh" decoded).
    int ExtractVariableField(std::string& out, std::string_view frame_text) const;
    // Replaces every `prefix` followed by two hexadecimal digits with that byte.
    static std::string DecodeEscapes(std::string_view text, std::string_view prefix);

    // OPTIC3, without any lock and without storing anything: the integration
    // time this sensor's values use in this frame.
    CIntegrationTime EvaluateIntegrationTime(const CFrameData* frame, std::string& scratch) const;

    // Calibration of a raw value by the fit type (COUNT included); an OPTIC3
    // value takes the integration time stored by the last locked decoding.
    int ApplyFitUnsigned(double& value, std::uint32_t raw) const;
    int ApplyFitSigned(double& value, std::int32_t raw) const;
    int ApplyFitDouble(double& value, double raw) const;
    // The same, an OPTIC3 value taking the integration time given rather than
    // the one stored by the last decoding.
    int ApplyFitUnsigned(double& value, std::uint32_t raw, const CIntegrationTime& time) const;
    int ApplyFitSigned(double& value, std::int32_t raw, const CIntegrationTime& time) const;
    int ApplyFitDouble(double& value, double raw, const CIntegrationTime& time) const;
    // Texts of the time fits: DDMMYY and TIME2 for integers; DDMM, HHMMSS and
    // TIME2 for doubles.
    int FormatTimeUnsigned(std::string& text, std::uint32_t raw) const;
    int FormatTimeSigned(std::string& text, std::int32_t raw) const;
    int FormatTimeDouble(std::string& text, double raw) const;
    // The same two, chosen by the type of the raw value, for code written once
    // for every kind of raw value.
    int ApplyFitTyped(double& value, std::uint32_t raw, const CIntegrationTime& time) const {
        return ApplyFitUnsigned(value, raw, time);
    }
    int ApplyFitTyped(double& value, std::int32_t raw, const CIntegrationTime& time) const {
        return ApplyFitSigned(value, raw, time);
    }
    int ApplyFitTyped(double& value, double raw, const CIntegrationTime& time) const {
        return ApplyFitDouble(value, raw, time);
    }
    int FormatTimeTyped(std::string& text, std::uint32_t raw) const {
        return FormatTimeUnsigned(text, raw);
    }
    int FormatTimeTyped(std::string& text, std::int32_t raw) const {
        return FormatTimeSigned(text, raw);
    }
    int FormatTimeTyped(std::string& text, double raw) const { return FormatTimeDouble(text, raw); }

    // The text written for a TIME2 count of seconds the calendar cannot show
    // (beyond the year 9999).
    static constexpr const char* kTimeOutOfRangeText = "**-**-** **.**.**";

  private:
    bool FrameHolds(const CFrameData& frame) const noexcept;
    int ExtractField(std::string_view frame_text, std::string_view& field,
                     std::string& scratch) const;
    std::string_view FixedFieldText(const CFrameData& frame, std::string& scratch) const;
    int NumberText(const CFrameData& frame, std::string_view& text, std::string& scratch) const;
    template <class Raw, class Decode>
    int DecodeLocked(Raw& value, const CFrameData* frame, Decode&& decode);
    int StoreIntegrationTime(const CFrameData* frame);
    void AfterDecode(const CFrameData* frame);
    int ApplyFit(double& value, double x, bool integer, std::int64_t raw_int,
                 const CIntegrationTime& time) const;
    CIntegrationTime StoredIntegrationTime() const noexcept {
        return {m_integration_status.load(std::memory_order_relaxed),
                m_integration_time.load(std::memory_order_relaxed)};
    }
    int FormatTimeInteger(std::string& text, std::int64_t raw, bool is_unsigned) const;

    // What every decoding and fit of a value reads comes first, so that a
    // value touches as few cache lines as possible: a frame of a radiometer
    // decodes and calibrates over a hundred sensors.
    std::vector<int> m_coefficient_tags;
    std::vector<double> m_coefficients;
    std::uint32_t m_field_length = 0;
    std::uint32_t m_offset = 0;
    int m_data_type = kDataUnset;
    int m_fit_type = kFitUnset;
    int m_gain_range_index = -1;
    int m_variable_field_index = -1;
    std::atomic<bool> m_immersed{false};
    bool m_variable = false;
    std::uint32_t m_gain_ranges = 0;
    CSensor* m_integration_sensor = nullptr;
    // Written while decoding under the lock, read by the calibration, which
    // takes no lock.
    std::atomic<int> m_integration_status{kValueNoIntegrationSensor};
    std::atomic<double> m_integration_time{0.0};
    std::mutex m_lock;
    std::string m_scratch;  // text of an AI, AF or AS field; guarded by m_lock

    std::string m_field_delimiters;
    std::string m_terminator;
    std::string m_type;
    std::string m_identifier;
    std::string m_units;
};

}  // namespace dravik

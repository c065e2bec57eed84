// One instrument read from one instrument file (".cal" calibration file or
// ".tdf" telemetry definition file): its header, frame kind and size, the
// variable frame's delimiters and terminator, and its sensors in file order.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "instrument/sensor.h"

namespace dravik {

// Results of Load and GetSensor (0 is success).
inline constexpr int kInstrumentOk = 0;
inline constexpr int kInstrumentNoFileName = 0x30000000;
inline constexpr int kInstrumentAlreadyLoaded = 0x30000001;
inline constexpr int kInstrumentOpenFailed = 0x30000002;
inline constexpr int kInstrumentReadFailed = 0x30000003;
inline constexpr int kInstrumentTooManyMalformedLines = 0x30000004;
inline constexpr int kInstrumentNoInstrumentLine = 0x30000005;
inline constexpr int kInstrumentNoTerminator = 0x30000006;
inline constexpr int kInstrumentBadFitType = 0x30000007;
inline constexpr int kInstrumentBadFieldLength = 0x3000000e;
inline constexpr int kInstrumentBadDataType = 0x3000000f;
inline constexpr int kInstrumentBadGainRanges = 0x30000010;
inline constexpr int kInstrumentInvalidSensorIndex = 0x30000011;
inline constexpr int kInstrumentSensorNotFound = 0x30000012;

// Line diagnostics (they share the loader's code space).
inline constexpr int kDiagLineFormat = 0x30000008;
inline constexpr int kDiagUnits = 0x30000009;
inline constexpr int kDiagFitType = 0x3000000a;
inline constexpr int kDiagMoreGainRanges = 0x3000000b;
inline constexpr int kDiagGainCoefficient = 0x3000000c;
inline constexpr int kDiagGainCoefficientCount = 0x3000000d;
inline constexpr int kDiagFieldLength = 0x3000000e;
inline constexpr int kDiagDataType = 0x3000000f;
inline constexpr int kDiagGainRanges = 0x30000010;
inline constexpr int kDiagVariableInFixedFrame = 0x30000013;
inline constexpr int kDiagAfterTerminator = 0x30000014;
inline constexpr int kDiagDelimiterLine = 0x30000015;
inline constexpr int kDiagNotVariableField = 0x30000016;
inline constexpr int kDiagFieldDelimiterLength = 0x30000017;
inline constexpr int kDiagTerminatorLength = 0x30000018;
inline constexpr int kDiagDelimiterFitUse = 0x30000019;
inline constexpr int kDiagNoIntegrationSensor = 0x3000001a;

// Actions that follow a line diagnostic.
enum class LoadAction : int {
    kNone,
    kSensorIgnored,
    kUnitsIgnored,
    kExtraParametersIgnored,
    kCoefficientIgnored,
    kExtraCoefficientsIgnored,
    kFitSetToNone,
    kDataSetToBU,
    kDataSetToAF,
    kDataSetToAS,
    kDataSetToAI,
    kGainRangesSetTo0,
    kGainRangesSetTo1,
    kGainRangesSetTo4,
    kFieldLengthSetTo1,
    kFieldLengthSetTo4,
    kFieldLengthSetTo8,
    kFieldDelimiterSetToComma,
    kTerminatorSetToCrLf,
};

class CInstrumentLoader;

class CInstrument {
  public:
    CInstrument() = default;
    CInstrument(const CInstrument&) = delete;
    CInstrument& operator=(const CInstrument&) = delete;

    // Reads and checks one instrument file; returns 0 or a result code. The
    // message text holds the summary (with every line diagnostic) or, on a
    // fatal result, that result's message and code text.
    int Load(const std::string& file_name);

    const std::string& GetHeader() const noexcept { return m_header; }
    const std::string& GetSerialNumber() const noexcept { return m_serial_number; }
    const std::string& GetFileType() const noexcept { return m_file_type; }
    const std::string& GetMessage() const noexcept { return m_message; }
    const std::string& GetTerminator() const noexcept { return m_terminator; }
    const std::string& GetFieldDelimiters() const noexcept { return m_field_delimiters; }
    int GetFrameSize() const noexcept { return m_frame_size; }
    int GetSensorCount() const noexcept { return static_cast<int>(m_sensors.size()); }
    int GetErrorCount() const noexcept { return m_error_count; }
    bool IsVariableFrame() const noexcept { return m_variable_frame; }

    // The sensor at `index`, or nullptr with the message text set to the
    // failure (0x30000011 for an index out of range).
    CSensor* GetSensor(int index);
    const CSensor* GetSensor(int index) const;
    const std::vector<std::unique_ptr<CSensor>>& GetSensors() const noexcept { return m_sensors; }
    // Index of the first sensor after `after` (from 0 when negative) whose type
    // equals `type` ignoring case, or -1.
    int FindSensor(std::string_view type, int after) const;

    // Texts of results, file error causes, line diagnostics and actions.
    static const char* GetCodeText(int code) noexcept;
    static std::string GetFileErrorText(int cause);
    static const char* GetDiagnosticText(int code) noexcept;
    static const char* GetActionText(LoadAction action) noexcept;

  private:
    // The loader fills the instrument from its file.
    friend class CInstrumentLoader;

    int m_error_count = 0;
    int m_frame_size = 0;
    bool m_variable_frame = false;
    std::string m_file_type = "Instrument File";
    std::string m_header;
    std::string m_serial_number;
    std::string m_file_name;
    mutable std::string m_message;
    std::string m_terminator;
    std::string m_field_delimiters;
    std::vector<std::unique_ptr<CSensor>> m_sensors;
};

}  // namespace dravik

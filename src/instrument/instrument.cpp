#include "instrument/instrument.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "instrument/number_parse.h"
#include "platform/disk_file.h"
#include "platform/text.h"

namespace dravik {

namespace {

constexpr const char* kAborted = "\tInstrument processing aborted.\r\n";

// Longest line an instrument file may hold.
constexpr std::size_t kMaxLineLength = 64u << 20;

bool IsBlank(char c) noexcept {
    return c == ' ' || c == '\t';
}

// An unsigned decimal parameter: digits only, and below 4294967295 (that
// value, and everything that does not fit 32 bits, is refused).
bool ParseUnsigned(std::string_view text, std::uint32_t& value) noexcept {
    if (text.empty()) return false;
    std::uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<unsigned>(c - '0');
        if (v >= 4294967295ULL) return false;
    }
    value = static_cast<std::uint32_t>(v);
    return true;
}

// A gain coefficient: the whole word is one finite decimal number.
bool ParseCoefficient(std::string_view word, double& value) {
    double v = 0.0;
    std::size_t taken = ParseLeadingDouble(word, v);
    if (taken == 0 || taken != word.size() || !std::isfinite(v)) return false;
    value = v;
    return true;
}

std::string NameLine(const std::string& file_type, const std::string& name) {
    return "\t" + file_type + " Name: \"" + name + "\".\r\n";
}

}  // namespace

struct CInstrument::LoadState {
    std::unique_ptr<CSensor> pending;  // the sensor whose gain range lines are being read
    std::uint32_t gain_lines_left = 0;
    bool current_valid = true;
};

const char* CInstrument::GetCodeText(int code) noexcept {
    switch (code) {
        case kInstrumentOk:
            return "\tNo error.\r\n";
        case kInstrumentNoFileName:
            return "\tThe Calibration or Telemetry Definition File was not specified.\r\n"
                   "\tInstrument processing aborted.\r\n";
        case kInstrumentAlreadyLoaded:
            return "\tThe instrument has already been defined.\r\n\tInstrument processing "
                   "aborted.\r\n";
        // The file error line comes first for these two.
        case kInstrumentOpenFailed:
        case kInstrumentReadFailed:
            return kAborted;
        case kInstrumentTooManyMalformedLines:
            return "\tThe file format is invalid or corrupted.\r\n\tInstrument processing "
                   "aborted.\r\n";
        case kInstrumentNoInstrumentLine:
            return kAborted;
        case kInstrumentNoTerminator:
            return "\tThe TERMINATOR delimiter could not be found.\r\n"
                   "\tInstrument processing aborted.\r\n";
        case kInstrumentBadFitType:
            return "\tThe fit type parameter is invalid.\r\n\tInstrument processing aborted.\r\n";
        case kInstrumentBadFieldLength:
            return "\tThe field length parameter is invalid.\r\n\tInstrument processing "
                   "aborted.\r\n";
        case kInstrumentBadDataType:
            return "\tThe data type parameter is invalid.\r\n\tInstrument processing aborted.\r\n";
        case kInstrumentBadGainRanges:
            return "\tThe gain range parameter is invalid.\r\n\tInstrument processing aborted.\r\n";
        case kInstrumentInvalidSensorIndex:
            return "\tThe sensor reference is invalid.\r\n";
        case kInstrumentSensorNotFound:
            return "\tThe sensor could not be found.\r\n";
        default:
            return "\tUnknown error.\r\n";
    }
}

const char* CInstrument::GetFileErrorText(int cause) noexcept {
    const char* text = FileErrorCauseText(cause);
    return text != nullptr ? text : "An unknown file error orrured.\r\n";
}

const char* CInstrument::GetDiagnosticText(int code) noexcept {
    switch (code) {
        case 0:
            return "No error.\r\n";
        case kDiagLineFormat:
            return "Unexpected sensor definition line format.\r\n";
        case kDiagUnits:
            return "The units parameter format is invalid.\r\n";
        case kDiagFitType:
            return "The fit type parameter is invalid.\r\n";
        case kDiagMoreGainRanges:
            return "More gain ranges expected before the end of file.\r\n";
        case kDiagGainCoefficient:
            return "Invalid gain coefficient found in gain range line.\r\n";
        case kDiagGainCoefficientCount:
            return "Unexpected number of gain coefficients found in gain range line.\r\n";
        case kDiagFieldLength:
            return "The field length parameter is invalid.\r\n";
        case kDiagDataType:
            return "The data type parameter is invalid.\r\n";
        case kDiagGainRanges:
            return "The gain range parameter is invalid.\r\n";
        case kDiagVariableInFixedFrame:
            return "Variable field length parameter found in a fixed frame length format.\r\n";
        case kDiagAfterTerminator:
            return "Cannot have sensors defined after the TERMINATOR delimiter.\r\n";
        case kDiagDelimiterLine:
            return "Invalid DELIMITER definition line.\r\n";
        case kDiagNotVariableField:
            return "The field length parameter does not specify a variable length field.\r\n";
        case kDiagFieldDelimiterLength:
            return "The FIELD delimiter field length is invalid.\r\n";
        case kDiagTerminatorLength:
            return "The TERMINATOR delimiter field length is invalid.\r\n";
        case kDiagDelimiterFitUse:
            return "Invalid use of the DELIMITER fit type.\r\n";
        case kDiagNoIntegrationSensor:
            return "No valid integration time sensor was found.\r\n";
        default:
            return "Unknown error.\r\n";
    }
}

const char* CInstrument::GetActionText(LoadAction action) noexcept {
    switch (action) {
        case LoadAction::kNone:
            return "\t\t> No action taken.\r\n";
        case LoadAction::kSensorIgnored:
            return "\t\t> Sensor ignored.\r\n";
        case LoadAction::kUnitsIgnored:
            return "\t\t> Sensor units ignored.\r\n";
        case LoadAction::kExtraParametersIgnored:
            return "\t\t> Extra sensor definition line parameters ignored.\r\n";
        case LoadAction::kCoefficientIgnored:
            return "\t\t> Gain coefficient ignored.\r\n";
        case LoadAction::kExtraCoefficientsIgnored:
            return "\t\t> Extra gain coefficients ignored.\r\n";
        case LoadAction::kFitSetToNone:
            return "\t\t> Fit type set to NONE.\r\n";
        case LoadAction::kDataSetToBU:
            return "\t\t> Data type set to BU.\r\n";
        case LoadAction::kDataSetToAF:
            return "\t\t> Data type set to AF.\r\n";
        case LoadAction::kDataSetToAS:
            return "\t\t> Data type set to AS.\r\n";
        case LoadAction::kDataSetToAI:
            return "\t\t> Data type set to AI.\r\n";
        case LoadAction::kGainRangesSetTo0:
            return "\t\t> Gain ranges set to 0.\r\n";
        case LoadAction::kGainRangesSetTo1:
            return "\t\t> Gain ranges set to 1.\r\n";
        case LoadAction::kGainRangesSetTo4:
            return "\t\t> Gain ranges set to 4.\r\n";
        case LoadAction::kFieldLengthSetTo1:
            return "\t\t> Field length set to 1.\r\n";
        case LoadAction::kFieldLengthSetTo4:
            return "\t\t> Field length set to 4.\r\n";
        case LoadAction::kFieldLengthSetTo8:
            return "\t\t> Field length set to 8.\r\n";
        case LoadAction::kFieldDelimiterSetToComma:
            return "\t\t> FIELD delimiter set to \",\".\r\n";
        case LoadAction::kTerminatorSetToCrLf:
            return "\t\t> TERMINATOR delimiter set to \"\\x0D\\x0A\".\r\n";
    }
    return "\t\t> Unknown action.\r\n";
}

void CInstrument::Diagnose(int code, LoadAction action) {
    // Every problem is counted, but the text stops growing after a bound: a
    // damaged file (a megabyte line of junk words) would otherwise make a
    // message of hundreds of megabytes.
    if (m_error_count < INT_MAX) ++m_error_count;
    if (m_error_count > kMaxListedDiagnostics) {
        if (m_error_count == kMaxListedDiagnostics + 1)
            m_message.append("\tFurther line diagnostics omitted.\r\n");
        return;
    }
    m_message.append("\tLine ").append(std::to_string(m_lines_read)).append(": ");
    m_message.append(GetDiagnosticText(code)).append(GetActionText(action));
}

int CInstrument::Fail(int code, std::string message) {
    m_message = std::move(message);
    if (code == kInstrumentOpenFailed || code == kInstrumentReadFailed)
        m_message.append("\t").append(GetFileErrorText(m_file_error));
    m_message.append(GetCodeText(code));
    // A load that fails keeps nothing; a refused reload leaves the loaded
    // instrument as it was.
    if (code != kInstrumentAlreadyLoaded) m_sensors.clear();
    return code;
}

std::string CInstrument::FileText(std::string_view format_head, const std::string& name) const {
    std::string text(format_head);
    text.append(m_file_type).append(".\r\n").append(NameLine(m_file_type, name));
    return text;
}

int CInstrument::Load(const std::string& file_name) {
    if (!m_file_name.empty())
        return Fail(kInstrumentAlreadyLoaded, "Unable to reload instrument.\r\n");
    if (file_name.empty()) return Fail(kInstrumentNoFileName, "Unable to load instrument.\r\n");

    std::string_view ext =
        std::string_view(file_name).substr(file_name.size() >= 3 ? file_name.size() - 3 : 0);
    if (EqualsIgnoreCase(ext, "cal"))
        m_file_type = "Calibration File";
    else if (EqualsIgnoreCase(ext, "tdf"))
        m_file_type = "Telemetry Definition File";
    else
        m_file_type = "Instrument File";

    // Reading needs no exclusive lock: any number of conversions may share an
    // instrument file.
    CDiskFile file;
    int cause = file.Open(file_name, CDiskFile::Mode::kRead, false);
    if (cause != kFileNone) {
        m_file_error = cause;
        return Fail(kInstrumentOpenFailed, FileText("An error occured opening the ", file_name));
    }
    m_file_name = file.GetFilePath();
    m_message.clear();

    LoadState state;
    std::string line;
    constexpr std::size_t kChunk = 64 * 1024;
    const auto buffer = std::make_unique_for_overwrite<char[]>(kChunk);
    bool line_open = false;  // bytes of a line without its line end yet
    for (;;) {
        std::size_t got = 0;
        cause = file.Read(buffer.get(), kChunk, got);
        if (cause != kFileNone) {
            m_file_error = cause;
            return Fail(kInstrumentReadFailed,
                        FileText("An error occured reading the ", m_file_name));
        }
        if (got == 0) break;
        std::string_view chunk(buffer.get(), got);
        while (!chunk.empty()) {
            std::size_t lf = chunk.find('\n');
            if (lf == std::string_view::npos) {
                // No instrument file holds a line anywhere near this long; a
                // device such as /dev/zero, or a large binary file given by
                // mistake, would otherwise be read into memory without end.
                if (line.size() + chunk.size() > kMaxLineLength)
                    return Fail(kInstrumentTooManyMalformedLines,
                                FileText("An error occured reading the ", m_file_name));
                line.append(chunk);
                line_open = true;
                break;
            }
            line.append(chunk.substr(0, lf));
            chunk.remove_prefix(lf + 1);
            int result = HandleLine(state, line);
            line.clear();
            line_open = false;
            if (result != kInstrumentOk) return result;
        }
    }
    if (line_open) {
        int result = HandleLine(state, line);
        if (result != kInstrumentOk) return result;
    }
    file.Close();

    if (state.gain_lines_left > 0) {
        Diagnose(kDiagMoreGainRanges, LoadAction::kSensorIgnored);
        state.pending.reset();
    }
    if (m_variable_frame && !m_terminator_defined)
        return Fail(kInstrumentNoTerminator,
                    FileText("An error occured reading the ", m_file_name));

    // An instrument whose INSTRUMENT and SN lines are followed by no field of
    // non-zero length still has its header: without it no frame could ever
    // be found.
    if (m_instrument_seen && m_header.empty()) m_header = m_header_under_construction;

    std::string summary;
    summary.append(m_file_type).append(" read successfully.\r\n");
    summary.append("\tFile name: \"").append(m_file_name).append("\"\r\n");
    summary.append("\tLines read: ").append(std::to_string(m_lines_read)).append("\r\n");
    summary.append("\tNumber of sensors: ").append(std::to_string(m_sensors.size())).append("\r\n");
    summary.append("\tFrame type: ").append(m_variable_frame ? "Variable" : "Fixed").append("\r\n");
    if (!m_variable_frame)
        summary.append("\tFrame size: ").append(std::to_string(m_frame_size)).append(" bytes\r\n");
    summary.append("\r\n");
    summary.append("\t").append(m_header).append(" - ").append(std::to_string(m_error_count));
    summary.append(" error(s)\r\n");
    if (m_error_count > 0) summary.append("\r\n").append(m_message);
    m_message = std::move(summary);
    return kInstrumentOk;
}

int CInstrument::HandleLine(LoadState& state, std::string_view line) {
    // A counter stops at its largest value rather than wrap on a file of
    // billions of lines.
    if (m_lines_read < INT_MAX) ++m_lines_read;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::size_t start = 0;
    while (start < line.size() && IsBlank(line[start])) ++start;
    line.remove_prefix(start);
    line = line.substr(0, line.find('#'));
    if (line.empty()) return kInstrumentOk;
    if (state.gain_lines_left > 0) {
        HandleGainRangeLine(state, line);
        return kInstrumentOk;
    }
    return HandleDefinitionLine(state, line);
}

int CInstrument::HandleDefinitionLine(LoadState& state, std::string_view line) {
    auto sensor = std::make_unique<CSensor>();
    state.current_valid = true;

    std::string_view params[7];
    int count = 0;
    std::string_view rest = line;
    while (count < 7 && !rest.empty()) {
        std::size_t end = 0;
        while (end < rest.size() && !IsBlank(rest[end])) ++end;
        params[count++] = rest.substr(0, end);
        while (end < rest.size() && IsBlank(rest[end])) ++end;
        rest.remove_prefix(end);
    }
    if (count < 7 || !rest.empty()) {
        if (++m_malformed_lines >= 10)
            return Fail(kInstrumentTooManyMalformedLines,
                        FileText("An error occured reading the ", m_file_name));
        Diagnose(kDiagLineFormat,
                 count < 7 ? LoadAction::kSensorIgnored : LoadAction::kExtraParametersIgnored);
        if (count < 7) return kInstrumentOk;
    }

    const std::string type(params[0]);
    const std::string identifier =
        EqualsIgnoreCase(params[1], "NONE") ? "" : std::string(params[1]);

    std::string units;
    std::string_view u = params[2];
    if (u.size() >= 2 && u.front() == '\'' && u.find('\'', 1) == u.size() - 1) {
        units = u.substr(1, u.size() - 2);
    } else {
        Diagnose(kDiagUnits, LoadAction::kUnitsIgnored);
    }

    bool variable = false;
    std::uint32_t length = 0;
    if (EqualsIgnoreCase(params[3], "V")) {
        if (!m_variable_frame) {
            Diagnose(kDiagVariableInFixedFrame, LoadAction::kSensorIgnored);
            return kInstrumentOk;
        }
        variable = true;
    } else if (!ParseUnsigned(params[3], length) ||
               length > static_cast<std::uint32_t>(INT_MAX - m_frame_size)) {
        // A length that would carry the frame size past INT_MAX cannot be a
        // real field; it is refused like any other invalid length.
        Diagnose(kDiagFieldLength, LoadAction::kSensorIgnored);
        return kInstrumentOk;
    }
    const int declared = static_cast<int>(length);

    std::uint32_t gain_ranges = 0;
    if (!ParseUnsigned(params[5], gain_ranges)) {
        Diagnose(kDiagGainRanges, LoadAction::kSensorIgnored);
        m_frame_size += declared;
        return kInstrumentOk;
    }
    const int data_type = DataTypeFromName(params[4]);
    if (data_type == kDataUnset) {
        Diagnose(kDiagDataType, LoadAction::kSensorIgnored);
        m_frame_size += declared;
        return kInstrumentOk;
    }
    const int fit_type = FitTypeFromName(params[6]);
    if (fit_type == kFitUnset) {
        Diagnose(kDiagFitType, LoadAction::kSensorIgnored);
        m_frame_size += declared;
        return kInstrumentOk;
    }

    sensor->SetDataType(data_type);
    sensor->SetFitType(fit_type);
    sensor->SetFileName(m_file_name);
    sensor->SetType(type);
    sensor->SetIdentifier(identifier);
    sensor->SetUnits(units);
    sensor->SetFieldLength(length);
    sensor->SetGainRanges(gain_ranges);

    if (m_header.empty()) {
        // The header lines: checked in this order, each failure is fatal.
        auto header_check = [&](bool allow_ai) {
            if (length != identifier.size()) return kInstrumentBadFieldLength;
            if (data_type != kDataAS && !(allow_ai && data_type == kDataAI))
                return kInstrumentBadDataType;
            if (gain_ranges != 0) return kInstrumentBadGainRanges;
            if (fit_type != kFitNone && fit_type != kFitCount) return kInstrumentBadFitType;
            return kInstrumentOk;
        };
        if (!m_instrument_seen) {
            const bool vlf = EqualsIgnoreCase(type, "VLF_INSTRUMENT");
            if (vlf || EqualsIgnoreCase(type, "INSTRUMENT")) {
                int code = header_check(false);
                if (code != kInstrumentOk)
                    return Fail(code, "Invalid INSTRUMENT definition line found.\r\n" +
                                          NameLine(m_file_type, m_file_name));
                m_header_under_construction += identifier;
                m_frame_size += declared;
                m_instrument_seen = true;
                if (vlf) m_variable_frame = true;
                return kInstrumentOk;
            }
            if (length != 0)
                return Fail(kInstrumentNoInstrumentLine,
                            "INSTRUMENT definition line not found.\r\n" +
                                NameLine(m_file_type, m_file_name));
        } else {
            const bool serial =
                m_variable_frame ? EqualsIgnoreCase(type, "VLF_SN") : EqualsIgnoreCase(type, "SN");
            if (serial) {
                int code = header_check(true);
                if (code != kInstrumentOk)
                    return Fail(code, "Invalid SN (Serial Number) definition line found.\r\n" +
                                          NameLine(m_file_type, m_file_name));
                m_serial_number += identifier;
                m_header_under_construction += identifier;
                m_frame_size += declared;
                return kInstrumentOk;
            }
            if (length != 0) m_header = m_header_under_construction;
        }
    }

    sensor->SetHeader(m_header);
    sensor->SetLineNumber(m_lines_read);
    sensor->SetOffset(static_cast<std::uint32_t>(m_frame_size));
    sensor->SetVariable(variable);

    if (fit_type == kFitOptic3) {
        CSensor* source = nullptr;
        for (const auto& s : m_sensors) {
            int fit = s->GetFitType();
            if (EqualsIgnoreCase(s->GetType(), "INTTIME") &&
                EqualsIgnoreCase(s->GetIdentifier(), type) &&
                EqualsIgnoreCase(s->GetUnits(), "sec") && fit >= kFitOptic1 && fit <= kFitPolyU) {
                source = s.get();
                break;
            }
        }
        if (source == nullptr) {
            Diagnose(kDiagNoIntegrationSensor, LoadAction::kSensorIgnored);
            m_frame_size += declared;
            return kInstrumentOk;
        }
        sensor->SetIntegrationTimeSensor(source);
    }

    m_frame_size += declared;
    ApplyConsistencyRules(*sensor, variable);
    if (!ApplyFrameKindRules(*sensor, variable, length)) {
        // The line was taken as a sensor line, so the gain range lines it
        // announced follow it: they are passed over with the sensor instead of
        // being read as sensor lines of their own.
        if (sensor->GetGainRanges() > 0) {
            state.pending.reset();
            state.current_valid = false;
            state.gain_lines_left = sensor->GetGainRanges();
        }
        return kInstrumentOk;
    }

    if (sensor->GetGainRanges() == 0) {
        m_sensors.push_back(std::move(sensor));
    } else {
        state.pending = std::move(sensor);
        state.gain_lines_left = state.pending->GetGainRanges();
    }
    return kInstrumentOk;
}

void CInstrument::ApplyConsistencyRules(CSensor& sensor, bool variable_field) {
    if (sensor.GetFitType() != kFitNone && sensor.GetFieldLength() == 0 && !m_variable_frame) {
        Diagnose(kDiagFieldLength, LoadAction::kFitSetToNone);
        sensor.SetFitType(kFitNone);
    }
    const int fit = sensor.GetFitType();
    auto set_type = [&](int data_type, LoadAction action) {
        Diagnose(kDiagDataType, action);
        sensor.SetDataType(data_type);
    };
    auto dt = [&] { return sensor.GetDataType(); };
    if (variable_field && dt() != kDataAI && dt() != kDataAF && dt() != kDataAS) {
        if (fit == kFitOptic1)
            set_type(kDataAI, LoadAction::kDataSetToAI);
        else
            set_type(kDataAS, LoadAction::kDataSetToAS);
    }

    std::uint32_t gains = sensor.GetGainRanges();
    auto set_gains = [&](std::uint32_t value, LoadAction action) {
        Diagnose(kDiagGainRanges, action);
        sensor.SetGainRanges(value);
    };
    switch (fit) {
        case kFitNone:
        case kFitCount:
            if (gains != 0) set_gains(0, LoadAction::kGainRangesSetTo0);
            break;
        case kFitDelimiter:
            if (dt() != kDataAS) set_type(kDataAS, LoadAction::kDataSetToAS);
            if (gains != 0) set_gains(0, LoadAction::kGainRangesSetTo0);
            break;
        case kFitOptic1:
            if (dt() != kDataBU && dt() != kDataBS && dt() != kDataAI)
                set_type(kDataBU, LoadAction::kDataSetToBU);
            if (gains > 4)
                set_gains(4, LoadAction::kGainRangesSetTo4);
            else if (gains == 0)
                set_gains(1, LoadAction::kGainRangesSetTo1);
            break;
        case kFitOptic2:
        case kFitOptic3:
        case kFitPolyF:
        case kFitPolyU:
            if (dt() == kDataAS) set_type(kDataAF, LoadAction::kDataSetToAF);
            if (gains != 1) set_gains(1, LoadAction::kGainRangesSetTo1);
            break;
        case kFitDDMM:
        case kFitHHMMSS:
            if (dt() != kDataBF && dt() != kDataBD && dt() != kDataAF)
                set_type(kDataAF, LoadAction::kDataSetToAF);
            if (gains != 0) set_gains(0, LoadAction::kGainRangesSetTo0);
            break;
        case kFitDDMMYY:
            if (dt() != kDataBU && dt() != kDataBS && dt() != kDataAI)
                set_type(kDataAI, LoadAction::kDataSetToAI);
            if (gains != 0) set_gains(0, LoadAction::kGainRangesSetTo0);
            break;
        case kFitTime2:
            if (dt() == kDataAS) set_type(kDataAF, LoadAction::kDataSetToAF);
            if (gains != 0) set_gains(0, LoadAction::kGainRangesSetTo0);
            break;
        default:
            break;
    }

    // Only the sensor's own length changes: the offsets of later fields keep
    // counting the declared length.
    const std::uint32_t length = sensor.GetFieldLength();
    auto set_length = [&](std::uint32_t value, LoadAction action) {
        Diagnose(kDiagFieldLength, action);
        sensor.SetFieldLength(value);
    };
    switch (dt()) {
        case kDataBU:
        case kDataBS:
            if (length > 4) set_length(4, LoadAction::kFieldLengthSetTo4);
            break;
        case kDataBF:
            if (length != 4) set_length(4, LoadAction::kFieldLengthSetTo4);
            break;
        case kDataBD:
            if (length != 8) set_length(8, LoadAction::kFieldLengthSetTo8);
            break;
        case kDataHU:
        case kDataHS:
            if (length > 8) set_length(8, LoadAction::kFieldLengthSetTo8);
            break;
        default:
            break;
    }
}

bool CInstrument::ApplyFrameKindRules(CSensor& sensor, bool variable_field,
                                      std::uint32_t declared_length) {
    const bool delimiter = sensor.GetFitType() == kFitDelimiter;
    if (!m_variable_frame) {
        if (!delimiter) return true;
        Diagnose(kDiagDelimiterFitUse, LoadAction::kSensorIgnored);
        return false;
    }
    if (m_terminator_defined) {
        Diagnose(kDiagAfterTerminator, LoadAction::kSensorIgnored);
        return false;
    }
    if (m_field_pending) {
        if (variable_field && delimiter) {
            Diagnose(kDiagDelimiterFitUse, LoadAction::kSensorIgnored);
            return false;
        }
        if (variable_field) {
            m_field_pending = false;
            return true;
        }
        if (declared_length == 0) return true;
        Diagnose(kDiagNotVariableField, LoadAction::kSensorIgnored);
        return false;
    }
    if (!delimiter) {
        if (declared_length == 0) return true;
        Diagnose(kDiagDelimiterLine, LoadAction::kSensorIgnored);
        return false;
    }
    if (EqualsIgnoreCase(sensor.GetType(), "FIELD")) {
        if (declared_length != 1) Diagnose(kDiagFieldLength, LoadAction::kFieldLengthSetTo1);
        const std::string delimiter_text = CSensor::DecodeEscapes(sensor.GetUnits(), "\\x");
        if (delimiter_text.size() == 1) {
            m_field_delimiters += delimiter_text;
        } else {
            Diagnose(kDiagFieldDelimiterLength, LoadAction::kFieldDelimiterSetToComma);
            m_field_delimiters += ',';
        }
        m_field_pending = true;
        return false;
    }
    if (EqualsIgnoreCase(sensor.GetType(), "TERMINATOR")) {
        std::string terminator = CSensor::DecodeEscapes(sensor.GetUnits(), "\\x");
        if (terminator.empty() || terminator.size() != declared_length) {
            Diagnose(kDiagTerminatorLength, LoadAction::kTerminatorSetToCrLf);
            terminator = "\r\n";
        }
        m_terminator = std::move(terminator);
        m_terminator_defined = true;
        int index = 0;
        for (auto& s : m_sensors)
            if (s->IsVariable()) s->SetVariableField(m_field_delimiters, m_terminator, index++);
        return false;
    }
    Diagnose(kDiagDelimiterLine, LoadAction::kSensorIgnored);
    return false;
}

void CInstrument::HandleGainRangeLine(LoadState& state, std::string_view line) {
    --state.gain_lines_left;
    if (state.current_valid && state.pending) {
        CSensor& sensor = *state.pending;
        sensor.NextGainRange();
        int valid = 0;
        std::string_view rest = line;
        while (!rest.empty()) {
            std::size_t end = 0;
            while (end < rest.size() && !IsBlank(rest[end])) ++end;
            std::string_view word = rest.substr(0, end);
            while (end < rest.size() && IsBlank(rest[end])) ++end;
            rest.remove_prefix(end);
            if (word.empty()) continue;
            double value = 0.0;
            if (ParseCoefficient(word, value)) {
                sensor.AddCoefficient(value);
                ++valid;
            } else {
                Diagnose(kDiagGainCoefficient, LoadAction::kCoefficientIgnored);
            }
        }
        const int fit = sensor.GetFitType();
        const int needed = (fit == kFitOptic1 || fit == kFitOptic2) ? 3 : fit == kFitOptic3 ? 4 : 1;
        const bool limited = fit == kFitOptic1 || fit == kFitOptic2 || fit == kFitOptic3;
        if (limited && valid > needed) {
            Diagnose(kDiagGainCoefficientCount, LoadAction::kExtraCoefficientsIgnored);
        } else if (valid < needed) {
            Diagnose(kDiagGainCoefficientCount, LoadAction::kSensorIgnored);
            state.current_valid = false;
            state.pending.reset();
        }
    }
    if (state.gain_lines_left == 0) {
        if (state.current_valid && state.pending) m_sensors.push_back(std::move(state.pending));
        state.pending.reset();
    }
}

CSensor* CInstrument::GetSensor(int index) {
    return const_cast<CSensor*>(static_cast<const CInstrument*>(this)->GetSensor(index));
}

const CSensor* CInstrument::GetSensor(int index) const {
    if (index < 0 || index >= GetSensorCount()) {
        m_message = "Cannot access instrument sensors.\r\n";
        m_message += GetCodeText(kInstrumentInvalidSensorIndex);
        return nullptr;
    }
    const CSensor* sensor = m_sensors[static_cast<std::size_t>(index)].get();
    if (sensor == nullptr) {
        m_message = "Cannot access instrument sensors.\r\n";
        m_message += GetCodeText(kInstrumentSensorNotFound);
    }
    return sensor;
}

int CInstrument::FindSensor(std::string_view type, int after) const {
    if (after >= GetSensorCount()) return -1;
    int start = after < 0 ? 0 : after + 1;
    for (int i = start; i < GetSensorCount(); ++i)
        if (EqualsIgnoreCase(m_sensors[static_cast<std::size_t>(i)]->GetType(), type)) return i;
    return -1;
}

}  // namespace dravik

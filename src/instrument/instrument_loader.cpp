#include "instrument/instrument_loader.h"

#include <climits>
#include <utility>

#include "instrument/instrument_line.h"
#include "platform/disk_file.h"
#include "platform/text.h"

namespace dravik {

namespace {

// Longest line an instrument file may hold.
constexpr std::size_t kMaxLineLength = 64u << 20;

// Malformed sensor definition lines that end a load.
constexpr int kMaxMalformedLines = 10;

}  // namespace

// The parameters of a sensor definition line, each of a valid form.
struct CInstrumentLoader::SensorLine {
    std::string type;
    std::string identifier;
    std::string units;
    std::uint32_t length = 0;
    std::uint32_t gain_ranges = 0;
    int data_type = kDataUnset;
    int fit_type = kFitUnset;
    bool variable = false;
};

void CInstrumentLoader::Diagnose(int code, LoadAction action) {
    // Every problem is counted, but the text stops growing after a bound: a
    // damaged file (a megabyte line of junk words) would otherwise make a
    // message of hundreds of megabytes.
    int& count = m_inst.m_error_count;
    if (count < INT_MAX) ++count;
    if (count > kMaxListedDiagnostics) {
        if (count == kMaxListedDiagnostics + 1)
            m_inst.m_message.append("\tFurther line diagnostics omitted.\r\n");
        return;
    }
    m_inst.m_message.append("\tLine ").append(std::to_string(m_lines_read)).append(": ");
    m_inst.m_message.append(CInstrument::GetDiagnosticText(code))
        .append(CInstrument::GetActionText(action));
}

int CInstrumentLoader::Fail(int code, std::string message) {
    m_inst.m_message = std::move(message);
    if (code == kInstrumentOpenFailed || code == kInstrumentReadFailed)
        m_inst.m_message.append("\t").append(CInstrument::GetFileErrorText(m_file_error));
    m_inst.m_message.append(CInstrument::GetCodeText(code));
    // A load that fails keeps nothing; a refused reload leaves the loaded
    // instrument as it was.
    if (code != kInstrumentAlreadyLoaded) m_inst.m_sensors.clear();
    return code;
}

std::string CInstrumentLoader::NameLine(const std::string& name) const {
    return "\t" + m_inst.m_file_type + " Name: \"" + name + "\".\r\n";
}

std::string CInstrumentLoader::FileText(std::string_view format_head,
                                        const std::string& name) const {
    std::string text(format_head);
    text.append(m_inst.m_file_type).append(".\r\n").append(NameLine(name));
    return text;
}

int CInstrumentLoader::Load(const std::string& file_name) {
    if (!m_inst.m_file_name.empty())
        return Fail(kInstrumentAlreadyLoaded, "Unable to reload instrument.\r\n");
    if (file_name.empty()) return Fail(kInstrumentNoFileName, "Unable to load instrument.\r\n");

    std::string_view ext =
        std::string_view(file_name).substr(file_name.size() >= 3 ? file_name.size() - 3 : 0);
    if (EqualsIgnoreCase(ext, "cal"))
        m_inst.m_file_type = "Calibration File";
    else if (EqualsIgnoreCase(ext, "tdf"))
        m_inst.m_file_type = "Telemetry Definition File";
    else
        m_inst.m_file_type = "Instrument File";

    // Reading needs no exclusive lock: any number of conversions may share an
    // instrument file.
    CDiskFile file;
    const int cause = file.Open(file_name, CDiskFile::Mode::kRead, false);
    if (cause != kFileNone) {
        m_file_error = cause;
        return Fail(kInstrumentOpenFailed, FileText("An error occured opening the ", file_name));
    }
    m_inst.m_file_name = file.GetFilePath();
    m_inst.m_message.clear();

    if (const int result = ReadLines(file); result != kInstrumentOk) return result;
    file.Close();

    if (m_gain_lines_left > 0) {
        Diagnose(kDiagMoreGainRanges, LoadAction::kSensorIgnored);
        m_pending.reset();
    }
    const std::string& name = m_inst.m_file_name;
    if (m_inst.m_variable_frame && !m_terminator_defined)
        return Fail(kInstrumentNoTerminator, FileText("An error occured reading the ", name));

    // An instrument whose INSTRUMENT and SN lines are followed by no field of
    // non-zero length still has its header: without it no frame could ever
    // be found.
    if (m_instrument_seen && m_inst.m_header.empty()) m_inst.m_header = m_header_under_construction;

    std::string summary;
    summary.append(m_inst.m_file_type).append(" read successfully.\r\n");
    summary.append("\tFile name: \"").append(name).append("\"\r\n");
    summary.append("\tLines read: ").append(std::to_string(m_lines_read)).append("\r\n");
    summary.append("\tNumber of sensors: ")
        .append(std::to_string(m_inst.m_sensors.size()))
        .append("\r\n");
    summary.append("\tFrame type: ")
        .append(m_inst.m_variable_frame ? "Variable" : "Fixed")
        .append("\r\n");
    if (!m_inst.m_variable_frame) {
        summary.append("\tFrame size: ")
            .append(std::to_string(m_inst.m_frame_size))
            .append(" bytes\r\n");
    }
    summary.append("\r\n");
    summary.append("\t").append(m_inst.m_header).append(" - ");
    summary.append(std::to_string(m_inst.m_error_count)).append(" error(s)\r\n");
    if (m_inst.m_error_count > 0) summary.append("\r\n").append(m_inst.m_message);
    m_inst.m_message = std::move(summary);
    return kInstrumentOk;
}

// Lines end with LF (a CR before it is dropped with the line's content); the
// last line needs none.
int CInstrumentLoader::ReadLines(CDiskFile& file) {
    std::string line;
    constexpr std::size_t kChunk = 64 * 1024;
    const auto buffer = std::make_unique_for_overwrite<char[]>(kChunk);
    bool line_open = false;  // bytes of a line without its line end yet
    for (;;) {
        std::size_t got = 0;
        if (const int cause = file.Read(buffer.get(), kChunk, got); cause != kFileNone) {
            m_file_error = cause;
            return Fail(kInstrumentReadFailed,
                        FileText("An error occured reading the ", m_inst.m_file_name));
        }
        if (got == 0) break;
        std::string_view chunk(buffer.get(), got);
        while (!chunk.empty()) {
            const std::size_t lf = chunk.find('\n');
            if (lf == std::string_view::npos) {
                // No instrument file holds a line anywhere near this long; a
                // device such as /dev/zero, or a large binary file given by
                // mistake, would otherwise be read into memory without end.
                if (line.size() + chunk.size() > kMaxLineLength)
                    return Fail(kInstrumentTooManyMalformedLines,
                                FileText("An error occured reading the ", m_inst.m_file_name));
                line.append(chunk);
                line_open = true;
                break;
            }
            line.append(chunk.substr(0, lf));
            chunk.remove_prefix(lf + 1);
            const int result = HandleLine(line);
            line.clear();
            line_open = false;
            if (result != kInstrumentOk) return result;
        }
    }
    return line_open ? HandleLine(line) : kInstrumentOk;
}

int CInstrumentLoader::HandleLine(std::string_view line) {
    // A counter stops at its largest value rather than wrap on a file of
    // billions of lines.
    if (m_lines_read < INT_MAX) ++m_lines_read;
    const std::string_view content = LineContent(line);
    if (content.empty()) return kInstrumentOk;
    if (m_gain_lines_left > 0) {
        HandleGainRangeLine(content);
        return kInstrumentOk;
    }
    return HandleDefinitionLine(content);
}

int CInstrumentLoader::HandleDefinitionLine(std::string_view text) {
    m_current_valid = true;

    std::string_view params[7];
    int count = 0;
    std::string_view rest = text;
    while (count < 7 && !rest.empty()) params[count++] = NextWord(rest);
    if (count < 7 || !rest.empty()) {
        if (++m_malformed_lines >= kMaxMalformedLines)
            return Fail(kInstrumentTooManyMalformedLines,
                        FileText("An error occured reading the ", m_inst.m_file_name));
        Diagnose(kDiagLineFormat,
                 count < 7 ? LoadAction::kSensorIgnored : LoadAction::kExtraParametersIgnored);
        if (count < 7) return kInstrumentOk;
    }

    SensorLine line;
    line.type = params[0];
    if (!EqualsIgnoreCase(params[1], "NONE")) line.identifier = params[1];
    if (!ParseUnits(params[2], line.units)) Diagnose(kDiagUnits, LoadAction::kUnitsIgnored);

    int& frame_size = m_inst.m_frame_size;
    if (EqualsIgnoreCase(params[3], "V")) {
        if (!m_inst.m_variable_frame) {
            Diagnose(kDiagVariableInFixedFrame, LoadAction::kSensorIgnored);
            return kInstrumentOk;
        }
        line.variable = true;
    } else if (!ParseUnsigned(params[3], line.length) ||
               line.length > static_cast<std::uint32_t>(INT_MAX - frame_size)) {
        // A length that would carry the frame size past INT_MAX cannot be a
        // real field; it is refused like any other invalid length.
        Diagnose(kDiagFieldLength, LoadAction::kSensorIgnored);
        return kInstrumentOk;
    }
    // From here on the declared length counts in the frame size whatever
    // becomes of the line, so that the offsets of later fields stay right.
    const int declared = static_cast<int>(line.length);

    if (!ParseUnsigned(params[5], line.gain_ranges)) {
        Diagnose(kDiagGainRanges, LoadAction::kSensorIgnored);
        frame_size += declared;
        return kInstrumentOk;
    }
    line.data_type = DataTypeFromName(params[4]);
    if (line.data_type == kDataUnset) {
        Diagnose(kDiagDataType, LoadAction::kSensorIgnored);
        frame_size += declared;
        return kInstrumentOk;
    }
    line.fit_type = FitTypeFromName(params[6]);
    if (line.fit_type == kFitUnset) {
        Diagnose(kDiagFitType, LoadAction::kSensorIgnored);
        frame_size += declared;
        return kInstrumentOk;
    }

    if (m_inst.m_header.empty()) {
        int result = kInstrumentOk;
        if (HandleHeaderLine(line, result)) return result;
    }

    auto sensor = std::make_unique<CSensor>();
    sensor->SetDataType(line.data_type);
    sensor->SetFitType(line.fit_type);
    sensor->SetType(line.type);
    sensor->SetIdentifier(line.identifier);
    sensor->SetUnits(line.units);
    sensor->SetFieldLength(line.length);
    sensor->SetGainRanges(line.gain_ranges);
    sensor->SetOffset(static_cast<std::uint32_t>(frame_size));
    sensor->SetVariable(line.variable);

    if (line.fit_type == kFitOptic3) {
        CSensor* source = nullptr;
        for (const auto& s : m_inst.m_sensors) {
            const int fit = s->GetFitType();
            if (EqualsIgnoreCase(s->GetType(), "INTTIME") &&
                EqualsIgnoreCase(s->GetIdentifier(), line.type) &&
                EqualsIgnoreCase(s->GetUnits(), "sec") && fit >= kFitOptic1 && fit <= kFitPolyU) {
                source = s.get();
                break;
            }
        }
        if (source == nullptr) {
            Diagnose(kDiagNoIntegrationSensor, LoadAction::kSensorIgnored);
            frame_size += declared;
            return kInstrumentOk;
        }
        sensor->SetIntegrationTimeSensor(source);
    }

    frame_size += declared;
    ApplyConsistencyRules(*sensor, line.variable);
    if (!ApplyFrameKindRules(*sensor, line.variable, line.length)) {
        // The line was taken as a sensor line, so the gain range lines it
        // announced follow it: they are passed over with the sensor instead of
        // being read as sensor lines of their own.
        if (sensor->GetGainRanges() > 0) {
            m_pending.reset();
            m_current_valid = false;
            m_gain_lines_left = sensor->GetGainRanges();
        }
        return kInstrumentOk;
    }

    if (sensor->GetGainRanges() == 0) {
        m_inst.m_sensors.push_back(std::move(sensor));
    } else {
        m_gain_lines_left = sensor->GetGainRanges();
        m_pending = std::move(sensor);
    }
    return kInstrumentOk;
}

// The INSTRUMENT line and the SN lines that follow it, read while the header
// is not complete. True when the line was consumed here (with `result` set);
// false when it goes on as a sensor line.
bool CInstrumentLoader::HandleHeaderLine(const SensorLine& line, int& result) {
    // Checked in this order; each failure is fatal.
    auto header_check = [&](bool allow_ai) {
        if (line.length != line.identifier.size()) return kInstrumentBadFieldLength;
        if (line.data_type != kDataAS && !(allow_ai && line.data_type == kDataAI))
            return kInstrumentBadDataType;
        if (line.gain_ranges != 0) return kInstrumentBadGainRanges;
        if (line.fit_type != kFitNone && line.fit_type != kFitCount) return kInstrumentBadFitType;
        return kInstrumentOk;
    };
    const std::string& name = m_inst.m_file_name;
    const int declared = static_cast<int>(line.length);
    if (!m_instrument_seen) {
        const bool vlf = EqualsIgnoreCase(line.type, "VLF_INSTRUMENT");
        if (vlf || EqualsIgnoreCase(line.type, "INSTRUMENT")) {
            if (const int code = header_check(false); code != kInstrumentOk) {
                result =
                    Fail(code, "Invalid INSTRUMENT definition line found.\r\n" + NameLine(name));
                return true;
            }
            m_header_under_construction += line.identifier;
            m_inst.m_frame_size += declared;
            m_instrument_seen = true;
            if (vlf) m_inst.m_variable_frame = true;
            return true;
        }
        if (line.length != 0) {
            result = Fail(kInstrumentNoInstrumentLine,
                          "INSTRUMENT definition line not found.\r\n" + NameLine(name));
            return true;
        }
        return false;
    }
    const bool serial = m_inst.m_variable_frame ? EqualsIgnoreCase(line.type, "VLF_SN")
                                                : EqualsIgnoreCase(line.type, "SN");
    if (serial) {
        if (const int code = header_check(true); code != kInstrumentOk) {
            result = Fail(code,
                          "Invalid SN (Serial Number) definition line found.\r\n" + NameLine(name));
            return true;
        }
        m_inst.m_serial_number += line.identifier;
        m_header_under_construction += line.identifier;
        m_inst.m_frame_size += declared;
        return true;
    }
    if (line.length != 0) m_inst.m_header = m_header_under_construction;
    return false;
}

void CInstrumentLoader::HandleGainRangeLine(std::string_view text) {
    --m_gain_lines_left;
    if (m_current_valid && m_pending) {
        CSensor& sensor = *m_pending;
        sensor.NextGainRange();
        int valid = 0;
        for (std::string_view rest = text; !rest.empty();) {
            const std::string_view word = NextWord(rest);
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
            m_current_valid = false;
            m_pending.reset();
        }
    }
    if (m_gain_lines_left == 0) {
        if (m_current_valid && m_pending) m_inst.m_sensors.push_back(std::move(m_pending));
        m_pending.reset();
    }
}

}  // namespace dravik

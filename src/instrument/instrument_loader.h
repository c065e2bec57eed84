// The loader of an instrument file: reads it line by line and fills one
// CInstrument with its header, frame kind and sensors, writing a line
// diagnostic for every problem it corrects or passes over.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "instrument/instrument.h"
#include "instrument/sensor.h"

namespace dravik {

class CDiskFile;

class CInstrumentLoader {
  public:
    explicit CInstrumentLoader(CInstrument& instrument) noexcept : m_inst(instrument) {}

    // Loads the file into the instrument; the result and message text of
    // CInstrument::Load.
    int Load(const std::string& file_name);

    // Line diagnostics listed in the message text; later ones are only counted.
    static constexpr int kMaxListedDiagnostics = 10000;

  private:
    struct SensorLine;

    int ReadLines(CDiskFile& file);
    int HandleLine(std::string_view line);
    int HandleDefinitionLine(std::string_view line);
    bool HandleHeaderLine(const SensorLine& line, int& result);
    void HandleGainRangeLine(std::string_view line);
    // The rules that correct a sensor's definition, and those of the frame
    // kind that decide whether it is kept (false: rejected, or taken as a
    // FIELD or TERMINATOR definition).
    void ApplyConsistencyRules(CSensor& sensor, bool variable_field);
    bool ApplyFrameKindRules(CSensor& sensor, bool variable_field, std::uint32_t declared_length);

    void Diagnose(int code, LoadAction action);
    int Fail(int code, std::string message);
    std::string NameLine(const std::string& name) const;
    std::string FileText(std::string_view format_head, const std::string& name) const;

    CInstrument& m_inst;
    int m_file_error = 0;
    int m_lines_read = 0;
    int m_malformed_lines = 0;
    bool m_instrument_seen = false;
    bool m_field_pending = false;
    bool m_terminator_defined = false;
    std::string m_header_under_construction;
    // The sensor whose gain range lines are being read, and how many are left.
    std::unique_ptr<CSensor> m_pending;
    std::uint32_t m_gain_lines_left = 0;
    bool m_current_valid = true;
};

}  // namespace dravik

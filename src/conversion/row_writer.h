// What one frame becomes in the output file: the text of its row, the time
// tag cells that close it, or, in a header conversion, its name and value
// line. No files and no threads: the document writes what this builds.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "settings/parameters.h"
#include "instrument/value_format.h"

namespace dravik {

class CRowWriter {
  public:
    CRowWriter();

    // The columns of one conversion, fixed when its headings are written:
    // the serial number column (none when empty), the output sensors in
    // column order and the position among them of the check sum sensor,
    // whose column shows the check sum residual (-1: none).
    void Configure(const CDravikParameters& params, std::string serial_number,
                   std::vector<CSensor*> sensors, int check_sum_column);

    // The frame's row. With time tags it stops after the last value's
    // delimiter, waiting for TimeTagCells; otherwise it ends with "\n".
    const std::string& Row(const CFrameData& frame, unsigned check_sum_residual);
    // The same row appended to `out` (the output file's buffer, say), so that
    // it is not copied once more.
    void AppendRow(std::string& out, const CFrameData& frame, unsigned check_sum_residual);
    // The date and time cells that close a row, from the bytes that follow
    // the frame in the log file (fewer than a time tag: error or blank cells).
    void AppendTimeTags(std::string& out, std::span<const std::uint8_t> record);
    // A header conversion's line for a header record frame, through the one
    // configured sensor (the header definition's; none configured: no line).
    const std::string& HeaderLine(const CFrameData& frame);

  private:
    CDravikParameters m_params;
    CSensorFormat m_format;  // the parameters' format, with the row's precision
    std::string m_serial_number;
    std::vector<CSensor*> m_sensors;
    CRowValues m_values;  // their values, without a lock per value
    int m_check_sum_column = -1;
    // Reused for every frame: no allocation per value.
    std::string m_text;
    std::string m_cell;
};

}  // namespace dravik

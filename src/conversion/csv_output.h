// A CSV table (RFC 4180, UTF-8, LF line ends) of a conversion's values, for
// tools that read tables: one header row of unique column names, "NAME
// [UNITS]", then one row per frame. Numbers are written in the shortest text
// that reads back to the same double, a DDMM angle in decimal degrees, times
// in ISO 8601 UTC; a value the text table shows as an error is an empty cell.
// With time tags the first column, "time", holds the logger's time tag. A
// header conversion gives two columns, "field" and "value".
//
// Written under OUT.part and renamed at the end (part_file.h).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "conversion/conversion_output.h"
#include "conversion/part_file.h"
#include "instrument/column_values.h"

namespace dravik {

// The cells of the header row of an instrument conversion: "time" with time
// tags, "SN" with a serial number, then "NAME [UNITS]" per sensor, NAME as
// the text table names the column; a name met before gets "_2", "_3", ...
std::vector<std::string> CsvHeadings(const COutputColumns& columns);

// Appends one cell: quoted when it holds a comma, a quote or a line end, and
// as valid UTF-8.
void AppendCsvCell(std::string& out, std::string_view text);

class CCsvOutput final : public CConversionOutput {
  public:
    int Open(const std::string& path, std::span<const CFileIdentity> refused) override;
    int WriteHeadings(const COutputColumns& columns) override;
    COutputResult WriteFrame(const CFrameRecord& record) override;
    int WriteHeaderRecord(const CFrameData& frame) override;
    int Finish(const CConversionStatus& status, bool complete) override;
    std::string GetSystemErrorText() const override { return m_file.GetSystemErrorText(); }

  private:
    // Room for `count` more characters at the end of the buffer; the writer
    // moves m_used past what it wrote.
    char* Room(std::size_t count);
    void Append(std::string_view text);
    void AppendChar(char c) { *Room(1) = c, ++m_used; }
    // Writes the buffer out once it is large (`all`: whatever it holds).
    int Put(bool all);
    void AppendValue(std::size_t column, const CFrameData& frame);

    CPartFile m_file;
    // Rows are written straight into this buffer: numbers go to their place
    // without a string in between.
    std::vector<char> m_buffer;
    std::size_t m_used = 0;
    std::string m_cell;  // a text cell being quoted
    int m_failed = 0;    // the cause of a failed write: the file is damaged
    CColumnValues m_values;
    std::string m_serial_cell;  // the serial number cell, ready to append
    int m_check_sum_column = -1;
    bool m_time_tags = false;
    CSensor* m_header_sensor = nullptr;  // a header conversion's sensor
    std::string m_text;                  // a header record's text
};

}  // namespace dravik

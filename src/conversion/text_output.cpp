#include "conversion/text_output.h"

#include "conversion/output_layout.h"
#include "instrument/sensor.h"

namespace dravik {

namespace {

const char* YesNo(bool flag) {
    return flag ? "YES" : "NO";
}

// Cells joined by the delimiter, the line ended by `end`.
template <class Cells>
void AppendLine(std::string& text, const Cells& cells, const std::string& delimiter, int width,
                const char* end) {
    for (const auto& cell : cells) {
        AppendCell(text, cell, width);
        text += delimiter;
    }
    RemoveTrailingDelimiter(text, delimiter);
    text += end;
}

// A header conversion's heading block: what was converted, from where.
std::string HeaderHeadings(const COutputColumns& c) {
    std::string text;
    if (!c.params.show_extra) return text;
    const std::string& d = c.params.delimiter;
    const int width = c.params.format.width;
    AppendLeftCell(text, "Header", width);
    text += d;
    AppendLeftCell(text, "LogFile", width);
    text += "\n";
    AppendLeftCell(text, c.instrument_header, width);
    text += d;
    AppendLeftCell(text, c.log_file_name, width);
    text += "\n\n";
    return text;
}

}  // namespace

std::string TextHeadings(const COutputColumns& c) {
    if (c.header_conversion) return HeaderHeadings(c);
    const CDravikParameters& p = c.params;
    const CSensorFormat& f = p.format;
    const std::string& d = p.delimiter;
    const int width = f.width;
    std::string text;
    if (p.show_extra) {
        static const char* const kKeys[] = {"Instrument", "InsFile",  "LogFile",
                                            "Fitted",     "Immersed", "Hex",
                                            "CheckSum",   "TimeTags", "F-TimeTags"};
        AppendLine(text, kKeys, d, width, "\n");
        const std::string values[] = {
            c.instrument_header,
            c.instrument_file_name,
            c.log_file_name,
            YesNo(f.apply_fit),
            YesNo(f.apply_fit && p.immersed),
            YesNo(f.hex_format && !f.apply_fit && !p.suppress_strings),
            YesNo(c.check_sum_column >= 0),
            YesNo(p.time_tags),
            YesNo(p.time_tags && p.time_tags_formatted && !p.suppress_strings),
        };
        AppendLine(text, values, d, width, "\n\n");
        // The index column begins the column heading line.
        AppendCell(text, "Index", width);
        text += d;
    }
    std::vector<std::string> headings;
    if (!c.serial_number.empty()) headings.emplace_back("SN");
    for (const CSensor* sensor : c.sensors) headings.push_back(SensorColumnName(*sensor));
    if (p.time_tags) {
        headings.emplace_back("DATETAG");
        headings.emplace_back("TIMETAG2");
    }
    AppendLine(text, headings, d, width, "\n");
    if (p.show_extra) {
        // Units, under blank index and serial number cells; the time tag
        // columns have none.
        std::vector<std::string> units(c.serial_number.empty() ? 1 : 2);
        for (const CSensor* sensor : c.sensors) units.push_back(sensor->GetUnits());
        AppendLine(text, units, d, width, "\n");
    }
    return text;
}

int CTextOutput::Open(const std::string& path, std::span<const CFileIdentity> refused) {
    return m_file.Open(path, refused);
}

int CTextOutput::WriteHeadings(const COutputColumns& columns) {
    m_time_tags = !columns.header_conversion && columns.params.time_tags;
    m_rows.Configure(columns.params, columns.serial_number, columns.sensors,
                     columns.check_sum_column);
    int cause = m_file.Write(TextHeadings(columns));
    // The headings go to the disk at once: a file that cannot be written is
    // reported before any frame is read.
    if (cause == 0) cause = m_file.Flush();
    return cause;
}

COutputResult CTextOutput::WriteFrame(const CFrameRecord& record) {
    // The row is built straight into the file's buffer.
    m_rows.AppendRow(m_file.BeginText(), record.frame, record.check_sum_residual);
    const int cause = m_file.EndText();
    if (cause != 0) return {cause, false};
    // Without its time tag the row keeps its trailing delimiter.
    if (!m_time_tags || record.time_tag_unreadable) return {};
    m_rows.AppendTimeTags(m_file.BeginText(), record.time_tag);
    return {m_file.EndText(), true};
}

int CTextOutput::WriteHeaderRecord(const CFrameData& frame) {
    return m_file.Write(m_rows.HeaderLine(frame));
}

int CTextOutput::Finish(const CConversionStatus& /*status*/, bool /*complete*/) {
    // What is still buffered must reach the disk before the conversion may be
    // called complete.
    return m_file.Close();
}

}  // namespace dravik

#include "conversion/row_writer.h"

#include <string_view>

#include "conversion/output_layout.h"
#include "instrument/sensor.h"
#include "instrument/value_format.h"

namespace dravik {

namespace {

// A value error text, padded or not, ends with "Error n": the five characters
// seven from the end (the first five of a shorter text).
bool IsErrorCell(std::string_view text) {
    std::string_view probe = text.size() >= 7 ? text.substr(text.size() - 7, 5) : text.substr(0, 5);
    return probe == "Error";
}

bool IsTimeFit(const CSensor& sensor) {
    const int fit = sensor.GetFitType();
    return fit == kFitDDMM || fit == kFitHHMMSS || fit == kFitTime2;
}

}  // namespace

CRowWriter::CRowWriter() {
    m_text.reserve(4096);
    m_cell.reserve(256);
}

void CRowWriter::Configure(const CDravikParameters& params, std::string serial_number,
                           std::vector<CSensor*> sensors, int check_sum_column) {
    m_params = params;
    m_format = params.format;
    if (m_format.precision == -1) m_format.precision = 10;
    m_serial_number = std::move(serial_number);
    m_sensors = std::move(sensors);
    m_values.Prepare(m_sensors);
    m_check_sum_column = check_sum_column;
}

const std::string& CRowWriter::Row(const CFrameData& frame, unsigned check_sum_residual) {
    m_text.clear();
    AppendRow(m_text, frame, check_sum_residual);
    return m_text;
}

void CRowWriter::AppendRow(std::string& out, const CFrameData& frame, unsigned check_sum_residual) {
    const std::string& d = m_params.delimiter;
    const int width = m_format.width;
    const bool suppress = m_params.suppress_strings != 0;

    const std::size_t row_start = out.size();
    m_values.BeginFrame();
    if (m_params.show_extra) {
        AppendUnsignedCell(out, static_cast<unsigned>(frame.GetFrameCounter()), width);
        out += d;
    }
    if (!m_serial_number.empty()) {
        AppendCell(out, m_serial_number, width);
        out += d;
    }
    for (std::size_t k = 0; k < m_sensors.size(); ++k) {
        CSensor* sensor = m_sensors[k];
        if (static_cast<int>(k) == m_check_sum_column) {
            AppendUnsignedCell(out, check_sum_residual, width);
        } else if (suppress && (sensor->GetDataType() == kDataAS ||
                                (m_format.apply_fit && IsTimeFit(*sensor)))) {
            AppendBlankCell(out, width);
        } else {
            // The value goes straight into the row; under Suppress Strings an
            // error value becomes an empty cell, without padding.
            const std::size_t start = out.size();
            m_values.AppendValue(out, k, frame, m_format);
            if (suppress && IsErrorCell(std::string_view(out).substr(start))) out.resize(start);
        }
        out += d;
    }
    if (!m_params.time_tags) {
        // Only this row's own delimiter goes: text before the row stays.
        if (out.size() - row_start >= d.size()) RemoveTrailingDelimiter(out, d);
        out += "\n";
    }
}

void CRowWriter::AppendTimeTags(std::string& out, std::span<const std::uint8_t> record) {
    const std::string& d = m_params.delimiter;
    const int width = m_format.width;
    const bool suppress = m_params.suppress_strings != 0;
    const bool formatted = m_params.time_tags_formatted && !suppress;
    if (record.size() < kTimeTagLength) {
        GetValueErrorText(m_cell, 0);
        AppendMissingTimeTagCells(out, suppress, width, d, m_cell);
    } else {
        CTimeTag tag = DecodeTimeTag(record);
        m_cell.clear();
        // The decimal hours take the row's format as it stands in the
        // parameters (its precision unchanged).
        if (!formatted) FormatDouble(m_cell, DecimalHours(tag.time), m_params.format);
        AppendTimeTagCells(out, tag, formatted, width, d, m_cell);
    }
}

const std::string& CRowWriter::HeaderLine(const CFrameData& frame) {
    m_text.clear();
    if (m_sensors.size() != 1) return m_text;
    FormatSensorValue(m_cell, *m_sensors[0], &frame, m_params.format);
    m_text = FormatHeaderLine(SplitHeaderRecord(m_cell), m_params.format.width, m_params.delimiter);
    return m_text;
}

}  // namespace dravik

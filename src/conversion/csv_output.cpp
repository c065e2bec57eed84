#include "conversion/csv_output.h"

#include <algorithm>
#include <set>

#include "conversion/utc_time.h"
#include "instrument/shortest_number.h"
#include "instrument/value_format.h"
#include "platform/text.h"

namespace dravik {

namespace {

constexpr std::size_t kBufferSize = 64 * 1024;

bool NeedsQuotes(std::string_view text) {
    return text.find_first_of(",\"\r\n") != std::string_view::npos;
}

}  // namespace

std::vector<std::string> CsvHeadings(const COutputColumns& columns) {
    std::vector<std::string> names;
    if (columns.params.time_tags) names.emplace_back("time");
    if (!columns.serial_number.empty()) names.emplace_back("SN");
    for (const CSensor* sensor : columns.sensors) {
        std::string units = sensor->GetUnits();
        // A TIME2 column holds ISO 8601 times, whatever the instrument's units.
        if (ValueKindOf(sensor, columns.params.format.apply_fit != 0) == EValueKind::kSeconds) {
            units.clear();
        }
        names.push_back(SensorColumnName(*sensor) + (units.empty() ? "" : " [" + units + "]"));
    }
    // The same name twice (two sensors of one type and identifier, a sensor
    // named "time") gets a number, so that every column can be told apart.
    std::set<std::string> seen;
    for (std::string& name : names) {
        if (seen.insert(name).second) continue;
        const std::size_t units_at = name.find(" [");
        const std::string stem = name.substr(0, units_at);
        const std::string units = units_at == std::string::npos ? "" : name.substr(units_at);
        for (int n = 2;; ++n) {
            std::string numbered = stem + "_" + std::to_string(n) + units;
            if (seen.insert(numbered).second) {
                name = std::move(numbered);
                break;
            }
        }
    }
    return names;
}

void AppendCsvCell(std::string& out, std::string_view text) {
    if (!NeedsQuotes(text)) {
        AppendValidUtf8(out, text);
        return;
    }
    out.push_back('"');
    for (std::size_t start = 0;;) {
        const std::size_t quote = text.find('"', start);
        AppendValidUtf8(out, text.substr(start, quote - start));
        if (quote == std::string_view::npos) break;
        out.append("\"\"");
        start = quote + 1;
    }
    out.push_back('"');
}

int CCsvOutput::Open(const std::string& path, std::span<const CFileIdentity> refused) {
    m_buffer.assign(kBufferSize + 4096, '\0');
    m_used = 0;
    m_failed = 0;
    return m_file.Open(path, refused);
}

char* CCsvOutput::Room(std::size_t count) {
    // A row longer than the buffer (thousands of columns) grows it.
    if (m_buffer.size() - m_used < count) m_buffer.resize(std::max(2 * m_buffer.size(), m_used + count));
    return m_buffer.data() + m_used;
}

void CCsvOutput::Append(std::string_view text) {
    std::copy(text.begin(), text.end(), Room(text.size()));
    m_used += text.size();
}

int CCsvOutput::Put(bool all) {
    if (m_failed != 0) return m_failed;
    if (m_used == 0 || (!all && m_used < kBufferSize)) return kFileNone;
    const int cause = m_file.Write(m_buffer.data(), m_used);
    m_used = 0;
    m_failed = cause;
    return cause;
}

int CCsvOutput::WriteHeadings(const COutputColumns& columns) {
    std::vector<std::string> names;
    if (columns.header_conversion) {
        names = {"field", "value"};
        m_header_sensor = columns.sensors.size() == 1 ? columns.sensors[0] : nullptr;
    } else {
        names = CsvHeadings(columns);
        m_time_tags = columns.params.time_tags != 0;
        m_check_sum_column = columns.check_sum_column;
        m_values.Prepare(columns.sensors, columns.params.format.apply_fit != 0);
        m_serial_cell.clear();
        if (!columns.serial_number.empty()) AppendCsvCell(m_serial_cell, columns.serial_number);
    }
    m_cell.clear();
    for (const std::string& name : names) {
        AppendCsvCell(m_cell, name);
        m_cell.push_back(',');
    }
    if (!names.empty()) m_cell.pop_back();
    m_cell.push_back('\n');
    Append(m_cell);
    // The headings go to the disk at once: a file that cannot be written is
    // reported before any frame is read.
    return Put(true);
}

void CCsvOutput::AppendValue(std::size_t column, const CFrameData& frame) {
    double number = 0.0;
    std::string_view text;
    switch (m_values.Kind(column)) {
        case EValueKind::kNumber:
        case EValueKind::kDegrees:
            if (m_values.Number(number, column, frame) == kValueOk) {
                char* const at = Room(kMaxShortestNumber);
                m_used += static_cast<std::size_t>(WriteShortestNumber(at, number) - at);
            }
            return;
        case EValueKind::kSeconds:
            if (m_values.Number(number, column, frame) != kValueOk) return;
            m_cell.clear();
            AppendIsoUtc(m_cell, static_cast<std::int64_t>(number) * 1000, false);
            break;
        case EValueKind::kText:
            if (m_values.Text(text, column, frame) != kValueOk) return;
            m_cell.clear();
            AppendCsvCell(m_cell, text);
            break;
    }
    Append(m_cell);
}

COutputResult CCsvOutput::WriteFrame(const CFrameRecord& record) {
    const std::size_t row_start = m_used;
    if (m_time_tags) {
        std::int64_t milliseconds = 0;
        if (record.time_tag.size() >= kTimeTagLength && !record.time_tag_unreadable &&
            TimeTagMilliseconds(DecodeTimeTag(record.time_tag), milliseconds)) {
            m_cell.clear();
            AppendIsoUtc(m_cell, milliseconds, true);
            Append(m_cell);
        }
        AppendChar(',');
    }
    if (!m_serial_cell.empty()) {
        Append(m_serial_cell);
        AppendChar(',');
    }
    m_values.BeginFrame();
    for (std::size_t k = 0; k < m_values.Columns(); ++k) {
        // The check sum column shows the frame's check sum residual.
        if (static_cast<int>(k) == m_check_sum_column) {
            char* const at = Room(kMaxShortestNumber);
            m_used += static_cast<std::size_t>(WriteShortestNumber(at, record.check_sum_residual) - at);
        } else {
            AppendValue(k, record.frame);
        }
        AppendChar(',');
    }
    if (m_used > row_start) --m_used;
    AppendChar('\n');
    const int cause = Put(false);
    return {cause, cause == 0};
}

int CCsvOutput::WriteHeaderRecord(const CFrameData& frame) {
    if (m_header_sensor == nullptr) return kFileNone;
    // The record's text as the text table reads it, without its shaping.
    FormatSensorValue(m_text, *m_header_sensor, &frame, CSensorFormat{});
    const CHeaderRecord record = SplitHeaderRecord(m_text);
    m_cell.clear();
    AppendCsvCell(m_cell, record.name);
    m_cell.push_back(',');
    AppendCsvCell(m_cell, record.value);
    m_cell.push_back('\n');
    Append(m_cell);
    return Put(false);
}

int CCsvOutput::Finish(const CConversionStatus& status, bool complete) {
    if (m_failed != 0) {
        // A file that missed some of its rows is no output at all; the
        // failure was reported where it happened.
        m_file.Abandon();
        return kFileNone;
    }
    const int cause = Put(true);
    if (cause != 0) {
        m_file.Abandon();
        return cause;
    }
    if (complete) return m_file.Commit();
    // An output that stopped early keeps the rows it has, under its .part
    // name; one without any frame is nothing worth keeping.
    if (status.not_found != 0) {
        m_file.Abandon();
    } else {
        m_file.Keep();
    }
    return kFileNone;
}

}  // namespace dravik

#include "conversion/netcdf_output.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <limits>

#include "conversion/utc_time.h"
#include "instrument/sensor.h"
#include "platform/log_source.h"
#include "platform/text.h"

#ifndef DRAVIK_VERSION
#define DRAVIK_VERSION "0.0.0"
#endif

namespace dravik {

namespace {

constexpr double kMissing = std::numeric_limits<double>::quiet_NaN();
constexpr const char* kEpochUnits = "seconds since 1970-01-01 00:00:00";

// Attribute texts are written as valid UTF-8: readers decode them so.
std::string Utf8(std::string_view text) {
    std::string out;
    AppendValidUtf8(out, text);
    return out;
}

}  // namespace

int CNetcdfOutput::Open(const std::string& path, std::span<const CFileIdentity> refused) {
    // The library writes a file it can seek in and rename; a pipe or a
    // device is refused before it is opened (a FIFO would wait for a reader).
    std::error_code ec;
    if (IsStandardStream(path) ||
        (std::filesystem::exists(path, ec) && !std::filesystem::is_regular_file(path, ec))) {
        m_refusal = kNetcdfStreamRefusal;
        return kFileGeneric;
    }
    return m_part.Open(path, refused);
}

int CNetcdfOutput::WriteHeadings(const COutputColumns& columns) {
    if (columns.header_conversion) return kFileInvalid;  // refused before the start
    m_plan = PlanNetcdf(columns);
    if (m_plan.variables.size() > kMaxVariables) {
        m_refusal = "The instrument has " + std::to_string(m_plan.variables.size()) +
                    " output sensors, each a variable of its own in a NetCDF file, which takes "
                    "at most " + std::to_string(kMaxVariables) +
                    ". Convert it to the text or the CSV format.";
        return kFileGeneric;
    }
    m_sensors = columns.sensors;
    m_values.Prepare(columns.sensors, columns.params.format.apply_fit != 0);
    // As many frames per chunk as the budget holds, so that an instrument of
    // many sensors keeps fewer frames in memory, never none.
    const std::size_t frame_bytes =
        8 * m_plan.numbers_per_frame + 32 * m_plan.texts_per_frame + 8;
    m_chunk_frames = std::clamp<std::size_t>(kChunkBudget / frame_bytes, 1, kMaxChunkFrames);

    // The library opens the file by its name itself.
    m_part.File().Close();
    if (!m_file.Create(m_part.PartPath())) return m_file.Cause();
    Define(columns);
    m_file.EndDefine();
    WriteCoordinates();
    return m_file.Cause();
}

void CNetcdfOutput::Define(const COutputColumns& columns) {
    const int frame_dimension = m_file.Dimension("frame", 0);
    const std::array<int, 1> along_frames{frame_dimension};
    const std::array<std::size_t, 1> chunk{m_chunk_frames};
    auto frame_variable = [&](const char* name, CNetcdfFile::EType type, bool compress) {
        const int id = m_file.Variable(name, type, along_frames);
        m_file.Chunks(id, chunk, compress);
        return id;
    };
    m_frame_id = frame_variable("frame", CNetcdfFile::EType::kInt, true);
    m_file.Text(m_frame_id, "long_name", "frame index in the log file");
    m_frames.assign(m_chunk_frames, 0);
    if (m_plan.time) {
        m_time_id = frame_variable("time", CNetcdfFile::EType::kDouble, true);
        m_file.Numbers(m_time_id, "_FillValue", std::array{kMissing});
        m_file.Text(m_time_id, "standard_name", "time");
        m_file.Text(m_time_id, "long_name", "time tag of the logger");
        m_file.Text(m_time_id, "units", kEpochUnits);
        m_file.Text(m_time_id, "calendar", "standard");
        m_file.Text(m_time_id, "axis", "T");
        m_times.assign(m_chunk_frames, kMissing);
    }
    m_slots.assign(m_plan.variables.size(), CSlot{});
    for (std::size_t v = 0; v < m_plan.variables.size(); ++v) {
        DefineVariable(m_plan.variables[v], m_slots[v], frame_dimension);
    }
    auto flag = [&](const char* name, const char* long_name, std::vector<signed char>& values) {
        const int id = frame_variable(name, CNetcdfFile::EType::kByte, true);
        m_file.Text(id, "long_name", long_name);
        m_file.Bytes(id, "flag_values", std::array<signed char, 2>{0, 1});
        m_file.Text(id, "flag_meanings", "no_error error");
        values.assign(m_chunk_frames, 0);
        return id;
    };
    if (m_plan.frame_counter_flags) {
        m_counter_flag_id = flag("frame_counter_error", "frame counter error (or unreadable)",
                                 m_counter_flags);
    }
    if (m_plan.check_sum_flags) {
        m_check_sum_flag_id =
            flag("check_sum_error", "check sum error (or unreadable)", m_check_sum_flags);
    }
    DescribeFile(columns);
}

void CNetcdfOutput::DefineVariable(const CNetcdfVariable& v, CSlot& slot, int frame_dimension) {
    const bool text = v.kind == EValueKind::kText;
    std::vector<int> dimensions{frame_dimension};
    std::vector<std::size_t> chunk{m_chunk_frames};
    if (!v.wavelengths.empty()) {
        const int wavelength_dimension = m_file.Dimension(v.wavelength_name, v.wavelengths.size());
        const int id = m_file.Variable(v.wavelength_name, CNetcdfFile::EType::kDouble,
                                       std::array{wavelength_dimension});
        m_file.Text(id, "standard_name", "radiation_wavelength");
        m_file.Text(id, "long_name", Utf8("wavelength of the " + v.long_name + " channels"));
        m_file.Text(id, "units", "nm");
        slot.wavelength_id = id;
        dimensions.push_back(wavelength_dimension);
        chunk.push_back(v.wavelengths.size());
    }
    slot.id = m_file.Variable(v.name, text ? CNetcdfFile::EType::kString : CNetcdfFile::EType::kDouble,
                              dimensions);
    m_file.Chunks(slot.id, chunk, v.compress);
    if (!text) m_file.Numbers(slot.id, "_FillValue", std::array{kMissing});
    m_file.Text(slot.id, "long_name", Utf8(v.long_name));
    if (v.kind == EValueKind::kSeconds) {
        m_file.Text(slot.id, "units", kEpochUnits);
        m_file.Text(slot.id, "calendar", "standard");
    } else if (!v.units.empty()) {
        m_file.Text(slot.id, "units", Utf8(v.units));
    }
    if (v.kind == EValueKind::kDegrees) {
        m_file.Text(slot.id, "comment", "degrees and minutes (DDMM.mmm) as decimal degrees");
    }
    m_file.Text(slot.id, "fit_type", v.fit_type);
    if (v.check_sum) m_file.Text(slot.id, "comment", "check sum residual of the frame");
    if (v.wavelengths.empty()) {
        const std::vector<double>& coefficients = m_sensors[v.columns[0]]->GetCoefficients();
        if (!coefficients.empty()) m_file.Numbers(slot.id, "calibration_coefficients", coefficients);
    } else if (v.coefficient_count > 0) {
        // The coefficients of every channel, one row per wavelength.
        const int count_dimension = m_file.Dimension(v.coefficient_dimension, v.coefficient_count);
        const int id = m_file.Variable(
            v.coefficients_name, CNetcdfFile::EType::kDouble,
            std::array{dimensions[1], count_dimension});
        m_file.Numbers(id, "_FillValue", std::array{kMissing});
        m_file.Text(id, "long_name",
                    Utf8("calibration coefficients of the " + v.long_name +
                         " channels, in the instrument file's order"));
        slot.coefficients_id = id;
    }
    if (text) {
        slot.texts.assign(m_chunk_frames, std::string());
    } else {
        slot.numbers.assign(m_chunk_frames * v.columns.size(), kMissing);
    }
}

void CNetcdfOutput::DescribeFile(const COutputColumns& c) {
    const int g = CNetcdfFile::kGlobal;
    m_file.Text(g, "Conventions", "CF-1.10");
    m_file.Text(g, "title", Utf8(c.instrument_header + " converted from " + c.log_file_name));
    m_file.Text(g, "instrument",
                Utf8(c.serial_number.empty()
                         ? c.instrument_header
                         : c.instrument_header + ", serial number " + c.serial_number));
    m_file.Text(g, "source", Utf8(c.log_file_name));
    m_file.Text(g, "calibration_file", Utf8(c.instrument_file_name));
    const std::string now = IsoUtcNow();
    m_file.Text(g, "date_created", now);
    const std::string program = "Dravik " DRAVIK_VERSION;
    m_file.Text(g, "history", Utf8(c.params.command_line.empty()
                                       ? now + ": converted by " + program
                                       : now + ": " + c.params.command_line + " (" + program + ")"));
    m_file.Text(g, "calibration_applied", c.params.format.apply_fit ? "yes" : "no");
    m_file.Text(g, "immersion_coefficients_applied",
                c.params.format.apply_fit && c.params.immersed ? "yes" : "no");
}

void CNetcdfOutput::WriteCoordinates() {
    for (std::size_t v = 0; v < m_plan.variables.size(); ++v) {
        const CNetcdfVariable& var = m_plan.variables[v];
        if (var.wavelengths.empty()) continue;
        const std::array<std::size_t, 1> start{0};
        const std::array<std::size_t, 1> count{var.wavelengths.size()};
        m_file.Put(m_slots[v].wavelength_id, start, count, var.wavelengths.data());
        if (var.coefficient_count == 0) continue;
        std::vector<double> table(var.columns.size() * var.coefficient_count, kMissing);
        for (std::size_t j = 0; j < var.columns.size(); ++j) {
            const std::vector<double>& k = m_sensors[var.columns[j]]->GetCoefficients();
            std::copy(k.begin(), k.end(), table.begin() + j * var.coefficient_count);
        }
        const std::array<std::size_t, 2> start2{0, 0};
        const std::array<std::size_t, 2> count2{var.columns.size(), var.coefficient_count};
        m_file.Put(m_slots[v].coefficients_id, start2, count2, table.data());
    }
}

COutputResult CNetcdfOutput::WriteFrame(const CFrameRecord& record) {
    const std::size_t row = m_rows;
    m_frames[row] = record.frame.GetFrameCounter();
    if (m_plan.time) {
        std::int64_t milliseconds = 0;
        const bool valid = record.time_tag.size() >= kTimeTagLength &&
                           !record.time_tag_unreadable &&
                           TimeTagMilliseconds(DecodeTimeTag(record.time_tag), milliseconds);
        m_times[row] = valid ? static_cast<double>(milliseconds) / 1000.0 : kMissing;
    }
    if (m_plan.frame_counter_flags) m_counter_flags[row] = record.frame_counter_error ? 1 : 0;
    if (m_plan.check_sum_flags) m_check_sum_flags[row] = record.check_sum_error ? 1 : 0;
    m_values.BeginFrame();
    for (std::size_t v = 0; v < m_plan.variables.size(); ++v) {
        const CNetcdfVariable& var = m_plan.variables[v];
        CSlot& slot = m_slots[v];
        if (var.kind == EValueKind::kText) {
            std::string& text = slot.texts[row];
            text.clear();
            std::string_view value;
            if (m_values.Text(value, var.columns[0], record.frame) == kValueOk) {
                AppendValidUtf8(text, value);
            }
            continue;
        }
        double* out = slot.numbers.data() + row * var.columns.size();
        for (std::size_t column : var.columns) {
            double value = kMissing;
            if (var.check_sum) {
                value = record.check_sum_residual;
            } else if (m_values.Number(value, column, record.frame) != kValueOk) {
                value = kMissing;
            }
            *out++ = value;
        }
    }
    ++m_rows;
    if (m_rows < m_chunk_frames) return {};
    const int cause = WriteChunk();
    return {cause, cause == 0};
}

int CNetcdfOutput::WriteChunk() {
    if (m_rows == 0 || m_file.Failed()) return m_file.Cause();
    const std::array<std::size_t, 2> start{m_written, 0};
    const std::array<std::size_t, 2> rows{m_rows, 0};
    const std::span<const std::size_t> start1(start.data(), 1), count1(rows.data(), 1);
    m_file.Put(m_frame_id, start1, count1, m_frames.data());
    if (m_plan.time) m_file.Put(m_time_id, start1, count1, m_times.data());
    if (m_plan.frame_counter_flags) {
        m_file.Put(m_counter_flag_id, start1, count1, m_counter_flags.data());
    }
    if (m_plan.check_sum_flags) {
        m_file.Put(m_check_sum_flag_id, start1, count1, m_check_sum_flags.data());
    }
    for (std::size_t v = 0; v < m_plan.variables.size(); ++v) {
        const CNetcdfVariable& var = m_plan.variables[v];
        CSlot& slot = m_slots[v];
        if (var.kind == EValueKind::kText) {
            m_text_pointers.resize(m_rows);
            for (std::size_t r = 0; r < m_rows; ++r) m_text_pointers[r] = slot.texts[r].c_str();
            m_file.Put(slot.id, start1, count1, m_text_pointers.data());
        } else if (var.wavelengths.empty()) {
            m_file.Put(slot.id, start1, count1, slot.numbers.data());
        } else {
            const std::array<std::size_t, 2> count{m_rows, var.columns.size()};
            m_file.Put(slot.id, start, count, slot.numbers.data());
        }
    }
    m_written += m_rows;
    m_rows = 0;
    return m_file.Cause();
}

int CNetcdfOutput::WriteHeaderRecord(const CFrameData& /*frame*/) {
    return kFileInvalid;  // a header conversion is refused before it starts
}

int CNetcdfOutput::Finish(const CConversionStatus& status, bool complete) {
    if (!m_file.IsOpen() || m_file.Failed()) {
        // Reported where it failed; a file that missed some of its frames is
        // no output at all.
        m_file.Abandon();
        m_part.Abandon();
        return kFileNone;
    }
    WriteChunk();
    // The counts of the conversion, known now.
    const int g = CNetcdfFile::kGlobal;
    m_file.Define();
    m_file.Count(g, "frames_processed", status.frames_processed);
    m_file.Count(g, "frames_written", m_written);
    m_file.Count(g, "resynchronizations", status.resynchronizations);
    if (m_plan.frame_counter_flags) {
        m_file.Count(g, "frame_counter_errors", status.frame_counter_errors);
    }
    if (m_plan.check_sum_flags) m_file.Count(g, "check_sum_errors", status.check_sum_errors);
    m_file.Text(g, "conversion", complete ? "complete" : "incomplete: the conversion was aborted");
    if (!m_file.Close()) {
        m_part.Abandon();
        return m_file.Cause();
    }
    if (complete) return m_part.Commit();
    // An output that stopped early keeps its frames under its .part name;
    // one without any frame is nothing worth keeping.
    if (status.not_found != 0) {
        m_part.Abandon();
    } else {
        m_part.Keep();
    }
    return kFileNone;
}

std::string CNetcdfOutput::GetSystemErrorText() const {
    if (!m_refusal.empty()) return m_refusal;
    if (!m_file.SystemErrorText().empty()) return m_file.SystemErrorText();
    return m_part.GetSystemErrorText();
}

std::string CNetcdfOutput::GetFailureText(int cause) const {
    if (!m_refusal.empty()) return m_refusal;
    if (cause == m_file.Cause() && !m_file.FailureText().empty()) return m_file.FailureText();
    return CConversionOutput::GetFailureText(cause);
}

}  // namespace dravik

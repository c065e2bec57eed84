// The start of a conversion (StartConversion): the overwrite question, the
// output opened with its headings, and the frame loop made ready.
#include <filesystem>
#include <system_error>

#include "conversion/dravik_doc.h"
#include "instrument/sensor.h"

namespace dravik {

bool CDravikDoc::StartConversion(bool multiple) {
    {
        std::lock_guard<std::timed_mutex> lock(m_lock);
        if (m_phase != EConversionPhase::kPrepared) return false;
    }
    switch (OpenOutput(multiple)) {
        case EOutputStart::kOpened:
            return true;
        case EOutputStart::kSkipped:
            End(true, false);
            m_outcome = EConversionOutcome::kSkipped;
            return true;
        case EOutputStart::kRefused:
            End(true, false);
            return false;
        case EOutputStart::kFailed:
            break;
    }
    End(true, true);
    return false;
}

std::vector<CDravikDoc::CFileInUse> CDravikDoc::FilesInUse() {
    std::vector<CFileInUse> files;
    CFileIdentity identity;
    {
        std::lock_guard<std::timed_mutex> lock(m_lock);
        if (m_log.GetIdentity(identity)) files.push_back({identity, "the log file"});
        if (m_conversion_log.GetIdentity(identity)) {
            files.push_back({identity, "the conversion log file"});
        }
    }
    if (GetFileIdentity(m_prepared.instrument_full, identity)) {
        files.push_back({identity, m_prepared.header_conversion ? "the header definition file"
                                                                : "the instrument file"});
    }
    return files;
}

void CDravikDoc::OutputFailure(const char* what, const std::string& log_text,
                               const std::string& detail) {
    Show({std::string("An error occured ") + what + "\r\n\"" + m_prepared.output_full +
              "\".\r\nConversion aborted.",
          detail});
    ReportMessage(std::string("An error occured ") + what + ".\r\n\t" + log_text + "\r\n", 0);
}

CDravikDoc::EOutputStart CDravikDoc::OpenOutput(bool multiple) {
    m_overwrite.skip = false;
    const std::string& path = m_prepared.output_full;
    if (m_prepared.header_conversion && !CanConvertHeaders(m_run)) {
        m_front_end.ShowMessage(kNetcdfHeaderRefusal);
        ReportMessage(std::string(kNetcdfHeaderRefusal) + "\r\n", 0);
        return EOutputStart::kFailed;
    }
    // "-" is standard output, which was made what it is before the program
    // started: nothing there to ask about.
    const std::string& open_path = PathToOpen(m_paths.output, path);
    const bool standard_output = IsStandardStream(open_path);
    // Opening the output empties it. Reached through a link or another name,
    // it may be a file this conversion reads or records to: that is refused
    // before anyone is asked about overwriting it, and again on the opened
    // file itself before it is emptied.
    std::vector<CFileIdentity> refused;
    CFileIdentity output;
    const bool output_exists = !standard_output && GetFileIdentity(path, output);
    for (const CFileInUse& file : FilesInUse()) {
        refused.push_back(file.identity);
        if (output_exists && file.identity == output) {
            OutputFailure("opening the output file",
                          std::string("The output file is ") + file.what + " of the conversion.",
                          std::string("It is ") + file.what +
                              " of the conversion, which was left as it was.");
            return EOutputStart::kFailed;
        }
    }
    // A FIFO or a device (/dev/stdout into a pipe, /dev/null) is no file to
    // overwrite: it takes the output as it comes.
    std::error_code ec;
    const auto type = standard_output ? std::filesystem::file_type::not_found
                                      : std::filesystem::status(path, ec).type();
    const bool streams = type == std::filesystem::file_type::fifo ||
                         type == std::filesystem::file_type::character ||
                         type == std::filesystem::file_type::socket;
    if (m_settings.overwrite_prompt && !m_overwrite.yes_to_all && !streams &&
        type != std::filesystem::file_type::not_found && type != std::filesystem::file_type::none) {
        switch (m_front_end.AskOverwrite(
            "The output file \"" + path +
                "\" already exists. Do you wish to overwrite this file and continue the "
                "conversion?",
            multiple)) {
            case EOverwriteAnswer::kYes:
                break;
            case EOverwriteAnswer::kYesToAll:
                m_overwrite.yes_to_all = true;
                break;
            case EOverwriteAnswer::kNo:
                if (!multiple) return EOutputStart::kRefused;
                m_overwrite.skip = true;
                return EOutputStart::kSkipped;
            case EOverwriteAnswer::kCancel:
                return EOutputStart::kRefused;
        }
    }

    // The output is the driving thread's until the frame loop starts.
    m_output = MakeConversionOutput(m_run);
    int cause = m_output->Open(open_path, refused);
    if (cause != 0) {
        OutputFailure("opening the output file", m_output->GetFailureText(cause),
                      m_output->GetSystemErrorText());
        return EOutputStart::kFailed;
    }
    COutputColumns columns;
    // A header definition not of the required shape ends the conversion
    // without a message; the conversion log says it was aborted.
    if (!MakeColumns(columns)) return EOutputStart::kFailed;
    cause = m_output->WriteHeadings(columns);
    if (cause != 0) {
        OutputFailure("writing to the output file", m_output->GetFailureText(cause),
                      m_output->GetSystemErrorText());
        return EOutputStart::kFailed;
    }

    CFrameLoopSetup loop;
    loop.output = m_output.get();
    loop.log = &m_log;
    loop.log_full = m_prepared.log_full;
    loop.output_full = path;
    loop.header_conversion = m_prepared.header_conversion;
    loop.time_tags = m_run.time_tags != 0;
    loop.process_limit = m_run.process_limit;
    loop.process_depth = m_run.process_depth;
    loop.buffer = static_cast<std::uint64_t>(EffectiveBuffer());
    // The check sensors are resolved once: the instrument stays in the
    // control until the end step.
    if (m_prepared.frame_counter_sensor >= 0) {
        loop.frame_counter_sensor = GetInstrumentSensors(0, m_prepared.frame_counter_sensor);
    }
    if (m_prepared.check_sum_sensor >= 0) {
        loop.check_sum_sensor = GetInstrumentSensors(0, m_prepared.check_sum_sensor);
    }
    std::lock_guard<std::timed_mutex> lock(m_lock);
    m_loop.Start(std::move(loop));
    m_columns = std::move(columns);
    if (m_side != nullptr) m_side->WriteHeadings(m_columns);
    m_loop.SetSideOutput(m_side);
    m_phase = EConversionPhase::kStarted;
    return EOutputStart::kOpened;
}

bool CDravikDoc::MakeColumns(COutputColumns& columns) {
    columns.params = m_run;
    columns.header_conversion = m_prepared.header_conversion;
    columns.instrument_header = m_prepared.instrument_header;
    columns.instrument_file_name = m_prepared.instrument_name;
    columns.log_file_name = m_prepared.log_name;
    if (columns.header_conversion) {
        // The header definition must hold one sensor, HEADER with a COUNT fit.
        if (GetInstrumentSensorCount(0) != 1) return false;
        CSensor* sensor = GetInstrumentSensors(0, 0);
        if (sensor == nullptr || sensor->GetFitType() != kFitCount ||
            sensor->GetType() != "HEADER") {
            return false;
        }
        columns.sensors = {sensor};
        return true;
    }
    GetInstrumentSerialNumber(0, columns.serial_number);
    // Every sensor with a fit is a column, in the instrument file's order.
    const int count = GetInstrumentSensorCount(0);
    for (int i = 0; i < count; ++i) {
        CSensor* sensor = GetInstrumentSensors(0, i);
        if (sensor == nullptr || sensor->GetFitType() == kFitNone) continue;
        sensor->SetImmersed(m_run.immersed != 0);
        if (i == m_prepared.check_sum_sensor) {
            columns.check_sum_column = static_cast<int>(columns.sensors.size());
        }
        columns.sensors.push_back(sensor);
    }
    columns.frame_counter_checked = m_prepared.frame_counter_sensor >= 0;
    return true;
}

}  // namespace dravik

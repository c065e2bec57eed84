#include "conversion/dravik_doc.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <thread>

#include "app/program_dir.h"
#include "app/settings_store.h"
#include "conversion/file_error_text.h"
#include "instrument/sensor.h"
#include "instrument/value_format.h"
#include "telemetry/telem_control.h"

namespace dravik {

namespace {

// The log window shows at most 40000 characters; a front end that never takes
// the pending text (a headless run over a long, damaged log) must not make it
// grow without bound. The oldest whole lines go first.
constexpr std::size_t kMaxPendingLogText = 256 * 1024;

// How long the end step waits for its summary to reach the conversion log
// file through the processing thread.
constexpr auto kDeliveryTimeout = std::chrono::seconds(5);

std::string NamePart(const std::string& path) {
    std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

const char* YesNo(bool flag) {
    return flag ? "YES" : "NO";
}

bool EndsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// A value error text, padded or not, ends with "Error n": the five characters
// seven from the end (the first five of a shorter text).
bool IsErrorCell(std::string_view text) {
    std::string_view probe = text.size() >= 7 ? text.substr(text.size() - 7, 5) : text.substr(0, 5);
    return probe == "Error";
}

// Reads up to `size` bytes at `offset` without moving the file position the
// file resource reads from.
int ReadAt(const CDiskFile& file, std::uint64_t offset, std::uint8_t* buffer, std::size_t size,
           std::size_t& got) {
    got = 0;
    if (!file.IsOpen()) return kFileInvalid;
    while (got < size) {
        ssize_t n = ::pread(file.GetDescriptor(), buffer + got, size - got,
                            static_cast<off_t>(offset + got));
        if (n < 0) {
            if (errno == EINTR) continue;
            return FileErrorCauseFromErrno(errno);
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return kFileNone;
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction, settings, document life

CDravikDoc::CDravikDoc(CFrontEnd& front_end, CSettingsStore* settings)
    : m_front_end(front_end),
      m_store(settings),
      m_settings(StartupWorkingDirectory()),
      m_startup_directory(StartupWorkingDirectory()),
      m_program_directory(ProgramDirectory()) {
    if (m_store != nullptr) m_settings.Read(*m_store);
    ResetConversionState();
    m_cell.reserve(256);
}

CDravikDoc::~CDravikDoc() {
    if (m_store != nullptr) m_settings.Write(*m_store, m_params);
    DeleteContents();
}

void CDravikDoc::SetAppSettings(const CAppSettings& settings) {
    m_settings = settings;
    OpenConversionLog();
}

void CDravikDoc::SetProgramDirectory(std::string directory) {
    m_program_directory = WithTrailingSlash(std::move(directory));
}

void CDravikDoc::OnNewDocument() {
    NewControl();
    ResetConversionState();
}

void CDravikDoc::DeleteContents() {
    // The control goes first: its last messages still reach the log file.
    COxaTelemetryDoc::DeleteContents();
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_conversion_log.Close();
        m_output.Close();
        m_log_file.Close();
    }
    DestroyProgressDialog();
}

bool CDravikDoc::AddFileName(const std::string& name) {
    if (name.empty() || IsOptionArgument(name) || m_file_name_count >= 3) return false;
    switch (m_file_name_count) {
        case 0:
            m_log_path = name;
            break;
        case 1:
            m_output_path = name;
            break;
        default:
            m_instrument_path = name;
            break;
    }
    ++m_file_name_count;
    return true;
}

void CDravikDoc::ResetConversionState() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_not_found = 1;
    m_abort = 0;
    m_done = 0;
    m_end_of_data = 0;
    m_counter_check = CFrameCounterCheck{};
    m_frame_selected = 1;
    m_header_conversion = 0;
    m_buffer_overrun = 0;
    m_check_sum_sensor = -1;
    m_frame_counter_sensor = -1;
    m_depth_counter = 0;
    m_log_file_length = 0;
    m_check_sum_residual = 0;
    m_last_frame_length = 0;
    m_frame_counter_errors = 0;
    m_check_sum_errors = 0;
    m_frames_processed = 0;
    m_bytes_consumed = 0;
    m_discarded_since_frame = 0;
    m_resynchronizations = 0;
    m_file_name_count = 0;
    m_output_failed = false;
    m_user_cancelled = false;
    m_selected_sensors.clear();
    m_selected_sensor_objects.clear();
}

std::string CDravikDoc::FullPath(const std::string& path, const std::string& directory) const {
    if (path.empty() || path.front() == '/') return path;
    return WithTrailingSlash(directory) + path;
}

int CDravikDoc::EffectiveBuffer() const {
    // The stored value is taken unchecked; a chunk of nothing (or of a
    // gigabyte) is no way to read a file.
    return std::clamp(m_params.buffer, kHeaderBufferSize, 1 << 24);
}

// ---------------------------------------------------------------------------
// Messages

void CDravikDoc::Notice(std::string text) {
    m_notices.push_back(std::move(text));
}

void CDravikDoc::ShowPendingMessages() {
    std::vector<std::string> notices;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        notices.swap(m_notices);
    }
    for (const std::string& text : notices) m_front_end.ShowMessage(text);
}

void CDravikDoc::SendAndWait(const std::string& text) {
    if (!HasControl()) return;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_awaited_text = text;
        m_awaited_delivered = false;
    }
    ReportMessage(text, 0);
    {
        std::unique_lock<std::mutex> lock(m_lock);
        m_done_cv.wait_for(lock, kDeliveryTimeout, [this] { return m_awaited_delivered; });
        m_awaited_delivered = true;
    }
    // Delivering the text may have failed to write the conversion log; the
    // user hears of it now, before whatever comes next, and also when the
    // conversion ends here (a failed setup) or this was its summary.
    ShowPendingMessages();
}

void CDravikDoc::FlushMessages() {
    // A text without a line end is dropped by the stamping, so the marker
    // itself never reaches the log.
    SendAndWait(std::string(1, '\x01'));
}

void CDravikDoc::OnTelemetryMessage(std::string& text) {
    std::lock_guard<std::mutex> lock(m_lock);
    bool awaited = !m_awaited_delivered && EndsWith(text, m_awaited_text);
    COxaTelemetryDoc::OnTelemetryMessage(text);
    if (!text.empty()) {
        m_pending_log_text += text;
        if (m_pending_log_text.size() > kMaxPendingLogText) {
            std::size_t cut = m_pending_log_text.size() - kMaxPendingLogText;
            std::size_t line_end = m_pending_log_text.find("\r\n", cut);
            m_pending_log_text.erase(
                0, line_end == std::string::npos ? m_pending_log_text.size() : line_end + 2);
        }
        if (m_conversion_log.IsOpen()) {
            int cause = m_conversion_log.Write(text);
            if (cause != 0) {
                std::string path = m_conversion_log.GetPath();
                m_conversion_log.Close();
                Notice("An error occured writing to the conversion log file:\r\n" + Quoted(path) +
                       ".\r\n" + GetFileErrorText(cause) + "\r\nConversion log aborted.");
            }
        }
    }
    if (awaited) {
        m_awaited_delivered = true;
        m_done_cv.notify_all();
    }
}

std::string CDravikDoc::TakeLogText() {
    std::lock_guard<std::mutex> lock(m_lock);
    std::string text;
    text.swap(m_pending_log_text);
    return text;
}

bool CDravikDoc::IsConversionLogOpen() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_conversion_log.IsOpen();
}

std::string CDravikDoc::GetConversionLogPath() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_conversion_log.GetPath();
}

void CDravikDoc::OpenConversionLog() {
    std::string warning;
    // The conversion log is opened before the log file and the instrument
    // file are read; it must not be one of them.
    const std::vector<std::string> in_use = {
        FullPath(m_log_path, m_startup_directory),
        m_instrument_path.empty() ? m_program_directory + kHeaderDefinitionName
                                  : FullPath(m_instrument_path, m_startup_directory)};
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_params.has_conversion_log_option) {
            std::string directory =
                CConversionLogFile::NormalizeDirectory(m_settings.conversion_log_directory);
            if (m_conversion_log.IsOpen()) {
                if (m_conversion_log.GetDirectory() == directory) return;
                m_conversion_log.Close();
            }
            if (!m_settings.conversion_log) return;
            warning = m_conversion_log.OpenInDirectory(directory, in_use);
        } else {
            if (m_conversion_log.IsOpen()) return;
            warning = m_conversion_log.OpenNamed(m_params.conversion_log_option_file, in_use);
        }
    }
    if (!warning.empty()) m_front_end.ShowMessage(warning);
}

// ---------------------------------------------------------------------------
// Progress

bool CDravikDoc::CreateProgressDialog() {
    if (m_progress_created) return true;
    if (!m_front_end.CreateProgress()) {
        m_front_end.ShowMessage(
            "Unable to create Conversion Progress Dialog Box.\r\nConversion aborted.");
        return false;
    }
    m_progress_created = true;
    return true;
}

bool CDravikDoc::DestroyProgressDialog() {
    m_skip = false;
    m_yes_to_all = false;
    if (!m_progress_created) return false;
    m_front_end.CloseProgress();
    m_progress_created = false;
    return true;
}

CProgressSetup CDravikDoc::MakeProgressSetup(int run_total, int run_current) const {
    CProgressSetup setup;
    setup.conversion_name = m_instrument_header;
    setup.log_file_name = m_log_name;
    setup.log_file_length = m_log_file_length;
    setup.header_conversion = m_header_conversion != 0;
    if (!setup.header_conversion) setup.instrument_file_name = m_instrument_name;
    setup.process_limit = m_params.process_limit;
    setup.process_depth = m_params.process_depth;
    setup.frame_counter_sensor = m_frame_counter_sensor >= 0;
    setup.check_sum_sensor = m_check_sum_sensor >= 0;
    setup.run_total = run_total;
    setup.run_current = run_current;
    return setup;
}

CConversionStatus CDravikDoc::GetConversionStatus() {
    std::lock_guard<std::mutex> lock(m_lock);
    CConversionStatus status;
    status.frame_counter_errors = m_frame_counter_errors;
    status.check_sum_errors = m_check_sum_errors;
    status.frames_processed = m_frames_processed;
    status.bytes_consumed = m_bytes_consumed;
    status.resynchronizations = m_resynchronizations;
    status.not_found = m_not_found;
    status.aborted = m_abort;
    status.buffer_overrun = m_buffer_overrun;
    status.end_of_data = m_end_of_data;
    status.done = m_done;
    return status;
}

CProgressReport CDravikDoc::MakeProgressReport() {
    CProgressReport report;
    report.status = GetConversionStatus();
    const CConversionStatus& s = report.status;
    const std::string& name = m_instrument_header;
    bool finished = s.done || m_user_cancelled;
    bool complete = !s.aborted && s.end_of_data && !s.not_found && !s.buffer_overrun;
    if (!finished) {
        report.status_text = s.not_found ? "Beginning " + name + " conversion..."
                                         : name + " conversion in progress...";
    } else if (complete && !m_user_cancelled) {
        report.status_text = "Conversion complete.";
    } else if (s.not_found) {
        report.status_text = "Conversion aborted.\r\n" + name + " not found.";
    } else if (s.buffer_overrun) {
        report.status_text = "Conversion aborted.\r\nFile buffer overrun.";
    } else {
        report.status_text = "Conversion aborted.";
    }
    double range, position;
    if (m_params.process_limit >= 1 && !m_header_conversion) {
        range = m_params.process_limit;
        position = s.frames_processed;
    } else {
        range = m_log_file_length == 0 ? 1.0 : static_cast<double>(m_log_file_length);
        position = static_cast<double>(s.bytes_consumed);
    }
    if (finished && complete && !m_user_cancelled) position = range;
    report.percent = static_cast<int>(std::min(100.0, position / range * 100.0 + 0.5));
    return report;
}

void CDravikDoc::AbortConversion() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_abort = 1;
}

bool CDravikDoc::WaitForDone(int timeout_ms) {
    std::unique_lock<std::mutex> lock(m_lock);
    return m_done_cv.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                              [this] { return m_done != 0; });
}

void CDravikDoc::SetDone() {
    m_done = 1;
    m_done_cv.notify_all();
}

// ---------------------------------------------------------------------------
// Setup

bool CDravikDoc::PrepareConversion() {
    m_settings.ApplyCommandLineOverrides(m_params);
    OpenConversionLog();
    ResetConversionState();
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_log_file.Close();
        m_output.Close();
    }

    // Names are made absolute against the directory the program started in,
    // and the header definition is taken from the program's own directory,
    // whatever the current directory is now. The process's current directory
    // is never changed: other threads may be resolving paths.
    m_log_name = NamePart(m_log_path);
    m_output_name = NamePart(m_output_path);
    m_log_full = FullPath(m_log_path, m_startup_directory);
    m_output_full = FullPath(m_output_path, m_startup_directory);
    m_instrument_full = FullPath(m_instrument_path, m_startup_directory);
    m_instrument_header.clear();
    m_resource_name.clear();
    m_serial_number.clear();
    std::string begin;
    if (!m_instrument_full.empty()) {
        m_instrument_name = NamePart(m_instrument_path);
        begin = "Begin instrument conversion.\r\n\tLog File: " + Quoted(m_log_full) +
                "\r\n\tOutput File: " + Quoted(m_output_full) +
                "\r\n\tInstrument File: " + Quoted(m_instrument_full);
        const CSensorFormat& f = m_params.format;
        if (f.apply_fit) {
            begin += "\r\n\tCalibration coefficients applied.";
            if (m_params.immersed) begin += "\r\n\tImmersion coefficients applied.";
        } else if (f.hex_format && !m_params.suppress_strings) {
            begin += "\r\n\tHexadecimal integer output enabled.";
        }
        if (m_params.time_tags) begin += "\r\n\tTime Tag output enabled.";
        if (m_params.frame_counter_checking) begin += "\r\n\tFrame error checking enabled.";
        if (m_params.check_sum_checking) begin += "\r\n\tCheck Sum error checking enabled.";
        if (m_params.suppress_strings) begin += "\r\n\tNon numerical output suppression enabled.";
    } else {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_header_conversion = 1;
        }
        m_instrument_name = kHeaderDefinitionName;
        m_instrument_full = m_program_directory + kHeaderDefinitionName;
        begin = "Begin header conversion.\r\n\tLog File: " + Quoted(m_log_full) +
                "\r\n\tOutput File: " + Quoted(m_output_full);
    }
    // The control gathers its own texts until its thread delivers them, while
    // each resource queues its texts separately. Waiting for delivery at the
    // points where both speak keeps the conversion log in the order things
    // happened.
    SendAndWait(begin + "\r\n");

    int cause = m_log_file.Open(m_log_full, CDiskFile::Mode::kRead, true);
    if (cause != 0) {
        m_front_end.ShowMessage("An error occured opening the log file\r\n" + Quoted(m_log_full) +
                                ".\r\nConversion aborted.");
        ReportMessage(std::string("An error occured opening the log file.\r\n\t") +
                          GetFileErrorText(cause) + "\r\n",
                      0);
        SendAndWait("Conversion aborted.\r\n");
        return false;
    }
    std::uint64_t length = 0;
    m_log_file.GetLength(length);
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_log_file_length = length;
    }

    int buffer = m_header_conversion ? kHeaderBufferSize : EffectiveBuffer();
    if (AddCommResource(&m_log_file, buffer) != 0) {
        m_front_end.ShowMessage("An error occured creating the file resource for " + m_log_full +
                                ".\r\nConversion aborted.");
        m_log_file.Close();
        SendAndWait("Conversion aborted.\r\n");
        return false;
    }
    GetCommResourceId(m_resource_name, 0);

    int result = AddInstrument(m_instrument_full);
    FlushMessages();
    if (result == kControlInstrumentLineErrors) {
        GetInstrumentHeader(m_instrument_header, 0);
        if (!m_front_end.AskYesNo(
                "Errors found in the following Calibration\\Telemetry Definition File:\r\n" +
                Quoted(m_instrument_full) +
                "\r\nSee the conversion log for details.\r\n\r\nDo you wish to continue the "
                "conversion?")) {
            bool failed = false;
            RemoveResourceAndInstrument(false, true, failed);
            SendAndWait("Conversion aborted.\r\n");
            return false;
        }
    } else if (result != 0) {
        m_front_end.ShowMessage("An error occured reading the instrument file" +
                                Quoted(m_instrument_full) + ".\r\nConversion aborted.");
        bool failed = false;
        RemoveResourceAndInstrument(false, false, failed);
        SendAndWait("Conversion aborted.\r\n");
        return false;
    }
    GetInstrumentHeader(m_instrument_header, 0);
    if (!m_header_conversion) FindCheckSensors();

    std::string error;
    if (AttachInstrument(m_instrument_header, m_resource_name, 0) != 0) {
        error = "An error occured attaching " + m_instrument_header + " to " + m_resource_name +
                ".\r\nConversion aborted.";
    } else if (StartAcquisition(0) != 0) {
        error = "An error occured enabling " + m_instrument_header + ".\r\nConversion aborted.";
    }
    if (error.empty()) return true;
    m_front_end.ShowMessage(error);
    bool failed = false;
    RemoveResourceAndInstrument(false, true, failed);
    SendAndWait("Conversion aborted.\r\n");
    return false;
}

void CDravikDoc::RemoveResourceAndInstrument(bool at_end, bool instrument, bool& failed) {
    // A removal answers "pending" while the processing thread has not yet
    // deleted an earlier resource; it is tried again for a while.
    int result = RemoveCommResource(m_resource_name);
    for (int i = 0; result == kControlRemovalPending && i < 250; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        result = RemoveCommResource(m_resource_name);
    }
    if (result != 0) {
        m_front_end.ShowMessage(
            std::string(at_end ? "An error occured removing the file resource for "
                               : "An error occured removing the file resource for\r\n") +
            m_resource_name + ".");
        failed = true;
    }
    if (instrument && RemoveInstrument(m_instrument_header) != 0) {
        m_front_end.ShowMessage("An error occured removing " + m_instrument_header + ".");
        failed = true;
    }
    std::lock_guard<std::mutex> lock(m_lock);
    m_log_file.Close();
}

void CDravikDoc::FindCheckSensors() {
    int frame_counter = -1;
    int check_sum = -1;
    std::string file_type;
    if (m_params.frame_counter_checking) {
        frame_counter = FindFrameCounterSensor(0);
        if (frame_counter == -1) {
            GetInstrumentFileType(0, file_type);
            m_front_end.ShowMessage("No valid FRAME COUNTER sensor found in the " + file_type +
                                    " for " + m_instrument_header +
                                    ". No frame counter error checking will occur for the "
                                    "instrument.");
        }
    }
    if (m_params.check_sum_checking) {
        check_sum = FindChecksumSensor(0);
        if (check_sum == -1) {
            GetInstrumentFileType(0, file_type);
            m_front_end.ShowMessage("No valid CHECK SUM sensor found in the " + file_type +
                                    " for " + m_instrument_header +
                                    ". No check sum error checking will occur for the "
                                    "instrument.");
        }
    }
    std::lock_guard<std::mutex> lock(m_lock);
    m_frame_counter_sensor = frame_counter;
    m_check_sum_sensor = check_sum;
}

// ---------------------------------------------------------------------------
// Output file and headings

bool CDravikDoc::StartConversion(bool multiple) {
    bool opened = OpenOutputFile(multiple);
    if (!opened || m_skip) {
        EndConversion(true);
        if (m_skip) m_outcome = EConversionOutcome::kSkipped;
        return opened && m_skip;
    }
    return true;
}

bool CDravikDoc::OpenOutputFile(bool multiple) {
    m_skip = false;
    std::error_code ec;
    if (m_settings.overwrite_prompt && !m_yes_to_all &&
        std::filesystem::exists(m_output_full, ec)) {
        switch (m_front_end.AskOverwrite(
            "The output file " + Quoted(m_output_full) +
                " already exists. Do you wish to overwrite this file and continue the conversion?",
            multiple)) {
            case EOverwriteAnswer::kYes:
                break;
            case EOverwriteAnswer::kYesToAll:
                m_yes_to_all = true;
                break;
            case EOverwriteAnswer::kNo:
                if (!multiple) return false;
                m_skip = true;
                return true;
            case EOverwriteAnswer::kCancel:
                return false;
        }
    }

    int cause;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        cause = m_output.Open(m_output_full);
    }
    if (cause != 0) {
        m_output_failed = true;
        m_front_end.ShowMessage("An error occured opening the output file\r\n" +
                                Quoted(m_output_full) + ".\r\nConversion aborted.");
        ReportMessage(std::string("An error occured opening the output file.\r\n\t") +
                          GetFileErrorText(cause) + "\r\n",
                      0);
        return false;
    }

    const std::string& d = m_params.delimiter;
    const int width = m_params.format.width;
    std::string text;
    if (m_header_conversion) {
        if (m_params.show_extra) {
            AppendLeftCell(text, "Header", width);
            text += d;
            AppendLeftCell(text, "LogFile", width);
            text += "\n";
            AppendLeftCell(text, m_instrument_header, width);
            text += d;
            AppendLeftCell(text, m_log_name, width);
            text += "\n\n";
        }
        if (!CheckHeaderDefinition()) {
            m_output_failed = true;
            return false;
        }
    } else {
        const CSensorFormat& f = m_params.format;
        if (m_params.show_extra) {
            static const char* const kKeys[] = {"Instrument", "InsFile",  "LogFile",
                                                "Fitted",     "Immersed", "Hex",
                                                "CheckSum",   "TimeTags", "F-TimeTags"};
            for (const char* key : kKeys) {
                AppendCell(text, key, width);
                text += d;
            }
            RemoveTrailingDelimiter(text, d);
            text += "\n";
            const std::string values[] = {
                m_instrument_header,
                m_instrument_name,
                m_log_name,
                YesNo(f.apply_fit),
                YesNo(f.apply_fit && m_params.immersed),
                YesNo(f.hex_format && !f.apply_fit && !m_params.suppress_strings),
                YesNo(m_check_sum_sensor >= 0),
                YesNo(m_params.time_tags),
                YesNo(m_params.time_tags && m_params.time_tags_formatted &&
                      !m_params.suppress_strings),
            };
            for (const std::string& value : values) {
                AppendCell(text, value, width);
                text += d;
            }
            RemoveTrailingDelimiter(text, d);
            text += "\n\n";
            AppendCell(text, "Index", width);
            text += d;
        }
        GetInstrumentSerialNumber(0, m_serial_number);
        if (!m_serial_number.empty()) {
            AppendCell(text, "SN", width);
            text += d;
        }
        std::vector<int> selected;
        std::vector<CSensor*> selected_objects;
        int count = GetInstrumentSensorCount(0);
        for (int i = 0; i < count; ++i) {
            CSensor* sensor = GetInstrumentSensors(0, i);
            if (sensor == nullptr || sensor->GetFitType() == kFitNone) continue;
            sensor->SetImmersed(m_params.immersed != 0);
            std::string heading = sensor->GetType();
            if (!sensor->GetIdentifier().empty()) heading += "(" + sensor->GetIdentifier() + ")";
            AppendCell(text, heading, width);
            text += d;
            selected.push_back(i);
            selected_objects.push_back(sensor);
        }
        if (m_params.time_tags) {
            AppendCell(text, "DATETAG", width);
            text += d;
            AppendCell(text, "TIMETAG2", width);
            text += d;
        }
        RemoveTrailingDelimiter(text, d);
        text += "\n";
        if (m_params.show_extra) {
            AppendBlankCell(text, width);
            text += d;
            if (!m_serial_number.empty()) {
                AppendBlankCell(text, width);
                text += d;
            }
            for (int index : selected) {
                CSensor* sensor = GetInstrumentSensors(0, index);
                if (sensor == nullptr) continue;
                AppendCell(text, sensor->GetUnits(), width);
                text += d;
            }
            RemoveTrailingDelimiter(text, d);
            text += "\n";
        }
        std::lock_guard<std::mutex> lock(m_lock);
        m_selected_sensors = std::move(selected);
        m_selected_sensor_objects = std::move(selected_objects);
        m_row_values.Prepare(m_selected_sensor_objects);
    }

    {
        std::lock_guard<std::mutex> lock(m_lock);
        cause = m_output.Write(text);
        // The headings go to the disk at once: a file that cannot be written
        // is reported before any frame is read.
        if (cause == 0) cause = m_output.Flush();
    }
    if (cause != 0) {
        m_output_failed = true;
        m_front_end.ShowMessage("An error occured writing to the output file\r\n" +
                                Quoted(m_output_full) + ".\r\nConversion aborted.");
        ReportMessage(std::string("An error occured writing to the output file.\r\n\t") +
                          GetFileErrorText(cause) + "\r\n",
                      0);
        return false;
    }
    return true;
}

bool CDravikDoc::CheckHeaderDefinition() {
    if (GetInstrumentSensorCount(0) != 1) return false;
    CSensor* sensor = GetInstrumentSensors(0, 0);
    if (sensor == nullptr || sensor->GetFitType() != kFitCount || sensor->GetType() != "HEADER") {
        return false;
    }
    std::lock_guard<std::mutex> lock(m_lock);
    m_selected_sensors.assign(1, 0);
    m_selected_sensor_objects.assign(1, sensor);
    return true;
}

// ---------------------------------------------------------------------------
// The frame loop (processing thread)

void CDravikDoc::RequestNextFrame() {
    GetFileFrame(0);
}

void CDravikDoc::OnFileResourceStatus(const std::string& /*resource_name*/, int file_error_cause,
                                      int end_of_file, int file_open) {
    std::lock_guard<std::mutex> lock(m_lock);
    if (file_error_cause != 0 || !file_open) m_abort = 1;
    if (end_of_file) m_end_of_data = 1;
}

void CDravikDoc::OnTelemetryFrame(const std::string& /*resource_name*/,
                                  std::unique_ptr<CFrameData> frame) {
    std::lock_guard<std::mutex> lock(m_lock);
    // Nothing is requested once a conversion is done, so an answer arriving
    // now belongs to no conversion; it is dropped.
    if (m_done) return;
    if (frame) {
        HandleFrame(std::move(frame));
    } else {
        HandleNoFrame();
    }
}

void CDravikDoc::HandleNoFrame() {
    if (m_header_conversion) m_end_of_data = 1;
    // After a read error the resource may answer "no frame" without ever
    // reaching the end of the file; asking again would never end.
    if (m_end_of_data || m_abort) {
        std::int64_t discarded = 0;
        GetBytesDiscarded(discarded, 0);
        // Bytes dropped at earlier empty answers count too: the overrun is
        // about everything discarded since the last frame. A header
        // conversion skips the instrument frames that follow the records by
        // design (a frame request searches on to the end of the log), so
        // discarded bytes are no overrun there.
        if (m_end_of_data && !m_header_conversion &&
            m_discarded_since_frame +
                    static_cast<std::uint64_t>(std::max<std::int64_t>(discarded, 0)) >=
                static_cast<std::uint64_t>(EffectiveBuffer())) {
            m_buffer_overrun = 1;
        }
        SetDone();
        return;
    }
    AccountBytes(false);
    RequestNextFrame();
}

void CDravikDoc::HandleFrame(std::unique_ptr<CFrameData> frame) {
    if (m_abort) {
        SetDone();
        return;
    }
    if (m_header_conversion) {
        WriteHeaderLine(std::move(frame));
        return;
    }
    const int index = frame->GetFrameCounter();
    if (m_params.process_limit > 0 && index > m_params.process_limit) {
        m_end_of_data = 1;
        SetDone();
        return;
    }
    m_frames_processed = static_cast<unsigned>(index);
    m_last_frame_length = frame->GetFrameLength();
    if (CheckFrame(*frame)) {
        ++m_depth_counter;
        if (m_depth_counter >= m_params.process_depth) {
            m_frame_selected = 1;
            m_depth_counter = 0;
        } else {
            m_frame_selected = 0;
        }
    }
    if (!m_frame_selected) {
        // A skipped frame still moves the log file position on, so that the
        // next written frame reads its own time tag.
        AccountBytes(true);
        RequestNextFrame();
        return;
    }
    if (!WriteRow(*frame)) return;
    m_not_found = 0;
    AccountBytes(true);
    WriteTimeTags(*frame);
    // After a failed time tag nothing more is asked: an answer could only
    // arrive once the conversion has ended.
    if (!m_done) RequestNextFrame();
}

bool CDravikDoc::CheckFrame(const CFrameData& frame) {
    const unsigned index = static_cast<unsigned>(frame.GetFrameCounter());
    // Both check fields are read as numbers; the read of the check sum field
    // only proves that the field lies inside the frame.
    auto read = [&](CSensor& sensor, std::uint32_t& value) {
        if (sensor.GetDataType() == kDataBU) return sensor.GetUnsignedValue(value, &frame);
        std::int32_t signed_value = 0;
        int code = sensor.GetSignedValue(signed_value, &frame);
        value = static_cast<std::uint32_t>(signed_value);
        return code;
    };
    if (m_frame_counter_sensor != -1) {
        if (CSensor* sensor = GetInstrumentSensors(0, m_frame_counter_sensor)) {
            std::uint32_t value = 0;
            if (read(*sensor, value) != 0) {
                ReportMessage(
                    "Frame counter sensor error for frame index " + std::to_string(index) + ".\r\n",
                    0);
                ++m_frame_counter_errors;
                return false;
            }
            if (m_counter_check.Check(value)) {
                ReportMessage("Frame counter error detected for frame index " +
                                  std::to_string(index) + ".\r\n",
                              0);
                ++m_frame_counter_errors;
            }
        }
    }
    if (m_check_sum_sensor != -1) {
        if (CSensor* sensor = GetInstrumentSensors(0, m_check_sum_sensor)) {
            std::uint32_t value = 0;
            if (read(*sensor, value) != 0) {
                ReportMessage(
                    "Check sum sensor error for frame index " + std::to_string(index) + ".\r\n", 0);
                m_check_sum_residual = 0;
                ++m_check_sum_errors;
                return false;
            }
            m_check_sum_residual = CheckSumResidual(frame.GetBytes(), sensor->GetOffset());
            if (m_check_sum_residual != 0) {
                ReportMessage(
                    "Check sum error detected for frame index " + std::to_string(index) + ".\r\n",
                    0);
                m_counter_check.resync = true;
                ++m_check_sum_errors;
            }
        }
    }
    return true;
}

bool CDravikDoc::WriteRow(const CFrameData& frame) {
    const std::string& d = m_params.delimiter;
    const int width = m_params.format.width;
    const bool suppress = m_params.suppress_strings != 0;
    CSensorFormat format = m_params.format;
    if (format.precision == -1) format.precision = 10;

    // The row is built straight into the output file's buffer.
    std::string& row = m_output.BeginText();
    const std::size_t row_start = row.size();
    m_row_values.BeginFrame();
    if (m_params.show_extra) {
        AppendUnsignedCell(row, static_cast<unsigned>(frame.GetFrameCounter()), width);
        row += d;
    }
    if (!m_serial_number.empty()) {
        AppendCell(row, m_serial_number, width);
        row += d;
    }
    for (std::size_t k = 0; k < m_selected_sensors.size(); ++k) {
        const int index = m_selected_sensors[k];
        CSensor* sensor = m_selected_sensor_objects[k];
        if (sensor == nullptr) {
            GetValueErrorText(m_cell, 0);
            AppendCell(row, m_cell, width);
        } else if (index == m_check_sum_sensor) {
            AppendUnsignedCell(row, m_check_sum_residual, width);
        } else if (suppress && sensor->GetDataType() == kDataAS) {
            AppendBlankCell(row, width);
        } else if (suppress && format.apply_fit &&
                   (sensor->GetFitType() == kFitDDMM || sensor->GetFitType() == kFitHHMMSS ||
                    sensor->GetFitType() == kFitTime2)) {
            AppendBlankCell(row, width);
        } else {
            // The value goes straight into the row; under Suppress Strings an
            // error value becomes an empty cell, without padding.
            const std::size_t start = row.size();
            m_row_values.AppendValue(row, k, frame, format);
            if (suppress && IsErrorCell(std::string_view(row).substr(start))) row.resize(start);
        }
        row += d;
    }
    if (!m_params.time_tags) {
        if (row.size() - row_start >= d.size()) RemoveTrailingDelimiter(row, d);
        row += "\n";
    }
    int cause = m_output.EndText();
    if (cause != 0) {
        FailWhileConverting(cause, true);
        return false;
    }
    return true;
}

void CDravikDoc::FailWhileConverting(int cause, bool writing) {
    if (writing) {
        m_output_failed = true;
        Notice("An error occured writing to the output file\r\n" + Quoted(m_output_full) + ".");
        ReportMessage(std::string("An error occured writing to the output file.\r\n\t") +
                          GetFileErrorText(cause) + "\r\n",
                      0);
    } else {
        Notice("An error occured reading the log file\r\n" + Quoted(m_log_full) + ".");
        ReportMessage(std::string("An error occured reading the log file.\r\n\t") +
                          GetFileErrorText(cause) + "\r\n",
                      0);
    }
    m_abort = 1;
    SetDone();
}

void CDravikDoc::WriteTimeTags(const CFrameData& frame) {
    if (!m_params.time_tags || m_done) return;
    const std::string& d = m_params.delimiter;
    const int width = m_params.format.width;
    const bool suppress = m_params.suppress_strings != 0;
    const bool formatted = m_params.time_tags_formatted && !suppress;

    // The time tag is the record that follows the frame in the log file. The
    // frame usually brings those bytes along; the file is read when it does not.
    std::uint8_t record[CFrameData::kFollowingBytes];
    std::span<const std::uint8_t> bytes;
    if (!frame.GetFollowingBytes(m_bytes_consumed, bytes)) {
        std::size_t got = 0;
        const int cause = ReadAt(m_log_file, m_bytes_consumed, record, sizeof record, got);
        if (cause != 0) {
            FailWhileConverting(cause, false);
            return;
        }
        bytes = std::span<const std::uint8_t>(record, got);
    }
    std::string& cells = m_output.BeginText();
    if (bytes.size() < kTimeTagLength) {
        GetValueErrorText(m_cell, 0);
        AppendMissingTimeTagCells(cells, suppress, width, d, m_cell);
    } else {
        CTimeTag tag = DecodeTimeTag(bytes);
        m_cell.clear();
        if (!formatted) FormatDouble(m_cell, DecimalHours(tag.time), m_params.format);
        AppendTimeTagCells(cells, tag, formatted, width, d, m_cell);
    }
    const int cause = m_output.EndText();
    if (cause != 0) {
        FailWhileConverting(cause, true);
    }
}

void CDravikDoc::WriteHeaderLine(std::unique_ptr<CFrameData> frame) {
    m_frames_processed = static_cast<unsigned>(frame->GetFrameCounter());
    m_last_frame_length = frame->GetFrameLength();
    CSensor* sensor =
        m_selected_sensor_objects.size() == 1 ? m_selected_sensor_objects[0] : nullptr;
    if (sensor == nullptr) {
        SetDone();
        return;
    }
    FormatSensorValue(m_cell, *sensor, frame.get(), m_params.format);
    std::string line =
        FormatHeaderLine(SplitHeaderRecord(m_cell), m_params.format.width, m_params.delimiter);
    int cause = m_output.Write(line);
    if (cause != 0) {
        FailWhileConverting(cause, true);
        return;
    }
    m_not_found = 0;
    AccountBytes(true);
    RequestNextFrame();
}

void CDravikDoc::AccountBytes(bool with_frame) {
    std::int64_t discarded = 0;
    GetBytesDiscarded(discarded, 0);
    ResetBytesDiscarded(0);
    if (discarded < 0) discarded = 0;
    // An empty answer consumed no frame: only what was discarded moves on.
    if (with_frame && m_last_frame_length > 0) m_bytes_consumed += m_last_frame_length;
    m_bytes_consumed += static_cast<std::uint64_t>(discarded);
    m_discarded_since_frame = with_frame ? 0 : m_discarded_since_frame + discarded;
    if (!m_done && m_frames_processed > 1 && discarded > 0) ++m_resynchronizations;
}

// ---------------------------------------------------------------------------
// End step

bool CDravikDoc::EndConversion(bool cancelled) {
    ShowPendingMessages();
    FlushMessages();
    bool failed;
    int output_cause;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        failed = m_abort || !m_end_of_data;
        // What is still buffered must reach the disk before the conversion
        // may be called complete.
        output_cause = m_output.Close();
    }
    if (output_cause != 0) {
        failed = true;
        m_output_failed = true;
        m_front_end.ShowMessage("An error occured writing to the output file\r\n" +
                                Quoted(m_output_full) + ".");
        ReportMessage(std::string("An error occured writing to the output file.\r\n\t") +
                          GetFileErrorText(output_cause) + "\r\n",
                      0);
    }
    RemoveResourceAndInstrument(true, true, failed);

    std::string summary;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        const std::string not_found =
            "Conversion aborted.\r\n\t" + m_instrument_header + " not found.\r\n";
        const std::string overrun = "Conversion aborted.\r\n\tFile buffer overrun.\r\n";
        if (cancelled) {
            summary = "Conversion aborted.\r\n";
        } else if (m_not_found) {
            summary = not_found;
            failed = true;
        } else if (m_buffer_overrun) {
            summary = overrun;
            failed = true;
        } else {
            summary = failed ? "Conversion aborted.\r\n" : "Conversion complete.\r\n";
        }
        if (m_frames_processed > 0) {
            summary +=
                "\tFrames processed: " + std::to_string(m_frames_processed) +
                "\r\n\tResynchronizations required: " + std::to_string(m_resynchronizations) +
                "\r\n";
            if (m_frame_counter_sensor >= 0) {
                summary +=
                    "\tFrame counter errors: " + std::to_string(m_frame_counter_errors) + "\r\n";
            }
            if (m_check_sum_sensor >= 0) {
                summary += "\tCheck sum errors: " + std::to_string(m_check_sum_errors) + "\r\n";
            }
        }
    }
    SendAndWait(summary);
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_log_file.Close();
    }
    if (cancelled) {
        m_outcome = m_output_failed ? EConversionOutcome::kFailed : EConversionOutcome::kAborted;
    } else {
        m_outcome = failed ? EConversionOutcome::kFailed : EConversionOutcome::kComplete;
    }
    return !failed;
}

// ---------------------------------------------------------------------------
// One whole conversion for a waiting front end

EConversionOutcome CDravikDoc::RunConversion(const CRunOptions& options) {
    auto finish = [&](EConversionOutcome outcome) {
        m_outcome = outcome;
        if (options.last_of_run) DestroyProgressDialog();
        return outcome;
    };
    if (!CreateProgressDialog()) return finish(EConversionOutcome::kFailed);
    if (!PrepareConversion()) return finish(EConversionOutcome::kFailed);
    m_front_end.InitProgress(MakeProgressSetup(options.run_total, options.run_current));
    if (!StartConversion(options.multiple) || m_skip) return finish(m_outcome);

    RequestNextFrame();
    while (!WaitForDone(100)) {
        ShowPendingMessages();
        if (!m_front_end.RefreshProgress(MakeProgressReport()) && !m_user_cancelled) {
            m_user_cancelled = true;
            AbortConversion();
        }
    }
    EndConversion(m_user_cancelled);
    m_front_end.RefreshProgress(MakeProgressReport());
    return finish(m_outcome);
}

}  // namespace dravik

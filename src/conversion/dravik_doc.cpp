#include "conversion/dravik_doc.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <thread>

#include "settings/program_dir.h"
#include "settings/settings_store.h"
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

// How long the driving thread waits, at most, for the answer to a frame
// request when it ends a conversion early. A request does a bounded amount of
// work and is answered within milliseconds; the limit only keeps a lost
// answer (a control already shutting down) from hanging the caller.
constexpr auto kAnswerTimeout = std::chrono::seconds(10);

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
      m_program_directory(DataFileDirectory(kHeaderDefinitionName)) {
    if (m_store != nullptr) m_settings.Read(*m_store);
    ResetConversionState();
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
    // The old control goes with the conversion it was running.
    if (m_in_progress) EndConversion(true);
    NewControl();
    ResetConversionState();
}

void CDravikDoc::DeleteContents() {
    // A conversion still running is cancelled and ended, so that nothing is
    // written after this returns and its summary still reaches the log.
    if (m_in_progress) EndConversion(true);
    // The control goes next: its last messages still reach the log file.
    COxaTelemetryDoc::DeleteContents();
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_conversion_log.Close();
        m_output.Close();
        m_log_file.Close();
    }
    DestroyProgressDialog();
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
    m_output_failed = false;
    m_user_cancelled = false;
    m_selected_sensors.clear();
}

std::string CDravikDoc::FullPath(const std::string& path, const std::string& directory) const {
    if (path.empty() || path.front() == '/') return path;
    return WithTrailingSlash(directory) + path;
}

int CDravikDoc::EffectiveBuffer() const {
    // The stored value is taken unchecked; a chunk of nothing (or of a
    // gigabyte) is no way to read a file.
    return std::clamp(m_run.buffer, kHeaderBufferSize, 1 << 24);
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
    ReportMessage(text, 0);
    // The control's thread passes a marker queued behind the text once the
    // text has reached the conversion log.
    WaitForQueuedCommands();
    // Delivering the text may have failed to write the conversion log; the
    // user hears of it now, before whatever comes next, and also when the
    // conversion ends here (a failed setup) or this was its summary.
    ShowPendingMessages();
}

void CDravikDoc::FlushMessages() {
    WaitForQueuedCommands();
    ShowPendingMessages();
}

void CDravikDoc::OnTelemetryMessage(std::string& text) {
    std::lock_guard<std::mutex> lock(m_lock);
    COxaTelemetryDoc::OnTelemetryMessage(text);
    if (text.empty()) return;
    if (m_log_sink) {
        m_log_sink(text);
        return;
    }
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

void CDravikDoc::SetConversionLogSink(LogSink sink) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_log_sink = std::move(sink);
    if (m_log_sink) m_conversion_log.Close();
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
        if (m_log_sink) return;
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
    setup.process_limit = m_run.process_limit;
    setup.process_depth = m_run.process_depth;
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
    if (m_run.process_limit >= 1 && !m_header_conversion) {
        range = m_run.process_limit;
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
    // A conversion left running is ended before another one begins.
    if (m_in_progress) EndConversion(true);
    m_settings.ApplyCommandLineOverrides(m_params);
    // The conversion works on its own copy: the parameters may be edited
    // while it runs, for the next one.
    m_run = m_params;
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
        const CSensorFormat& f = m_run.format;
        if (f.apply_fit) {
            begin += "\r\n\tCalibration coefficients applied.";
            if (m_run.immersed) begin += "\r\n\tImmersion coefficients applied.";
        } else if (f.hex_format && !m_run.suppress_strings) {
            begin += "\r\n\tHexadecimal integer output enabled.";
        }
        if (m_run.time_tags) begin += "\r\n\tTime Tag output enabled.";
        if (m_run.frame_counter_checking) begin += "\r\n\tFrame error checking enabled.";
        if (m_run.check_sum_checking) begin += "\r\n\tCheck Sum error checking enabled.";
        if (m_run.suppress_strings) begin += "\r\n\tNon numerical output suppression enabled.";
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
    if (result == 0 || result == kControlInstrumentLineErrors) {
        // A file with no INSTRUMENT line (an archive, a spreadsheet, any text
        // given by mistake) loads with an empty header. No header can be
        // searched for, and every byte of the log would become a frame.
        GetInstrumentHeader(m_instrument_header, 0);
        if (m_instrument_header.empty()) {
            m_front_end.ShowMessage("The instrument file\r\n" + Quoted(m_instrument_full) +
                                    "\r\ndefines no instrument header (no INSTRUMENT line).\r\n"
                                    "Conversion aborted.");
            ReportMessage("The instrument file defines no instrument header.\r\n", 0);
            bool failed = false;
            RemoveResourceAndInstrument(false, true, failed);
            SendAndWait("Conversion aborted.\r\n");
            return false;
        }
    }
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
    if (error.empty()) {
        m_in_progress = true;
        return true;
    }
    m_front_end.ShowMessage(error);
    bool failed = false;
    RemoveResourceAndInstrument(false, true, failed);
    SendAndWait("Conversion aborted.\r\n");
    return false;
}

void CDravikDoc::RemoveResourceAndInstrument(bool at_end, bool instrument, bool& failed) {
    // A removal answers "pending" while the processing thread has not yet
    // deleted an earlier resource, which it does at the end of its batch.
    int result = RemoveCommResource(m_resource_name);
    if (result == kControlRemovalPending) {
        WaitForQueuedCommands();
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
    if (m_run.frame_counter_checking) {
        frame_counter = FindFrameCounterSensor(0);
        if (frame_counter == -1) {
            GetInstrumentFileType(0, file_type);
            m_front_end.ShowMessage("No valid FRAME COUNTER sensor found in the " + file_type +
                                    " for " + m_instrument_header +
                                    ". No frame counter error checking will occur for the "
                                    "instrument.");
        }
    }
    if (m_run.check_sum_checking) {
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

std::vector<CDravikDoc::CFileInUse> CDravikDoc::FilesInUse() {
    std::vector<CFileInUse> files;
    CFileIdentity identity;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_log_file.GetIdentity(identity)) files.push_back({identity, "the log file"});
        if (m_conversion_log.GetIdentity(identity)) {
            files.push_back({identity, "the conversion log file"});
        }
    }
    if (GetFileIdentity(m_instrument_full, identity)) {
        files.push_back(
            {identity, m_header_conversion ? "the header definition file" : "the instrument file"});
    }
    return files;
}

bool CDravikDoc::OpenOutputFile(bool multiple) {
    m_skip = false;
    // Opening the output empties it. Reached through a link or another name,
    // it may be a file this conversion reads or records to: that is refused
    // before anyone is asked about overwriting it, and again on the opened
    // file itself before it is emptied.
    const std::vector<CFileInUse> in_use = FilesInUse();
    std::vector<CFileIdentity> refused;
    CFileIdentity output;
    const bool output_exists = GetFileIdentity(m_output_full, output);
    for (const CFileInUse& file : in_use) {
        refused.push_back(file.identity);
        if (output_exists && file.identity == output) {
            m_output_failed = true;
            m_front_end.ShowMessage("An error occured opening the output file\r\n" +
                                    Quoted(m_output_full) + ".\r\nIt is " + file.what +
                                    " of the conversion, which was left as it was.\r\n"
                                    "Conversion aborted.");
            ReportMessage(std::string("An error occured opening the output file.\r\n\tThe output "
                                      "file is ") +
                              file.what + " of the conversion.\r\n",
                          0);
            return false;
        }
    }
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
        cause = m_output.Open(m_output_full, refused);
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

    const std::string& d = m_run.delimiter;
    const int width = m_run.format.width;
    std::string text;
    if (m_header_conversion) {
        if (m_run.show_extra) {
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
        const CSensorFormat& f = m_run.format;
        if (m_run.show_extra) {
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
                YesNo(f.apply_fit && m_run.immersed),
                YesNo(f.hex_format && !f.apply_fit && !m_run.suppress_strings),
                YesNo(m_check_sum_sensor >= 0),
                YesNo(m_run.time_tags),
                YesNo(m_run.time_tags && m_run.time_tags_formatted && !m_run.suppress_strings),
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
            sensor->SetImmersed(m_run.immersed != 0);
            std::string heading = sensor->GetType();
            if (!sensor->GetIdentifier().empty()) heading += "(" + sensor->GetIdentifier() + ")";
            AppendCell(text, heading, width);
            text += d;
            selected.push_back(i);
            selected_objects.push_back(sensor);
        }
        if (m_run.time_tags) {
            AppendCell(text, "DATETAG", width);
            text += d;
            AppendCell(text, "TIMETAG2", width);
            text += d;
        }
        RemoveTrailingDelimiter(text, d);
        text += "\n";
        if (m_run.show_extra) {
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
        // The selected sensors themselves go to the row writer, resolved once:
        // the instrument stays in the control until the end step, and a lookup
        // through the control per value would take its lock each time.
        int check_sum_column = -1;
        for (std::size_t k = 0; k < selected.size(); ++k) {
            if (selected[k] == m_check_sum_sensor) check_sum_column = static_cast<int>(k);
        }
        std::lock_guard<std::mutex> lock(m_lock);
        m_selected_sensors = std::move(selected);
        m_row_writer.Configure(m_run, m_serial_number, std::move(selected_objects),
                               check_sum_column);
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
    m_row_writer.Configure(m_run, std::string(), {sensor}, -1);
    return true;
}

// ---------------------------------------------------------------------------
// The frame loop (processing thread)

void CDravikDoc::RequestNextFrame() {
    if (!m_in_progress) return;  // nothing to ask for
    std::lock_guard<std::mutex> lock(m_lock);
    if (GetCommResourceCount() < 1) {
        // No resource to ask: no answer would ever come.
        m_abort = 1;
        SetDone();
        return;
    }
    RequestFrame();
}

void CDravikDoc::RequestFrame() {
    // Exactly one request is outstanding: its answer asks for the next one.
    if (m_request_outstanding || m_done) return;
    m_request_outstanding = true;
    GetFileFrame(0);
}

void CDravikDoc::OnFileResourceStatus(const std::string& /*resource_name*/, int file_error_cause,
                                      int end_of_file, int file_open) {
    std::lock_guard<std::mutex> lock(m_lock);
    if (file_error_cause != 0 && !m_abort && !m_done) {
        // The resource logs each failed read; the user hears of the first.
        // A log that ends before the length it had when the conversion began
        // was cut short underneath: what was converted is not the whole log.
        Notice("An error occured reading the log file\r\n" + Quoted(m_log_full) + ".\r\n" +
               (file_error_cause == kFileEndOfFile
                    ? std::string("It became shorter while it was being converted.")
                    : GetFileErrorText(file_error_cause)));
        ReportMessage(std::string("An error occured reading the log file.\r\n\t") +
                          GetFileErrorText(file_error_cause) + "\r\n",
                      0);
    }
    if (file_error_cause != 0 || !file_open) m_abort = 1;
    if (end_of_file) m_end_of_data = 1;
}

void CDravikDoc::OnTelemetryFrame(const std::string& /*resource_name*/,
                                  std::unique_ptr<CFrameData> frame) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_request_outstanding = false;
    // Nothing is requested once a conversion is done, so an answer arriving
    // now belongs to no conversion; it is dropped.
    if (!m_done) {
        if (frame) {
            HandleFrame(std::move(frame));
        } else {
            HandleNoFrame();
        }
    }
    // EndConversion may be waiting for this answer.
    if (!m_request_outstanding) m_done_cv.notify_all();
}

void CDravikDoc::HandleNoFrame() {
    // An empty answer after a request that dropped bytes is progress through
    // junk: the bytes are counted and the search goes on. Once the end of the
    // file has been read, an answer that dropped nothing means the data is
    // exhausted (what is left is a partial frame). After an abort (a read
    // error, a cancel) nothing more is asked.
    const std::uint64_t discarded = AccountBytes(false);
    const bool exhausted = m_end_of_data && discarded == 0;
    if (!exhausted && !m_abort) {
        RequestFrame();
        return;
    }
    if (m_header_conversion) {
        // The instrument frames that follow the header records are skipped
        // on purpose: no overrun there, and the records end with the data.
        m_end_of_data = 1;
    } else if (exhausted &&
               m_discarded_since_frame >= static_cast<std::uint64_t>(EffectiveBuffer())) {
        m_buffer_overrun = 1;
    }
    SetDone();
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
    if (m_run.process_limit > 0 && index > m_run.process_limit) {
        m_end_of_data = 1;
        SetDone();
        return;
    }
    m_frames_processed = static_cast<unsigned>(index);
    m_last_frame_length = frame->GetFrameLength();
    if (CheckFrame(*frame)) {
        ++m_depth_counter;
        if (m_depth_counter >= m_run.process_depth) {
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
        RequestFrame();
        return;
    }
    if (!WriteRow(*frame)) return;
    m_not_found = 0;
    AccountBytes(true);
    WriteTimeTags(*frame);
    // After a failed time tag nothing more is asked (RequestFrame sees done).
    RequestFrame();
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
    // The row is built straight into the output file's buffer.
    m_row_writer.AppendRow(m_output.BeginText(), frame, m_check_sum_residual);
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
    if (!m_run.time_tags || m_done) return;
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
    m_row_writer.AppendTimeTags(m_output.BeginText(), bytes);
    const int cause = m_output.EndText();
    if (cause != 0) FailWhileConverting(cause, true);
}

void CDravikDoc::WriteHeaderLine(std::unique_ptr<CFrameData> frame) {
    m_frames_processed = static_cast<unsigned>(frame->GetFrameCounter());
    m_last_frame_length = frame->GetFrameLength();
    const std::string& line = m_row_writer.HeaderLine(*frame);
    if (line.empty()) {
        SetDone();
        return;
    }
    int cause = m_output.Write(line);
    if (cause != 0) {
        FailWhileConverting(cause, true);
        return;
    }
    m_not_found = 0;
    AccountBytes(true);
    RequestFrame();
}

std::uint64_t CDravikDoc::AccountBytes(bool with_frame) {
    std::int64_t count = 0;
    GetBytesDiscarded(count, 0);
    ResetBytesDiscarded(0);
    const std::uint64_t discarded = static_cast<std::uint64_t>(std::max<std::int64_t>(count, 0));
    // An empty answer consumed no frame: only what was discarded moves on.
    if (with_frame && m_last_frame_length > 0) m_bytes_consumed += m_last_frame_length;
    m_bytes_consumed += discarded;
    m_discarded_since_frame += discarded;
    if (with_frame) {
        // A frame after the first that had to be searched for (bytes were
        // dropped since the frame before it, over any number of requests) is
        // one resynchronization. So the count depends neither on the buffer
        // size nor on where the chunks of the log end, and the bytes after
        // the last frame count for nothing.
        if (m_frames_processed >= 2 && m_discarded_since_frame > 0) ++m_resynchronizations;
        m_discarded_since_frame = 0;
    }
    return discarded;
}

// ---------------------------------------------------------------------------
// End step

void CDravikDoc::StopFrameLoop() {
    std::unique_lock<std::mutex> lock(m_lock);
    if (!m_done) m_abort = 1;
    // The answer being worked on sees the abort and asks for nothing more.
    m_done_cv.wait_for(lock, kAnswerTimeout, [this] { return !m_request_outstanding; });
    m_request_outstanding = false;
}

bool CDravikDoc::EndConversion(bool cancelled) {
    // A window may end a conversion more than once (done seen, then closed):
    // only the first call ends it.
    if (!m_in_progress) return m_outcome == EConversionOutcome::kComplete;
    m_in_progress = false;
    StopFrameLoop();
    FlushMessages();
    bool failed;
    int output_cause;
    bool output_failed;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        failed = m_abort || !m_end_of_data;
        output_failed = m_output_failed;
        // What is still buffered must reach the disk before the conversion
        // may be called complete.
        output_cause = m_output.Close();
    }
    if (output_cause != 0) {
        failed = true;
        output_failed = true;
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
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_output_failed = output_failed;
    }
    if (cancelled) {
        m_outcome = output_failed ? EConversionOutcome::kFailed : EConversionOutcome::kAborted;
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

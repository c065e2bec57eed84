#include "conversion/dravik_doc.h"

#include <chrono>

#include "settings/program_dir.h"
#include "settings/settings_store.h"

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

// How long a window's poll waits for the document lock before it leaves the
// poll to its next tick: far longer than a frame holds the lock, far shorter
// than a write held up by a slow disk.
constexpr auto kBriefLockWait = std::chrono::milliseconds(40);

}  // namespace

// ---------------------------------------------------------------------------
// Construction, settings, document life

CDravikDoc::CDravikDoc(CFrontEnd& front_end, CSettingsStore* settings)
    : m_front_end(front_end),
      m_store(settings),
      m_settings(StartupWorkingDirectory()),
      m_startup_directory(StartupWorkingDirectory()),
      m_program_directory(DataFileDirectory(kHeaderDefinitionName)),
      m_loop(*this, m_notices) {
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
    if (InProgress()) EndConversion(true);
    NewControl();
    ResetConversionState();
}

void CDravikDoc::DeleteContents() {
    // A conversion still running is cancelled and ended, so that nothing is
    // written after this returns and its summary still reaches the log.
    if (InProgress()) EndConversion(true);
    // The control goes next: its last messages still reach the log file.
    COxaTelemetryDoc::DeleteContents();
    {
        std::lock_guard<std::timed_mutex> lock(m_lock);
        m_conversion_log.Close();
        m_output.reset();
        m_log.Close();
    }
    DestroyProgressDialog();
}

void CDravikDoc::ResetConversionState() {
    std::lock_guard<std::timed_mutex> lock(m_lock);
    if (!InProgressLocked()) m_phase = EConversionPhase::kIdle;
    m_loop.Reset();
    m_prepared.header_conversion = false;
    m_prepared.log_file_length = 0;
    m_prepared.log_length_known = true;
    m_prepared.frame_counter_sensor = -1;
    m_prepared.check_sum_sensor = -1;
}

std::unique_lock<std::timed_mutex> CDravikDoc::LockBriefly() {
    // Queued behind the processing thread like any wait for the lock, but
    // given up after a while. The deadline is on the system clock, which
    // waits with pthread_mutex_timedlock (the thread sanitizer follows that
    // call, not the monotonic clock's); a clock step only lengthens or
    // shortens this one wait.
    return std::unique_lock<std::timed_mutex>(m_lock,
                                              std::chrono::system_clock::now() + kBriefLockWait);
}

bool CDravikDoc::InProgress() {
    std::lock_guard<std::timed_mutex> lock(m_lock);
    return InProgressLocked();
}

bool CDravikDoc::InProgressLocked() const noexcept {
    return m_phase != EConversionPhase::kIdle && m_phase != EConversionPhase::kEnded;
}

// ---------------------------------------------------------------------------
// Messages

void CDravikDoc::ShowPendingMessages() {
    std::vector<CNotice> notices;
    {
        std::lock_guard<std::timed_mutex> lock(m_lock);
        notices.swap(m_notices);
    }
    for (const CNotice& notice : notices) Show(notice);
}

bool CDravikDoc::TryShowPendingMessages() {
    std::vector<CNotice> notices;
    {
        const std::unique_lock<std::timed_mutex> lock = LockBriefly();
        if (!lock.owns_lock()) return false;
        notices.swap(m_notices);
    }
    for (const CNotice& notice : notices) Show(notice);
    return true;
}

void CDravikDoc::Show(const CNotice& notice) {
    m_front_end.ShowMessage(notice.text);
    if (!notice.detail.empty()) m_front_end.ShowDetail(notice.detail);
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
    std::lock_guard<std::timed_mutex> lock(m_lock);
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
    std::string warning = m_conversion_log.Append(text);
    if (!warning.empty()) {
        m_notices.push_back({std::move(warning), m_conversion_log.GetSystemErrorText()});
    }
}

std::string CDravikDoc::TakeLogText() {
    std::lock_guard<std::timed_mutex> lock(m_lock);
    std::string text;
    text.swap(m_pending_log_text);
    return text;
}

bool CDravikDoc::TryTakeLogText(std::string& text) {
    const std::unique_lock<std::timed_mutex> lock = LockBriefly();
    if (!lock.owns_lock()) return false;
    text.clear();
    text.swap(m_pending_log_text);
    return true;
}

bool CDravikDoc::IsConversionLogOpen() {
    std::lock_guard<std::timed_mutex> lock(m_lock);
    return m_conversion_log.IsOpen();
}

std::string CDravikDoc::GetConversionLogPath() {
    std::lock_guard<std::timed_mutex> lock(m_lock);
    return m_conversion_log.GetPath();
}

void CDravikDoc::SetConversionLogSink(LogSink sink) {
    std::lock_guard<std::timed_mutex> lock(m_lock);
    m_log_sink = std::move(sink);
    if (m_log_sink) m_conversion_log.Close();
}

void CDravikDoc::OpenConversionLog() {
    // The conversion log is opened before the log file and the instrument
    // file are read; it must not be one of them.
    const std::vector<std::string> in_use = {
        FullPath(m_paths.log, m_startup_directory),
        m_paths.instrument.empty() ? m_program_directory + kHeaderDefinitionName
                                   : FullPath(m_paths.instrument, m_startup_directory)};
    CNotice warning;
    {
        std::lock_guard<std::timed_mutex> lock(m_lock);
        if (m_log_sink) return;
        warning.text = m_conversion_log.Open(m_settings, m_params, in_use);
        warning.detail = m_conversion_log.GetSystemErrorText();
    }
    if (!warning.text.empty()) Show(warning);
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
    m_overwrite.skip = false;
    m_overwrite.yes_to_all = false;
    if (!m_progress_created) return false;
    m_front_end.CloseProgress();
    m_progress_created = false;
    return true;
}

CProgressSetup CDravikDoc::MakeProgressSetup(int run_total, int run_current) const {
    CProgressSetup setup;
    setup.conversion_name = m_prepared.instrument_header;
    setup.log_file_name = m_prepared.log_name;
    setup.log_file_length = m_prepared.log_file_length;
    setup.log_length_known = m_prepared.log_length_known;
    setup.header_conversion = m_prepared.header_conversion;
    if (!setup.header_conversion) setup.instrument_file_name = m_prepared.instrument_name;
    setup.process_limit = m_run.process_limit;
    setup.process_depth = m_run.process_depth;
    setup.frame_counter_sensor = m_prepared.frame_counter_sensor >= 0;
    setup.check_sum_sensor = m_prepared.check_sum_sensor >= 0;
    setup.run_total = run_total;
    setup.run_current = run_current;
    return setup;
}

CConversionStatus CDravikDoc::StatusLocked() const {
    if (m_phase == EConversionPhase::kEnded) return m_last.status;
    CConversionStatus status = m_loop.GetStatus();
    status.done = m_phase == EConversionPhase::kDone ? 1 : 0;
    return status;
}

CConversionStatus CDravikDoc::GetConversionStatus() {
    std::lock_guard<std::timed_mutex> lock(m_lock);
    return StatusLocked();
}

void CDravikDoc::ReportStateLocked(bool user_cancelled, CConversionStatus& status,
                                   CConversionEnd& end) const {
    status = StatusLocked();
    // Until the end step has run, the end is the one the status shows.
    end = m_phase == EConversionPhase::kEnded
              ? m_last.end
              : CConversionEnd{DecideEndReason(status, false), user_cancelled};
}

CProgressReport CDravikDoc::MakeReport(bool user_cancelled) {
    CConversionStatus status;
    CConversionEnd end;
    {
        std::lock_guard<std::timed_mutex> lock(m_lock);
        ReportStateLocked(user_cancelled, status, end);
    }
    return ReportProgress(status, end, status.done || user_cancelled, MakeProgressSetup());
}

bool CDravikDoc::TryMakeProgressReport(CProgressReport& report) {
    CConversionStatus status;
    CConversionEnd end;
    {
        const std::unique_lock<std::timed_mutex> lock = LockBriefly();
        if (!lock.owns_lock()) return false;
        ReportStateLocked(false, status, end);
    }
    report = ReportProgress(status, end, status.done != 0, MakeProgressSetup());
    return true;
}

void CDravikDoc::AbortConversion() {
    std::lock_guard<std::timed_mutex> lock(m_lock);
    m_loop.Stop();
    // A frame request waiting for a silent writer ends at once.
    m_log.Interrupt();
}

bool CDravikDoc::WaitForDone(int timeout_ms) {
    std::unique_lock<std::timed_mutex> lock(m_lock);
    return m_phase_changed.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                    [this] { return StatusLocked().done != 0; });
}

// ---------------------------------------------------------------------------
// The frame loop's requests and answers

void CDravikDoc::RequestNextFrame() {
    std::lock_guard<std::timed_mutex> lock(m_lock);
    if (m_phase != EConversionPhase::kStarted) return;
    if (GetCommResourceCount() < 1) {
        // No resource to ask: no answer would ever come.
        m_loop.Stop();
        m_phase = EConversionPhase::kDone;
        m_phase_changed.notify_all();
        return;
    }
    m_phase = EConversionPhase::kRunning;
    GetFileFrame(0);
}

void CDravikDoc::OnFileResourceStatus(const std::string& /*resource_name*/, int file_error_cause,
                                      int end_of_file, int file_open) {
    std::lock_guard<std::timed_mutex> lock(m_lock);
    m_loop.OnFileStatus(file_error_cause, end_of_file != 0, file_open != 0,
                        m_phase != EConversionPhase::kRunning);
}

void CDravikDoc::OnTelemetryFrame(const std::string& /*resource_name*/,
                                  std::unique_ptr<CFrameData> frame) {
    std::lock_guard<std::timed_mutex> lock(m_lock);
    // Only a running conversion asks for frames: an answer arriving at any
    // other time belongs to no conversion and is dropped.
    if (m_phase != EConversionPhase::kRunning) return;
    const ELoopStep step = frame ? m_loop.OnFrame(*frame) : m_loop.OnNoFrame();
    if (step == ELoopStep::kRequestNext) {
        // Exactly one request is outstanding: this answer asks for the next.
        GetFileFrame(0);
        return;
    }
    m_phase = EConversionPhase::kDone;
    m_phase_changed.notify_all();
}

void CDravikDoc::SetSideOutput(CConversionOutput* side) {
    std::lock_guard<std::timed_mutex> lock(m_lock);
    if (side == m_side) return;
    m_side = side;
    // A conversion that may still write frames: its headings come first.
    const bool writing =
        m_phase == EConversionPhase::kStarted || m_phase == EConversionPhase::kRunning;
    if (m_side != nullptr && writing) m_side->WriteHeadings(m_columns);
    m_loop.SetSideOutput(writing ? m_side : nullptr);
}

// ---------------------------------------------------------------------------
// End step

bool CDravikDoc::End(bool cancelled, bool output_failed) {
    CConversionStatus status;
    {
        std::unique_lock<std::timed_mutex> lock(m_lock);
        // A window may end a conversion more than once (done seen, then
        // closed): only the first call ends it.
        if (!InProgressLocked()) return m_outcome == EConversionOutcome::kComplete;
        // The answer being worked on sees the stop and asks for nothing more.
        if (m_phase != EConversionPhase::kDone) {
            m_loop.Stop();
            m_log.Interrupt();
        }
        m_phase_changed.wait_for(lock, kAnswerTimeout,
                                 [this] { return m_phase != EConversionPhase::kRunning; });
        status = StatusLocked();
        output_failed = output_failed || m_loop.OutputFailed();
        m_loop.SetSideOutput(nullptr);
        m_last.status = status;
        m_last.end = CConversionEnd{DecideEndReason(status, false), cancelled};
        m_phase = EConversionPhase::kEnded;
    }
    FlushMessages();
    bool failed = false;
    // What is still buffered must reach the file before the conversion may
    // be called complete.
    const int output_cause = m_output ? m_output->Finish(status, m_last.end.IsComplete()) : 0;
    if (output_cause != 0) {
        failed = true;
        output_failed = true;
        Show({"An error occured writing to the output file\r\n\"" + m_prepared.output_full + "\".",
              m_output->GetSystemErrorText()});
        ReportMessage("An error occured writing to the output file.\r\n\t" +
                          m_output->GetFailureText(output_cause) + "\r\n",
                      0);
    }
    RemoveResourceAndInstrument(true, true, failed);

    const CConversionEnd end{DecideEndReason(status, failed), cancelled};
    {
        std::lock_guard<std::timed_mutex> lock(m_lock);
        if (m_side != nullptr) m_side->Finish(status, end.IsComplete());
    }
    SendAndWait(SummaryText(end, status, m_prepared.instrument_header,
                            m_prepared.frame_counter_sensor >= 0,
                            m_prepared.check_sum_sensor >= 0));
    {
        std::lock_guard<std::timed_mutex> lock(m_lock);
        m_log.Close();
        m_output.reset();
        m_last.end = end;
    }
    m_outcome = DecideOutcome(end, output_failed);
    return end.reason == EEndReason::kComplete;
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
    if (!StartConversion(options.multiple) || m_overwrite.skip) return finish(m_outcome);

    RequestNextFrame();
    bool cancelled = false;
    while (!WaitForDone(100)) {
        ShowPendingMessages();
        if (!m_front_end.RefreshProgress(MakeReport(cancelled)) && !cancelled) {
            cancelled = true;
            AbortConversion();
        }
    }
    EndConversion(cancelled);
    m_front_end.RefreshProgress(MakeProgressReport());
    return finish(m_outcome);
}

}  // namespace dravik

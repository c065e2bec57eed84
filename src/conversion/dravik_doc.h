// The conversion document: drives one conversion at a time from a log file to
// an output file, through the telemetry control it inherits. The driving
// thread sets a conversion up (PrepareConversion), opens the output and
// writes its headings (StartConversion), asks for the first frame
// (RequestNextFrame) and then only watches the status snapshot until the
// frame loop, on the control's processing thread, marks the conversion done;
// EndConversion then writes the summary and closes the files.
// RunConversion does all of that for front ends that simply wait.
//
// Its collaborators: the set-up names (conversion_setup.h), the output
// (conversion_output.h; the text table is one kind), the frame loop
// (frame_loop.h), the report of how it ended (conversion_report.h) and the
// conversion log file (conversion_log_file.h).
//
// Every step returns promptly on the driving thread: a frame request does a
// bounded amount of work, so a wait behind the processing thread (for the
// answer that ends an aborted conversion, or for messages to reach the
// conversion log) is a wait of one request at most.
//
// Locks, in the order they are taken: the control's resource list lock (held
// by the processing thread around its callbacks), the document lock (m_lock),
// then the control's instrument, access and queue locks, which the frame
// callback takes through the byte count, request and message calls. The
// driving thread therefore never adds or removes a resource (the only calls
// that take the resource list lock) while it holds the document lock.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/conversion_log_file.h"
#include "conversion/conversion_output.h"
#include "conversion/conversion_report.h"
#include "conversion/conversion_setup.h"
#include "conversion/frame_loop.h"
#include "conversion/front_end.h"
#include "platform/disk_file.h"
#include "platform/log_source.h"
#include "settings/parameters.h"
#include "settings/settings.h"
#include "telemetry/oxa_telemetry_doc.h"

namespace dravik {

class CSettingsStore;
class CSensor;

// Where a conversion is. Changed under the document lock; only the frame
// loop's answer moves a running conversion on to done.
enum class EConversionPhase {
    kIdle,      // none set up (or its set-up failed)
    kPrepared,  // set up: the log file and the instrument are in the control
    kStarted,   // the output is open with its headings; no frame asked for yet
    kRunning,   // one frame request is outstanding
    kDone,      // the frame loop asks for nothing more: the end step may run
    kEnded,     // the end step has run; the status snapshot is the final one
};

class CDravikDoc : public COxaTelemetryDoc {
  public:
    static constexpr const char* kHeaderDefinitionName = kHeaderDefinitionFile;
    static constexpr int kHeaderBufferSize = 256;

    // Reads the "Settings" section from `settings` (none: the defaults); the
    // section is written back by the destructor. The front end must outlive
    // the document.
    explicit CDravikDoc(CFrontEnd& front_end, CSettingsStore* settings = nullptr);
    ~CDravikDoc() override;

    // --- Inputs of a conversion -------------------------------------------
    // The parameters of the next conversion. A conversion works on a copy
    // taken by PrepareConversion: editing these while it runs changes only
    // the next one.
    CDravikParameters& GetParameters() noexcept { return m_params; }
    const CDravikParameters& GetParameters() const noexcept { return m_params; }
    void SetLogFilePath(std::string path) { m_paths.log = std::move(path); }
    void SetOutputFilePath(std::string path) { m_paths.output = std::move(path); }
    // Empty selects a header conversion.
    void SetInstrumentFilePath(std::string path) { m_paths.instrument = std::move(path); }
    const std::string& GetLogFilePath() const noexcept { return m_paths.log; }
    const std::string& GetOutputFilePath() const noexcept { return m_paths.output; }
    const std::string& GetInstrumentFilePath() const noexcept { return m_paths.instrument; }

    // --- Settings ------------------------------------------------------------
    const CAppSettings& GetAppSettings() const noexcept { return m_settings; }
    // Stores edited settings and opens (or keeps) the conversion log to match.
    void SetAppSettings(const CAppSettings& settings);
    const std::string& GetStartupDirectory() const noexcept { return m_startup_directory; }
    // The directory holding the header definition; by default the one
    // DataFileDirectory finds (beside the program, or ../share/dravik/).
    void SetProgramDirectory(std::string directory);
    int GetSaveSettings() const noexcept { return m_settings.save_settings; }
    int GetDismissProgress() const noexcept { return m_settings.dismiss_progress; }

    // --- Document life -------------------------------------------------------
    // A fresh control and a reset conversion state (a conversion still in
    // progress is ended as cancelled first).
    void OnNewDocument();
    // Ends a conversion still in progress as cancelled (waiting for the frame
    // being handled, so that no row is written after this returns), removes
    // every resource and stops the control, closes the conversion log and
    // destroys the progress display.
    void DeleteContents() override;
    void ResetConversionState();

    // --- One conversion, in calling order --------------------------------------
    // Creates the progress display through the front end; false (after the
    // message) when it cannot be created.
    bool CreateProgressDialog();
    // Opens the conversion log, the log file, adds the resource and the
    // instrument, picks the check sensors and starts acquisition. False after
    // showing and logging the failure.
    bool PrepareConversion();
    // What the progress display shows for the prepared conversion.
    CProgressSetup MakeProgressSetup(int run_total = 0, int run_current = 0) const;
    // Overwrite question, output file, headings. False when it failed or was
    // refused (the end step has then run); true when it succeeded or the file
    // is skipped (IsSkipped, the end step has run too).
    bool StartConversion(bool multiple);
    bool IsSkipped() const noexcept { return m_overwrite.skip; }
    // Asks the control for the first frame; the answer is OnTelemetryFrame,
    // which asks for the next one. Only a started conversion asks.
    void RequestNextFrame();
    CConversionStatus GetConversionStatus();
    // The status with its percentage and status text, as a progress display shows it.
    CProgressReport MakeProgressReport() { return MakeReport(false); }
    // The same without a long wait: false, and nothing made, while the
    // processing thread holds the document past LockBriefly's wait (its
    // output held up in a write to a slow disk, say), so that a window
    // polling from its event loop never stalls behind it and asks again at
    // its next tick.
    bool TryMakeProgressReport(CProgressReport& report);
    // Cancels at the next frame.
    void AbortConversion();
    // Waits until the frame loop has marked the conversion done, or the
    // time-out passes; true when done.
    bool WaitForDone(int timeout_ms);
    // The end step: summary, files closed. `cancelled` when the user
    // cancelled or the conversion never started. A conversion that is not
    // done yet is aborted first, and the answer being worked on is awaited.
    // True when not failed.
    bool EndConversion(bool cancelled) { return End(cancelled, false); }
    // Destroys the progress display; true if there was one.
    bool DestroyProgressDialog();
    // Shows the messages that arose on the processing thread.
    void ShowPendingMessages();
    // The same without a long wait: false, and nothing shown, while the
    // processing thread holds the document.
    bool TryShowPendingMessages();
    // The outcome of the last conversion that ended.
    EConversionOutcome GetOutcome() const noexcept { return m_outcome; }

    // Prepares, starts, waits for the end (refreshing the progress display
    // about every 100 ms, cancelling when the front end asks) and ends one
    // conversion. Creates the progress display if there is none and destroys
    // it after the last conversion of a run.
    struct CRunOptions {
        bool multiple = false;  // one of several log files: Yes to All, No skips
        int run_total = 0;
        int run_current = 0;
        bool last_of_run = true;
    };
    EConversionOutcome RunConversion(const CRunOptions& options);
    EConversionOutcome RunConversion() { return RunConversion(CRunOptions{}); }

    // --- A second consumer of the conversion -----------------------------------
    // `side` (null: none) is handed the same headings, frames and end as the
    // output, after it, on the same threads; it is never opened, and what it
    // returns is ignored, so it cannot change the conversion. Set while a
    // conversion runs, it is handed that conversion's headings at once and
    // its frames from the next frame on; cleared, it is called no more once
    // this returns. It must outlive its use.
    void SetSideOutput(CConversionOutput* side);

    // --- Conversion log --------------------------------------------------------
    // Receives the stamped conversion log text in place of the conversion log
    // file and the pending log text: a front end that runs several documents
    // at once gathers each conversion's text itself and writes it to one file
    // as one block. Called on the processing thread with the document lock
    // held, so it must not call back into the document. Set it before the
    // first conversion; while a sink is set, OpenConversionLog opens nothing.
    using LogSink = std::function<void(std::string_view text)>;
    void SetConversionLogSink(LogSink sink);
    void OpenConversionLog();
    // The stamped log text not yet taken by the log window; emptied.
    std::string TakeLogText();
    // The same without a long wait: false, and nothing taken, while the
    // processing thread holds the document.
    bool TryTakeLogText(std::string& text);
    bool IsConversionLogOpen();
    std::string GetConversionLogPath();

    // --- Accessors for the progress display and tests -----------------------------
    using COxaTelemetryDoc::GetInstrumentHeader;
    const std::string& GetInstrumentHeader() const noexcept { return m_prepared.instrument_header; }
    int GetFrameCounterSensorIndex() const noexcept { return m_prepared.frame_counter_sensor; }
    int GetCheckSumSensorIndex() const noexcept { return m_prepared.check_sum_sensor; }
    std::uint64_t GetLogFileLength() const noexcept { return m_prepared.log_file_length; }
    // False for a log read to its end without knowing its length ahead (a
    // stream, a compressed log).
    bool IsLogLengthKnown() const noexcept { return m_prepared.log_length_known; }
    bool IsHeaderConversion() const noexcept { return m_prepared.header_conversion; }

    // --- Callbacks of the control (processing thread) -----------------------------
    void OnTelemetryMessage(std::string& text) override;
    void OnTelemetryFrame(const std::string& resource_name,
                          std::unique_ptr<CFrameData> frame) override;
    void OnFileResourceStatus(const std::string& resource_name, int file_error_cause,
                              int end_of_file, int file_open) override;

  private:
    // Driving thread, in conversion_setup.cpp: the steps of PrepareConversion.
    bool SetUp();
    // Takes the resource (and the instrument) out of the control again and
    // logs the abort; false, for the caller to return.
    bool AbortSetUp(bool instrument);
    void FindCheckSensors();
    void RemoveResourceAndInstrument(bool at_end, bool instrument, bool& failed);
    int EffectiveBuffer() const;

    // Driving thread, in output_start.cpp: the output and its headings, and
    // the frame loop made ready.
    enum class EOutputStart { kOpened, kSkipped, kRefused, kFailed };
    EOutputStart OpenOutput(bool multiple);
    // The conversion's columns: the sensors with a fit, or the header
    // definition's one sensor (false when the definition is not usable).
    bool MakeColumns(COutputColumns& columns);
    // The files the conversion reads or records to, which its output must
    // never be, each with the name the user knows it by.
    struct CFileInUse {
        CFileIdentity identity;
        const char* what;
    };
    std::vector<CFileInUse> FilesInUse();
    // The output failed before the first frame (`what`: "opening the output
    // file", ...): the user is told, with `detail` after the message, and
    // the log gets `log_text`.
    void OutputFailure(const char* what, const std::string& log_text,
                       const std::string& detail = {});

    // The end step; `output_failed` when the output could not be opened.
    bool End(bool cancelled, bool output_failed);
    CProgressReport MakeReport(bool user_cancelled);
    // The status and end a report shows, under the document lock.
    void ReportStateLocked(bool user_cancelled, CConversionStatus& status,
                           CConversionEnd& end) const;
    bool InProgress();
    // The document lock, if it can be had within 40 ms (for the polls that
    // must not wait behind the processing thread's writes).
    std::unique_lock<std::timed_mutex> LockBriefly();
    bool InProgressLocked() const noexcept;
    CConversionStatus StatusLocked() const;
    // Shows a message and its detail, if it has one, through the front end.
    void Show(const CNotice& notice);
    // Sends a text to the conversion log and waits until the processing
    // thread has delivered it; then shows what the processing thread had to
    // report meanwhile.
    void SendAndWait(const std::string& text);
    // Waits until every text sent so far has been delivered.
    void FlushMessages();

    CFrontEnd& m_front_end;
    CSettingsStore* m_store;
    CDravikParameters m_params;
    // The parameters of the conversion in progress, copied by
    // PrepareConversion; the only ones the conversion reads.
    CDravikParameters m_run;
    CAppSettings m_settings;
    std::string m_startup_directory;
    std::string m_program_directory;
    CConversionPaths m_paths;
    CPreparedConversion m_prepared;
    bool m_progress_created = false;
    // The overwrite question's answers that outlive one conversion: skip this
    // output (No in a run of several), and Yes to All for the rest of the run.
    struct {
        bool skip = false;
        bool yes_to_all = false;
    } m_overwrite;

    std::timed_mutex m_lock;  // the document lock: everything below
    // Messages: the conversion log and what the log window has not shown
    // yet, and messages for the user, shown from the driving thread.
    CConversionLogFile m_conversion_log;
    std::string m_pending_log_text;
    LogSink m_log_sink;
    std::vector<CNotice> m_notices;

    // Conversion state.
    std::condition_variable_any m_phase_changed;
    EConversionPhase m_phase = EConversionPhase::kIdle;
    CFrameLoop m_loop;
    std::unique_ptr<CConversionOutput> m_output;
    CConversionOutput* m_side = nullptr;
    COutputColumns m_columns;  // of the conversion in progress, for a side output set late
    CLogSource m_log;
    struct {
        CConversionEnd end;
        CConversionStatus status;  // the snapshot at the end
    } m_last;  // how the last conversion ended
    EConversionOutcome m_outcome = EConversionOutcome::kFailed;
};

}  // namespace dravik

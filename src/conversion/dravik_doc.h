// The conversion document: drives one conversion at a time from a log file to
// an output file, through the telemetry control it inherits. The driving
// thread sets a conversion up (PrepareConversion), opens the output file and
// writes its headings (StartConversion), asks for the first frame
// (RequestNextFrame) and then only watches the status snapshot until the
// frame callback, on the control's processing thread, marks the conversion
// done; EndConversion then writes the summary and closes the files.
// RunConversion does all of that for front ends that simply wait.
//
// Every step returns promptly on the driving thread: a frame request does a
// bounded amount of work, so a wait behind the processing thread (for the
// answer that ends an aborted conversion, or for messages to reach the
// conversion log) is a wait of one request at most.
//
// Locks, in the order they are taken: the control's resource list lock (held
// by the processing thread around its callbacks), the document lock (m_lock),
// then the control's instrument, access and queue locks, which the frame
// callback takes through the sensor, byte count, request and message calls.
// The driving thread therefore never adds or removes a resource (the only
// calls that take the resource list lock) while it holds the document lock.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "settings/parameters.h"
#include "settings/settings.h"
#include "conversion/conversion_log_file.h"
#include "conversion/front_end.h"
#include "conversion/output_layout.h"
#include "conversion/output_text_file.h"
#include "conversion/row_writer.h"
#include "platform/disk_file.h"
#include "telemetry/oxa_telemetry_doc.h"

namespace dravik {

class CSettingsStore;
class CSensor;

// How a conversion ended. Scripts see it as the exit status: complete is
// success, every other outcome is not.
enum class EConversionOutcome {
    kComplete,  // every frame up to the end of the data (or the limit) converted
    kSkipped,   // the user chose not to overwrite this output file in a run of several
    kAborted,   // cancelled by the user, or the overwrite question refused
    kFailed,    // setup failure, instrument not found, buffer overrun, read or write error
};

class CDravikDoc : public COxaTelemetryDoc {
  public:
    static constexpr const char* kHeaderDefinitionName = "oxahdr1.tdf";
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
    void SetLogFilePath(std::string path) { m_log_path = std::move(path); }
    void SetOutputFilePath(std::string path) { m_output_path = std::move(path); }
    // Empty selects a header conversion.
    void SetInstrumentFilePath(std::string path) { m_instrument_path = std::move(path); }
    const std::string& GetLogFilePath() const noexcept { return m_log_path; }
    const std::string& GetOutputFilePath() const noexcept { return m_output_path; }
    const std::string& GetInstrumentFilePath() const noexcept { return m_instrument_path; }

    // --- Settings ------------------------------------------------------------
    const CAppSettings& GetAppSettings() const noexcept { return m_settings; }
    // Stores edited settings and opens (or keeps) the conversion log to match.
    void SetAppSettings(const CAppSettings& settings);
    const std::string& GetStartupDirectory() const noexcept { return m_startup_directory; }
    // The directory holding the header definition; by default the directory
    // of the running program (with a trailing "/").
    const std::string& GetProgramDirectory() const noexcept { return m_program_directory; }
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
    bool IsSkipped() const noexcept { return m_skip; }
    // Asks the control for the next frame; the answer is OnTelemetryFrame.
    // Nothing is asked while an answer is still awaited or after the end.
    void RequestNextFrame();
    CConversionStatus GetConversionStatus();
    // The status with its percentage and status text, as a progress display shows it.
    CProgressReport MakeProgressReport();
    // Cancels at the next frame.
    void AbortConversion();
    // Waits until the frame callback has marked the conversion done, or the
    // time-out passes; true when done.
    bool WaitForDone(int timeout_ms);
    // The end step: summary, files closed. `cancelled` when the user
    // cancelled or the conversion never started. A conversion that is not
    // done yet is aborted first, and the answer being worked on is awaited.
    // True when not failed.
    bool EndConversion(bool cancelled);
    // Destroys the progress display; true if there was one.
    bool DestroyProgressDialog();
    // Shows the messages that arose on the processing thread.
    void ShowPendingMessages();
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
    bool IsConversionLogOpen();
    std::string GetConversionLogPath();

    // --- Accessors for the progress display and tests -----------------------------
    using COxaTelemetryDoc::GetInstrumentHeader;
    const std::string& GetInstrumentHeader() const noexcept { return m_instrument_header; }
    int GetFrameCounterSensorIndex() const noexcept { return m_frame_counter_sensor; }
    int GetCheckSumSensorIndex() const noexcept { return m_check_sum_sensor; }
    std::uint64_t GetLogFileLength() const noexcept { return m_log_file_length; }
    bool IsHeaderConversion() const noexcept { return m_header_conversion; }

    // --- Callbacks of the control (processing thread) -----------------------------
    void OnTelemetryMessage(std::string& text) override;
    void OnTelemetryFrame(const std::string& resource_name,
                          std::unique_ptr<CFrameData> frame) override;
    void OnFileResourceStatus(const std::string& resource_name, int file_error_cause,
                              int end_of_file, int file_open) override;

  private:
    // All of these run with the document lock held (m_lock).
    void HandleFrame(std::unique_ptr<CFrameData> frame);
    void HandleNoFrame();
    bool CheckFrame(const CFrameData& frame);  // false: a check sensor could not be read
    bool WriteRow(const CFrameData& frame);
    void WriteTimeTags(const CFrameData& frame);
    void WriteHeaderLine(std::unique_ptr<CFrameData> frame);
    // Counts what the resource discarded since the last accounting, and the
    // frame just handled (`with_frame`); returns the discarded count.
    std::uint64_t AccountBytes(bool with_frame);
    void SetDone();
    void RequestFrame();  // document lock held
    // A write to the output file (or a read of a time tag) failed while
    // frames flow: the user is told, the log gets the cause, the loop stops.
    void FailWhileConverting(int cause, bool writing);
    void Notice(std::string text);  // a message to show from the driving thread

    // Driving thread.
    // The files the conversion reads or records to, which its output must
    // never be, each with the name the user knows it by.
    struct CFileInUse {
        CFileIdentity identity;
        const char* what;
    };
    std::vector<CFileInUse> FilesInUse();
    void FindCheckSensors();
    bool OpenOutputFile(bool multiple);
    bool CheckHeaderDefinition();
    void RemoveResourceAndInstrument(bool at_end, bool instrument, bool& failed);
    int EffectiveBuffer() const;
    // Sends a text to the conversion log and waits until the processing
    // thread has delivered it; then shows what the processing thread had to
    // report meanwhile.
    void SendAndWait(const std::string& text);
    // Waits until every text sent so far has been delivered.
    void FlushMessages();
    // Aborts a conversion that is not done and waits for the answer that the
    // processing thread is working on.
    void StopFrameLoop();
    void ReadSettings();
    void WriteSettings();
    std::string FullPath(const std::string& path, const std::string& directory) const;

    CFrontEnd& m_front_end;
    CSettingsStore* m_store;
    CDravikParameters m_params;
    // The parameters of the conversion in progress, copied by
    // PrepareConversion; the only ones the processing thread reads.
    CDravikParameters m_run;
    CAppSettings m_settings;
    std::string m_startup_directory;
    std::string m_program_directory;
    bool m_progress_created = false;

    // Inputs and their derived names.
    std::string m_log_path, m_output_path, m_instrument_path;
    std::string m_log_name, m_output_name, m_instrument_name;
    std::string m_log_full, m_output_full, m_instrument_full;
    std::string m_instrument_header, m_resource_name, m_serial_number;

    // Conversion state (document lock).
    std::mutex m_lock;
    std::condition_variable m_done_cv;
    int m_not_found = 1;
    int m_abort = 0;
    int m_done = 0;
    int m_end_of_data = 0;
    int m_header_conversion = 0;
    int m_buffer_overrun = 0;
    int m_frame_selected = 1;
    int m_check_sum_sensor = -1;
    int m_frame_counter_sensor = -1;
    int m_depth_counter = 0;
    std::uint64_t m_log_file_length = 0;
    CFrameCounterCheck m_counter_check;  // expected counter and resync flag
    unsigned m_check_sum_residual = 0;
    int m_last_frame_length = 0;
    unsigned m_frame_counter_errors = 0;
    unsigned m_check_sum_errors = 0;
    unsigned m_frames_processed = 0;
    std::uint64_t m_bytes_consumed = 0;
    std::uint64_t m_discarded_since_frame = 0;  // resynchronizations, buffer overrun
    bool m_request_outstanding = false;  // a frame request awaits its answer
    bool m_in_progress = false;          // prepared and not yet ended
    unsigned m_resynchronizations = 0;
    bool m_skip = false;
    bool m_yes_to_all = false;
    bool m_output_failed = false;  // the output could not be opened or written
    bool m_user_cancelled = false;
    EConversionOutcome m_outcome = EConversionOutcome::kFailed;
    std::vector<int> m_selected_sensors;  // sensor indexes in column order
    CRowWriter m_row_writer;

    // Files.
    CDiskFile m_log_file;
    COutputTextFile m_output;
    CConversionLogFile m_conversion_log;
    std::string m_pending_log_text;
    LogSink m_log_sink;
    std::vector<std::string> m_notices;
};

}  // namespace dravik

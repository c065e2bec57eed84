// The main window's form: the three file lists (log, instrument, output), the
// "Next" output name, and the driver of conversions. Every step of a
// conversion runs on the GUI thread from the event loop: starting and ending
// are queued calls, a 100 ms timer polls the document's progress snapshot and
// a 500 ms timer moves the document's log text into the log window, so the
// window stays responsive while the processing thread converts.
#pragma once

#include <QTimer>
#include <QWidget>

#include "app/settings.h"
#include "conversion/dravik_doc.h"

class QGroupBox;
class QLineEdit;

namespace dravik {

class CConversionLogDlg;
class CSettingsStore;
class CWindowFrontEnd;

class CDravikView : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kProgressInterval = 100;  // ms
    static constexpr int kLogInterval = 500;       // ms

    // Reads the "View" section. The document, front end and store must
    // outlive the view.
    CDravikView(CDravikDoc& doc, CWindowFrontEnd& front_end, CSettingsStore& store,
                QWidget* parent = nullptr);
    // Closes the log window and, when the view was initialised and Save
    // Settings is on, stores its sections.
    ~CDravikView() override;

    // The window start: loads the stored parameters, opens the log window
    // when it was open last time and starts the log timer. A batch run never
    // calls it, so it neither reads nor writes those sections.
    void InitialUpdate();
    bool IsInitialised() const noexcept { return m_initialised; }
    bool IsConverting() const noexcept { return m_state != EState::kIdle; }
    bool IsHeaderMode() const noexcept { return m_view_settings.convert_header != 0; }
    bool IsLogWindowShown() const noexcept;
    CConversionLogDlg& LogWindow() noexcept { return *m_log_window; }
    // The box a file list of the given kind goes into.
    QGroupBox* ListBox(FileListKind kind) const noexcept;
    // How the last conversion ended (the batch run's exit status).
    EConversionOutcome Outcome() const noexcept { return m_outcome; }

    // --- Commands ------------------------------------------------------------
    // Begin Conversion (Ctrl+C, Enter): checks the selection and starts.
    void BeginConversion();
    void ToggleHeaderConversion();
    void ToggleConversionLog();
    // Queues the start of the conversion the document's file names describe.
    void PostStartConversion(bool first_of_run);

  signals:
    void HeaderModeChanged(bool header_mode);
    void ConvertingChanged(bool converting);
    void TitleChanged(const QString& title);
    void LogWindowShown(bool shown);
    // The batch run has ended: the program closes.
    void CloseRequested();
    // One refresh of the progress window has been made.
    void ProgressRefreshed();

  private:
    // Idle, converting (the progress timer polls), done (the progress window
    // shows the result until it is dismissed or the run goes on).
    enum class EState { kIdle, kConverting, kDone };
    void SetState(EState state);

    void OnStartConversion(bool first_of_run);
    void PostEndOfConversion();
    void OnEndOfConversion();
    void OnCancel();
    void OnProgressTimer();
    void OnLogTimer();
    void OnLogWindowClosed();
    void UpdateTitle(int percent);
    // The output file of a user-defined name: the "Next" text, with the
    // extension appended when it has none.
    bool TakeOutputName();

    CDravikDoc& m_doc;
    CWindowFrontEnd& m_front_end;
    CSettingsStore& m_store;
    CViewSettings m_view_settings;
    bool m_initialised = false;
    EState m_state = EState::kIdle;
    bool m_cancel_requested = false;
    bool m_in_progress_tick = false;
    EConversionOutcome m_outcome = EConversionOutcome::kFailed;
    QTimer m_progress_timer;
    QTimer m_log_timer;
    CConversionLogDlg* m_log_window = nullptr;

    QGroupBox* m_log_box = nullptr;
    QGroupBox* m_instrument_box = nullptr;
    QGroupBox* m_output_box = nullptr;
    QLineEdit* m_next = nullptr;
};

}  // namespace dravik

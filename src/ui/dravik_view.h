// The main window's form: the three file lists (log, instrument, output), the
// "Next" output name, and the driver of conversions. Every step of a
// conversion runs on the GUI thread from the event loop: starting and ending
// are queued calls, a 100 ms timer polls the document's progress snapshot and
// a 500 ms timer moves the document's log text into the log window, so the
// window stays responsive while the processing thread converts.
#pragma once

#include <QTimer>
#include <QWidget>
#include <array>
#include <string>
#include <vector>

#include "frontend/file_naming.h"
#include "settings/settings.h"
#include "conversion/dravik_doc.h"
#include "list_properties.h"

class QGroupBox;
class QLineEdit;

namespace dravik {

class CConversionLogDlg;
class CFileListBox;
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
    // The box a file list of the given kind goes into, and the list itself.
    QGroupBox* ListBox(FileListKind kind) const noexcept;
    CFileListBox* List(FileListKind kind) const noexcept;
    CListProperties& Properties(FileListKind kind) noexcept;
    QLineEdit* NextBox() const noexcept { return m_next; }
    // The naming of the current conversion kind, and of either kind.
    CFileNaming& CurrentNaming() noexcept { return m_namings[IsHeaderMode() ? 1 : 0]; }
    CFileNaming& Naming(NamingKind kind) noexcept {
        return m_namings[kind == NamingKind::kHeader ? 1 : 0];
    }
    // How the last conversion ended (the batch run's exit status).
    EConversionOutcome Outcome() const noexcept { return m_outcome; }

    // --- Commands ------------------------------------------------------------
    // Begin Conversion (Ctrl+C, Enter): checks the selection and starts.
    void BeginConversion();
    void ToggleHeaderConversion();
    void ToggleConversionLog();
    void ShowListProperties();
    void ShowParameters();
    void ShowFileNaming();
    void RefreshFileLists();
    // The log file named on the command line: its folder becomes the Log
    // list's and the file is selected. A file that is not there changes
    // nothing.
    void SelectCommandLineLog(const std::string& path);
    // Log and Instrument lists take several files in an automatic naming mode.
    void ApplySelectionMode();
    // The document's log, instrument and output file from the selections.
    void UpdateFileNames();
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

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

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
    void OnListSelection(FileListKind kind);
    void ApplyHeaderDisplay();
    std::string InstrumentPath(const std::string& name) const;
    // Sets the output name of an automatic mode; false (name cleared) when
    // none can be made.
    bool GenerateOutputName();
    // Sets the document's files for run pair m_run_index or the next one
    // whose name can be made; false when none is left.
    bool PrepareRunPair();
    void AfterConversionUpdate();
    void EndRun();

    CDravikDoc& m_doc;
    CWindowFrontEnd& m_front_end;
    CSettingsStore& m_store;
    CViewSettings m_view_settings;
    bool m_initialised = false;
    EState m_state = EState::kIdle;
    bool m_cancel_requested = false;
    // A run over several files: the selected names, the pair being
    // converted (instrument index fastest) and how many pairs there are.
    bool m_multi_run = false;
    std::vector<std::string> m_run_logs;
    std::vector<std::string> m_run_instruments;
    int m_run_index = 0;
    int m_run_total = 0;
    bool m_in_progress_tick = false;
    EConversionOutcome m_outcome = EConversionOutcome::kFailed;
    QTimer m_progress_timer;
    QTimer m_log_timer;
    CConversionLogDlg* m_log_window = nullptr;

    QGroupBox* m_log_box = nullptr;
    QGroupBox* m_instrument_box = nullptr;
    QGroupBox* m_output_box = nullptr;
    QLineEdit* m_next = nullptr;
    std::array<CFileListBox*, 3> m_lists{};
    std::array<CListProperties, 3> m_properties;
    std::array<CFileNaming, 2> m_namings{CFileNaming(NamingKind::kInstrument),
                                         CFileNaming(NamingKind::kHeader)};
    int m_naming_slot_shown = 0;
    std::string m_temporary_directory;
};

}  // namespace dravik

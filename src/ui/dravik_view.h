// The main window's form: the three file lists (log, instrument, output) and
// the "Next" output name. It turns the selections into the document's files
// and the pairs of a run over several files, which CConversionDriver converts
// from the event loop; a 500 ms timer moves the document's log text into the
// log window. The window stays responsive while the processing thread
// converts and while the lists are listed or a package is extracted.
#pragma once

#include <QTimer>
#include <QWidget>
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "conversion/dravik_doc.h"
#include "conversion_driver.h"
#include "frontend/file_naming.h"
#include "list_properties.h"
#include "settings/settings.h"

class QGroupBox;
class QLineEdit;

namespace dravik {

class CConversionLogDlg;
class CFileListBox;
class CQuickLookWindow;
class CSettingsStore;
class CWindowFrontEnd;

class CDravikView : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kLogInterval = 500;  // ms

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
    bool IsConverting() const noexcept { return m_driver.IsBusy(); }
    bool IsHeaderMode() const noexcept { return m_view_settings.convert_header != 0; }
    bool IsLogWindowShown() const noexcept;
    CConversionLogDlg& LogWindow() noexcept { return *m_log_window; }
    bool IsQuickLookShown() const noexcept;
    CQuickLookWindow& QuickLook() noexcept { return *m_quick_look; }
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
    EConversionOutcome Outcome() const noexcept { return m_driver.Outcome(); }

    // --- Commands ------------------------------------------------------------
    // Begin Conversion (Ctrl+C, Enter): checks the selection and starts; while
    // a list is still being listed, once it is in.
    void BeginConversion();
    void ToggleHeaderConversion();
    void ToggleConversionLog();
    // View > Quick Look (Ctrl+K): while its window is open the document
    // hands every conversion to it as well.
    void ToggleQuickLook();
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
    void PostStartConversion();

  signals:
    void HeaderModeChanged(bool header_mode);
    void ConvertingChanged(bool converting);
    void TitleChanged(const QString& title);
    void LogWindowShown(bool shown);
    void QuickLookShown(bool shown);
    // The batch run has ended: the program closes.
    void CloseRequested();
    // One refresh of the progress window has been made.
    void ProgressRefreshed();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QGroupBox* ListGroup(FileListKind kind);
    void ApplyBusy(bool busy);
    void OnConversionEnded();
    void OnRunEnded();
    void OnLogTimer();
    void OnLogWindowClosed();
    void SetQuickLookShown(bool shown);
    // The output file of a user-defined name: the "Next" text, with the
    // extension appended when it has none.
    bool TakeOutputName();
    void OnListSelection(FileListKind kind);
    void OnListed(FileListKind kind);
    void ApplyHeaderDisplay();
    void ClearInstrumentSelection();
    std::string InstrumentPath(const std::string& name) const;
    // Sets the output name of an automatic mode; false (name cleared) when
    // none can be made.
    bool GenerateOutputName();
    // Shows `name` as the next output and makes it the document's output
    // file in the Output list's folder; nothing clears both.
    void SetOutputName(const std::optional<std::string>& name);
    // Starts a run over every selected pair; false when the selection makes
    // a single conversion.
    bool BeginRun();

    CDravikDoc& m_doc;
    CWindowFrontEnd& m_front_end;
    CSettingsStore& m_store;
    CViewSettings m_view_settings;
    bool m_initialised = false;
    // Begin Conversion was asked for while a list was being listed.
    bool m_begin_when_listed = false;
    CConversionDriver m_driver;
    QTimer m_log_timer;
    CConversionLogDlg* m_log_window = nullptr;
    CQuickLookWindow* m_quick_look = nullptr;

    std::array<QGroupBox*, 3> m_boxes{};
    std::array<CFileListBox*, 3> m_lists{};
    QLineEdit* m_next = nullptr;
    std::array<CListProperties, 3> m_properties;
    std::array<CFileNaming, 2> m_namings{CFileNaming(NamingKind::kInstrument),
                                         CFileNaming(NamingKind::kHeader)};
    int m_naming_slot_shown = 0;
    std::string m_temporary_directory;
};

}  // namespace dravik

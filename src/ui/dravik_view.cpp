#include "dravik_view.h"

#include <QApplication>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QVBoxLayout>
#include <cstdio>

#include "packages/instrument_package.h"
#include "conversion_dlg.h"
#include "conversion_log_dlg.h"
#include "file_list_box.h"
#include "file_naming_dlg.h"
#include "list_properties_dlg.h"
#include "parameters_dlg.h"
#include "window_front_end.h"

namespace dravik {

namespace {

// How long ending a conversion the user dismissed early may wait for the
// processing thread to finish its current frame.
constexpr int kAbortWaitMs = 5000;

QGroupBox* ListGroup(const QString& caption, const char* name, const QString& help,
                     QWidget* parent) {
    auto* box = new QGroupBox(caption, parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setWhatsThis(help);
    box->setMinimumSize(200, 240);
    new QVBoxLayout(box);
    return box;
}

// The files a list's selection names: every selected file while several may
// be selected, else the one selected file (none for an empty list).
std::vector<std::string> SelectedNames(const CListProperties& p) {
    if (p.selected_count > 0) return p.selected_names;
    if (p.file_selected.empty()) return {};
    return {p.file_selected};
}

bool IsBeginConversionKey(const QKeyEvent* key) {
    return key->key() == Qt::Key_C && (key->modifiers() & Qt::ControlModifier) &&
           !(key->modifiers() & (Qt::AltModifier | Qt::ShiftModifier));
}

}  // namespace

CDravikView::CDravikView(CDravikDoc& doc, CWindowFrontEnd& front_end, CSettingsStore& store,
                         QWidget* parent)
    : QWidget(parent),
      m_doc(doc),
      m_front_end(front_end),
      m_store(store),
      m_properties{CListProperties(FileListKind::kLog, doc.GetStartupDirectory()),
                   CListProperties(FileListKind::kInstrument, doc.GetStartupDirectory()),
                   CListProperties(FileListKind::kOutput, doc.GetStartupDirectory())},
      m_temporary_directory(InstrumentPackageDirectory()) {
    setObjectName(QStringLiteral("DravikView"));
    m_view_settings.Read(store);

    m_log_box = ListGroup(QStringLiteral("&Log Files"), "logFiles",
                          QStringLiteral("The raw telemetry log files to convert."), this);
    m_instrument_box = ListGroup(
        QStringLiteral("&Instrument Files"), "instrumentFiles",
        QStringLiteral("The calibration or telemetry definition files describing the instrument "
                       "whose frames are converted. Not used in header conversion."),
        this);
    m_output_box =
        ListGroup(QStringLiteral("&Output Files"), "outputFiles",
                  QStringLiteral("The output files already in the output folder."), this);
    auto* lists = new QHBoxLayout;
    lists->addWidget(m_log_box);
    lists->addWidget(m_instrument_box);
    lists->addWidget(m_output_box);
    const char* list_names[3] = {"logList", "instrumentList", "outputList"};
    for (int i = 0; i < 3; ++i) {
        const auto kind = static_cast<FileListKind>(i);
        auto* list = new CFileListBox(ListBox(kind));
        list->setObjectName(QString::fromLatin1(list_names[i]));
        list->SetKind(kind);
        list->SetTemporaryDirectory(m_temporary_directory);
        list->SetProperties(&m_properties[static_cast<std::size_t>(i)]);
        // The list itself answers What's This: the box is only its frame.
        list->setWhatsThis(ListBox(kind)->whatsThis());
        list->installEventFilter(this);
        ListBox(kind)->layout()->addWidget(list);
        m_lists[static_cast<std::size_t>(i)] = list;
        connect(list, &CFileListBox::selectionSynchronized, this,
                [this, kind] { OnListSelection(kind); });
        connect(list, &CFileListBox::listChanged, this, [this, kind] { OnListSelection(kind); });
    }
    // A dropped package is unpacked into the program's temporary directory,
    // from which the Instrument list then shows the files.
    List(FileListKind::kInstrument)->SetPackageExtractor([this](const std::string& package) {
        return ExtractInstrumentPackage(m_front_end, package, m_temporary_directory);
    });

    m_next = new QLineEdit(QString::fromLocal8Bit(m_view_settings.default_outfile), this);
    m_next->setObjectName(QStringLiteral("next"));
    m_next->setWhatsThis(
        QStringLiteral("The name of the next output file. Press Ctrl+C to begin the conversion."));
    m_next->installEventFilter(this);
    connect(m_next, &QLineEdit::textEdited, this, [this](const QString& text) {
        m_view_settings.default_outfile = text.toLocal8Bit().toStdString();
    });
    auto* next_label = new QLabel(QStringLiteral("&Next:"), this);
    next_label->setBuddy(m_next);
    auto* next_row = new QHBoxLayout;
    next_row->addWidget(next_label);
    next_row->addWidget(m_next, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(lists);
    layout->addLayout(next_row);

    m_log_window = new CConversionLogDlg(store, this);
    connect(m_log_window, &CConversionLogDlg::Closed, this, &CDravikView::OnLogWindowClosed,
            Qt::QueuedConnection);
    m_progress_timer.setInterval(kProgressInterval);
    m_log_timer.setInterval(kLogInterval);
    connect(&m_progress_timer, &QTimer::timeout, this, &CDravikView::OnProgressTimer);
    connect(&m_log_timer, &QTimer::timeout, this, &CDravikView::OnLogTimer);
    m_instrument_box->setEnabled(!IsHeaderMode());
}

CDravikView::~CDravikView() {
    m_progress_timer.stop();
    m_log_timer.stop();
    if (m_state == EState::kConverting) {
        // The program is closing during a conversion: it ends as cancelled,
        // with its summary in the conversion log.
        m_doc.AbortConversion();
        m_doc.WaitForDone(kAbortWaitMs);
        m_doc.EndConversion(true);
    }
    m_doc.DestroyProgressDialog();
    if (m_initialised && m_doc.GetSaveSettings() == 1) {
        m_doc.GetParameters().WriteParameters(m_store);
        for (const CListProperties& p : m_properties) p.Write(m_store);
        for (const CFileNaming& n : m_namings) n.Settings().Write(m_store);
        m_view_settings.Write(m_store);
    }
}

void CDravikView::InitialUpdate() {
    for (CListProperties& p : m_properties) p.Read(m_store);
    for (CFileNaming& n : m_namings) n.Settings().Read(m_store);
    m_doc.GetParameters().ReadParameters(m_store);
    m_initialised = true;
    if (m_log_window->GetShowWindow()) m_log_window->CreateLogWindow();
    emit LogWindowShown(m_log_window->GetShowWindow());
    for (CFileListBox* list : m_lists) list->Refresh();
    ApplySelectionMode();
    ApplyHeaderDisplay();
    UpdateFileNames();
    m_log_timer.start();
}

bool CDravikView::IsLogWindowShown() const noexcept {
    return m_log_window->GetShowWindow();
}

QGroupBox* CDravikView::ListBox(FileListKind kind) const noexcept {
    switch (kind) {
        case FileListKind::kLog:
            return m_log_box;
        case FileListKind::kInstrument:
            return m_instrument_box;
        case FileListKind::kOutput:
            break;
    }
    return m_output_box;
}

CFileListBox* CDravikView::List(FileListKind kind) const noexcept {
    return m_lists[static_cast<std::size_t>(kind)];
}

CListProperties& CDravikView::Properties(FileListKind kind) noexcept {
    return m_properties[static_cast<std::size_t>(kind)];
}

bool CDravikView::eventFilter(QObject* watched, QEvent* event) {
    // Ctrl+C begins a conversion wherever the focus is; an edit or a list
    // would otherwise take it as Copy before the window's shortcut.
    if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
        if (IsBeginConversionKey(static_cast<QKeyEvent*>(event))) {
            if (event->type() == QEvent::ShortcutOverride) BeginConversion();
            event->accept();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// Lists and file names

void CDravikView::ApplySelectionMode() {
    const bool multi = CurrentNaming().IsAutomatic();
    List(FileListKind::kLog)->SetMultiSelection(multi);
    List(FileListKind::kInstrument)->SetMultiSelection(multi);
}

void CDravikView::ApplyHeaderDisplay() {
    CFileListBox* instruments = List(FileListKind::kInstrument);
    if (IsHeaderMode()) {
        // The remembered instrument file stays for when header mode ends.
        instruments->blockSignals(true);
        instruments->clearSelection();
        instruments->blockSignals(false);
    } else {
        instruments->SynchronizeSelection();
    }
    m_instrument_box->setEnabled(!IsConverting() && !IsHeaderMode());
    emit HeaderModeChanged(IsHeaderMode());
}

std::string CDravikView::InstrumentPath(const std::string& name) const {
    const CListProperties& p = m_properties[static_cast<std::size_t>(FileListKind::kInstrument)];
    return (p.use_working_directory == 1 ? p.working_directory : m_temporary_directory) + name;
}

void CDravikView::UpdateFileNames() {
    const CListProperties& log = Properties(FileListKind::kLog);
    m_doc.SetLogFilePath(log.file_selected.empty() ? std::string()
                                                   : log.working_directory + log.file_selected);
    const CListProperties& instrument = Properties(FileListKind::kInstrument);
    m_doc.SetInstrumentFilePath(IsHeaderMode() || instrument.file_selected.empty()
                                    ? std::string()
                                    : InstrumentPath(instrument.file_selected));
    if (CurrentNaming().Settings().file_mode == kNamingUserDefined) {
        // The name is taken from the box when the conversion begins.
        m_next->setReadOnly(IsConverting());
        m_next->setText(QString::fromLocal8Bit(m_view_settings.default_outfile));
        m_doc.SetOutputFilePath(std::string());
    } else {
        m_next->setReadOnly(true);
        GenerateOutputName();
    }
}

bool CDravikView::GenerateOutputName() {
    const std::optional<std::string> name =
        CurrentNaming().GenerateName(m_doc.GetLogFilePath(), m_doc.GetInstrumentFilePath());
    if (!name) {
        m_next->clear();
        m_doc.SetOutputFilePath(std::string());
        return false;
    }
    m_next->setText(QString::fromLocal8Bit(*name));
    m_doc.SetOutputFilePath(Properties(FileListKind::kOutput).working_directory + *name);
    return true;
}

void CDravikView::OnListSelection(FileListKind kind) {
    if (kind == FileListKind::kOutput) {
        if (CurrentNaming().Settings().file_mode != kNamingUserDefined) return;
        const std::string& selected = Properties(kind).file_selected;
        if (selected.empty()) return;
        m_view_settings.default_outfile = selected;
        m_next->setText(QString::fromLocal8Bit(selected));
        return;
    }
    UpdateFileNames();
}

void CDravikView::SelectCommandLineLog(const std::string& path) {
    const QFileInfo file(QString::fromLocal8Bit(path));
    if (!file.isFile()) return;
    CListProperties& log = Properties(FileListKind::kLog);
    log.working_directory = file.absolutePath().toLocal8Bit().toStdString();
    if (log.working_directory.empty() || log.working_directory.back() != '/') {
        log.working_directory += '/';
    }
    log.file_selected = file.fileName().toLocal8Bit().toStdString();
    // A log whose name the filter would hide is shown all the same.
    const std::string suffix = file.suffix().toLocal8Bit().toStdString();
    if (!file.fileName().contains(QRegularExpression::wildcardToRegularExpression(
            QString::fromLocal8Bit(log.file_filter)))) {
        log.file_filter = suffix.empty() ? "*.*" : "*." + suffix;
    }
    List(FileListKind::kLog)->Refresh();
    UpdateFileNames();
}

void CDravikView::SetState(EState state) {
    const bool was_converting = IsConverting();
    m_state = state;
    const bool converting = IsConverting();
    m_log_box->setEnabled(!converting);
    m_output_box->setEnabled(!converting);
    m_instrument_box->setEnabled(!converting && !IsHeaderMode());
    m_next->setReadOnly(converting);
    if (converting != was_converting) emit ConvertingChanged(converting);
}

// ---------------------------------------------------------------------------
// Commands

void CDravikView::BeginConversion() {
    // Enter reaches here too; a second conversion never starts over a running one.
    if (IsConverting()) return;
    if (m_initialised) {
        m_run_logs = SelectedNames(Properties(FileListKind::kLog));
        m_run_instruments = IsHeaderMode()
                                ? std::vector<std::string>()
                                : SelectedNames(Properties(FileListKind::kInstrument));
        m_run_total = static_cast<int>(m_run_logs.size()) *
                      (IsHeaderMode() ? 1 : static_cast<int>(m_run_instruments.size()));
        if (m_run_total >= 2 && CurrentNaming().IsAutomatic()) {
            m_multi_run = true;
            m_run_index = 0;
            if (PrepareRunPair()) {
                PostStartConversion(true);
            } else {
                EndRun();
                UpdateFileNames();
            }
            return;
        }
        m_run_total = 0;
    }
    if (m_doc.GetLogFilePath().empty()) {
        m_front_end.ShowMessage(
            "Please select a Log file from the list provided.\r\n\r\nIf the \"Log Files\" list is "
            "empty, adjust the File List Properties from the View menu.");
        m_log_box->setFocus();
        return;
    }
    if (!IsHeaderMode() && m_doc.GetInstrumentFilePath().empty()) {
        m_front_end.ShowMessage(
            "Please select an Instrument file from the list provided.\r\n\r\nIf the \"Instrument "
            "Files\" list is empty, adjust the File List Properties from the View menu.");
        m_instrument_box->setFocus();
        return;
    }
    if (!TakeOutputName()) return;
    PostStartConversion(false);
}

bool CDravikView::TakeOutputName() {
    // A batch run and the automatic modes have their output file already.
    if (!m_initialised || CurrentNaming().Settings().file_mode != kNamingUserDefined) {
        if (!m_doc.GetOutputFilePath().empty()) return true;
    }
    const QString text = m_next->text().trimmed();
    if (text.isEmpty()) {
        m_front_end.ShowMessage(
            "Please select an Output file from the list provided or specify a new file name in the "
            "edit box labeled \"Next\".\r\n\r\nIf the \"Output Files\" list is empty, adjust the "
            "File List Properties from the View menu.");
        m_next->setFocus();
        return false;
    }
    const std::string name = CurrentNaming().CompleteTypedName(text.toLocal8Bit().toStdString());
    m_next->setText(QString::fromLocal8Bit(name));
    m_view_settings.default_outfile = name;
    // A relative name goes into the Output list's folder.
    m_doc.SetOutputFilePath(name.front() == '/'
                                ? name
                                : Properties(FileListKind::kOutput).working_directory + name);
    return true;
}

void CDravikView::ToggleHeaderConversion() {
    if (IsConverting()) return;
    m_view_settings.convert_header = IsHeaderMode() ? 0 : 1;
    ApplyHeaderDisplay();
    ApplySelectionMode();
    UpdateFileNames();
}

void CDravikView::ShowListProperties() {
    if (IsConverting()) return;
    CListPropertiesDlg dialog(this);
    for (int i = 0; i < 3; ++i) dialog.SetProperties(i, m_properties[static_cast<std::size_t>(i)]);
    if (dialog.exec() != QDialog::Accepted) return;
    for (int i = 0; i < 3; ++i) dialog.GetProperties(i, m_properties[static_cast<std::size_t>(i)]);
    for (CFileListBox* list : m_lists) list->Refresh();
    ApplySelectionMode();
    if (IsHeaderMode()) ApplyHeaderDisplay();
    UpdateFileNames();
}

void CDravikView::ShowParameters() {
    if (IsConverting()) return;
    CParametersDlg dialog(m_doc.GetParameters(), IsHeaderMode(), this);
    if (dialog.exec() == QDialog::Accepted) dialog.GetParameters(m_doc.GetParameters());
}

void CDravikView::ShowFileNaming() {
    if (IsConverting()) return;
    CFileNamingDlg dialog(this);
    dialog.SetNaming(CFileNamingDlg::kInstrumentSlot, m_namings[0]);
    dialog.SetNaming(CFileNamingDlg::kHeaderSlot, m_namings[1]);
    dialog.SetShownSlot(m_naming_slot_shown);
    if (dialog.exec() != QDialog::Accepted) return;
    m_namings[0] = dialog.Naming(CFileNamingDlg::kInstrumentSlot);
    m_namings[1] = dialog.Naming(CFileNamingDlg::kHeaderSlot);
    m_naming_slot_shown = dialog.ShownSlot();
    ApplySelectionMode();
    UpdateFileNames();
}

void CDravikView::RefreshFileLists() {
    if (IsConverting()) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    for (CFileListBox* list : m_lists) list->Refresh();
    QApplication::restoreOverrideCursor();
    ApplySelectionMode();
    if (IsHeaderMode()) ApplyHeaderDisplay();
    UpdateFileNames();
}

void CDravikView::ToggleConversionLog() {
    if (m_log_window->GetShowWindow()) {
        m_log_window->DestroyLogWindow();
        setFocus();
    } else {
        m_log_window->CreateLogWindow();
    }
    emit LogWindowShown(m_log_window->GetShowWindow());
}

void CDravikView::OnLogWindowClosed() {
    m_log_window->DestroyLogWindow();
    emit LogWindowShown(false);
    setFocus();
}

// ---------------------------------------------------------------------------
// One conversion, step by step from the event loop

void CDravikView::PostStartConversion(bool first_of_run) {
    QMetaObject::invokeMethod(
        this, [this, first_of_run] { OnStartConversion(first_of_run); }, Qt::QueuedConnection);
}

void CDravikView::OnStartConversion(bool first_of_run) {
    if (m_state == EState::kConverting) return;
    const bool first = first_of_run || !m_multi_run;
    if (first) m_cancel_requested = false;
    m_outcome = EConversionOutcome::kFailed;
    SetState(EState::kConverting);
    if (!m_doc.CreateProgressDialog()) {
        PostEndOfConversion();
        return;
    }
    if (!m_doc.PrepareConversion()) {
        PostEndOfConversion();
        return;
    }
    CConversionDlg* progress = m_front_end.Progress();
    connect(progress, &CConversionDlg::CancelRequested, this, &CDravikView::OnCancel,
            static_cast<Qt::ConnectionType>(Qt::QueuedConnection | Qt::UniqueConnection));
    connect(progress, &CConversionDlg::EndRequested, this, &CDravikView::PostEndOfConversion,
            Qt::UniqueConnection);
    const CProgressSetup setup = m_multi_run
                                     ? m_doc.MakeProgressSetup(m_run_total, m_run_index + 1)
                                     : m_doc.MakeProgressSetup();
    m_front_end.InitProgress(setup);
    if (!progress->isVisible()) progress->show();
    UpdateTitle(0);
    if (!m_doc.StartConversion(m_multi_run)) {
        // Refused or failed before the first frame; the end step has run.
        m_outcome = m_doc.GetOutcome();
        PostEndOfConversion();
        return;
    }
    if (m_multi_run && m_doc.IsSkipped()) {
        // The user kept this output file: the run goes on with the next pair.
        SetState(EState::kDone);
        ++m_run_index;
        if (PrepareRunPair()) {
            PostStartConversion(false);
            return;
        }
        if (first || m_doc.GetDismissProgress() == 1) {
            PostEndOfConversion();
            return;
        }
        // Nothing is left to convert: the progress window waits for its OK.
        if ((progress = m_front_end.Progress()) != nullptr) progress->InitDisplay(setup, true);
        return;
    }
    m_progress_timer.start();
    m_doc.RequestNextFrame();
}

void CDravikView::OnProgressTimer() {
    CConversionDlg* progress = m_front_end.Progress();
    // A message box shown from here runs its own event loop, in which this
    // timer fires again.
    if (progress == nullptr || m_in_progress_tick) return;
    m_in_progress_tick = true;
    m_doc.ShowPendingMessages();
    const CProgressReport report = m_doc.MakeProgressReport();
    progress->Refresh(report);
    int percent = report.percent;
    if (m_state == EState::kConverting && report.status.done) {
        m_progress_timer.stop();
        SetState(EState::kDone);
        const bool ended_well = m_doc.EndConversion(m_cancel_requested);
        m_outcome = m_doc.GetOutcome();
        if ((progress = m_front_end.Progress()) != nullptr) {
            const CProgressReport last = m_doc.MakeProgressReport();
            progress->Refresh(last);
            percent = last.percent;
        }
        // One failed file of a run does not end it; a cancel does.
        const bool stop = m_multi_run ? m_cancel_requested : ended_well || m_cancel_requested;
        UpdateTitle(percent);
        if (m_initialised) AfterConversionUpdate();
        if (stop || !m_multi_run) {
            if (stop && m_doc.GetDismissProgress() == 1) PostEndOfConversion();
        } else {
            ++m_run_index;
            if (PrepareRunPair()) {
                PostStartConversion(false);
            } else if (m_doc.GetDismissProgress() == 1) {
                PostEndOfConversion();
            }
        }
    } else {
        UpdateTitle(percent);
    }
    m_in_progress_tick = false;
    emit ProgressRefreshed();
}

void CDravikView::OnCancel() {
    if (m_state != EState::kConverting) return;
    m_cancel_requested = true;
    m_doc.AbortConversion();
}

void CDravikView::PostEndOfConversion() {
    QMetaObject::invokeMethod(this, &CDravikView::OnEndOfConversion, Qt::QueuedConnection);
}

void CDravikView::OnEndOfConversion() {
    if (m_state == EState::kIdle) return;  // already ended (dismissed twice)
    m_progress_timer.stop();
    if (m_state == EState::kConverting && m_front_end.Progress() != nullptr &&
        m_front_end.Progress()->IsDone()) {
        // Dismissed right after a cancel, before the processing thread had
        // stopped: the end step still runs, so that the files are closed and
        // the summary is written.
        m_cancel_requested = true;
        m_doc.AbortConversion();
        m_doc.WaitForDone(kAbortWaitMs);
        m_doc.EndConversion(true);
        m_outcome = m_doc.GetOutcome();
    }
    m_cancel_requested = false;
    EndRun();
    SetState(EState::kIdle);
    m_doc.DestroyProgressDialog();
    if (m_initialised) {
        UpdateFileNames();
        emit TitleChanged(QStringLiteral("Dravik"));
        setFocus();
    } else {
        emit CloseRequested();
    }
}

void CDravikView::OnLogTimer() {
    const std::string text = m_doc.TakeLogText();
    if (!text.empty()) m_log_window->AppendText(text);
}

void CDravikView::UpdateTitle(int percent) {
    if (!m_initialised || m_state == EState::kIdle) return;
    char title[160];
    if (m_multi_run) {
        std::snprintf(title, sizeof title, "%s - Conversion in Progress - %d/%d ", "Dravik",
                      m_run_index + 1, m_run_total);
    } else {
        std::snprintf(title, sizeof title, "%s - Conversion in Progress - ", "Dravik");
    }
    QString text = QString::fromLatin1(title);
    if (percent > 0) text += QStringLiteral("(%1%)").arg(percent);
    emit TitleChanged(text);
}

// ---------------------------------------------------------------------------
// Runs over several files

bool CDravikView::PrepareRunPair() {
    const int per_log = IsHeaderMode() ? 1 : static_cast<int>(m_run_instruments.size());
    const CListProperties& log = Properties(FileListKind::kLog);
    for (; m_run_index < m_run_total; ++m_run_index) {
        // The instrument index runs fastest, the log index outer.
        const auto log_index = static_cast<std::size_t>(m_run_index / per_log);
        const auto instrument_index = static_cast<std::size_t>(m_run_index % per_log);
        m_doc.SetLogFilePath(log.working_directory + m_run_logs[log_index]);
        m_doc.SetInstrumentFilePath(IsHeaderMode() ? std::string()
                                                   : InstrumentPath(m_run_instruments[instrument_index]));
        if (GenerateOutputName()) return true;
    }
    return false;
}

void CDravikView::AfterConversionUpdate() {
    CListProperties& output = Properties(FileListKind::kOutput);
    output.file_selected = m_next->text().toLocal8Bit().toStdString();
    List(FileListKind::kOutput)->Refresh();
    CFileNaming& naming = CurrentNaming();
    if (naming.Settings().file_mode == kNamingAutoIncrement) naming.AdvanceIncrement();
    if (!m_multi_run) UpdateFileNames();
}

void CDravikView::EndRun() {
    m_multi_run = false;
    m_run_logs.clear();
    m_run_instruments.clear();
    m_run_index = 0;
    m_run_total = 0;
}

}  // namespace dravik

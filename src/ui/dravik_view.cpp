#include "dravik_view.h"

#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QVBoxLayout>

#include "frontend/run_plan.h"
#include "packages/instrument_package.h"
#include "conversion_dlg.h"
#include "conversion_log_dlg.h"
#include "quick_look_window.h"
#include "file_list_box.h"
#include "file_naming_dlg.h"
#include "list_properties_dlg.h"
#include "parameters_dlg.h"
#include "window_front_end.h"

namespace dravik {

namespace {

// The caption, object name and What's This text of each list's box, and
// the list's own object name, by kind.
struct CListLook {
    const char* caption;
    const char* box_name;
    const char* list_name;
    const char* help;
};
constexpr CListLook kListLooks[3] = {
    {"&Log Files", "logFiles", "logList", "The raw telemetry log files to convert."},
    {"&Instrument Files", "instrumentFiles", "instrumentList",
     "The calibration or telemetry definition files describing the instrument whose frames are "
     "converted. Not used in header conversion."},
    {"&Output Files", "outputFiles", "outputList",
     "The output files already in the output folder."},
};

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
      m_driver(doc, front_end),
      m_properties{CListProperties(FileListKind::kLog, doc.GetStartupDirectory()),
                   CListProperties(FileListKind::kInstrument, doc.GetStartupDirectory()),
                   CListProperties(FileListKind::kOutput, doc.GetStartupDirectory())},
      m_temporary_directory(InstrumentPackageDirectory()) {
    setObjectName(QStringLiteral("DravikView"));
    m_view_settings.Read(store);

    auto* lists = new QHBoxLayout;
    for (int i = 0; i < 3; ++i) lists->addWidget(ListGroup(static_cast<FileListKind>(i)));
    // A dropped package is unpacked into the program's temporary directory,
    // from which the Instrument list then shows the files.
    List(FileListKind::kInstrument)
        ->SetPackageExtractor([directory = m_temporary_directory](
                                  const std::string& package, CFrontEnd& messages,
                                  std::stop_token stop) {
            return PackageEntryFileName(
                ExtractInstrumentPackage(messages, package, directory, std::move(stop)));
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
    m_quick_look = new CQuickLookWindow(store, this);
    connect(m_quick_look, &CQuickLookWindow::Closed, this,
            [this] { SetQuickLookShown(false); }, Qt::QueuedConnection);
    m_log_timer.setInterval(kLogInterval);
    connect(&m_log_timer, &QTimer::timeout, this, &CDravikView::OnLogTimer);
    connect(&m_driver, &CConversionDriver::BusyChanged, this, &CDravikView::ApplyBusy);
    connect(&m_driver, &CConversionDriver::ConversionEnded, this,
            &CDravikView::OnConversionEnded);
    connect(&m_driver, &CConversionDriver::RunEnded, this, &CDravikView::OnRunEnded);
    connect(&m_driver, &CConversionDriver::ProgressRefreshed, this,
            &CDravikView::ProgressRefreshed);
    connect(&m_driver, &CConversionDriver::TitleChanged, this, [this](const QString& title) {
        if (m_initialised) emit TitleChanged(title);
    });
    ListBox(FileListKind::kInstrument)->setEnabled(!IsHeaderMode());
}

QGroupBox* CDravikView::ListGroup(FileListKind kind) {
    const auto index = static_cast<std::size_t>(kind);
    const CListLook& look = kListLooks[index];
    auto* box = new QGroupBox(QString::fromLatin1(look.caption), this);
    box->setObjectName(QString::fromLatin1(look.box_name));
    box->setWhatsThis(QString::fromLatin1(look.help));
    box->setMinimumSize(200, 240);
    auto* list = new CFileListBox(box);
    list->setObjectName(QString::fromLatin1(look.list_name));
    list->SetKind(kind);
    list->SetTemporaryDirectory(m_temporary_directory);
    list->SetProperties(&m_properties[index]);
    // The list itself answers What's This: the box is only its frame.
    list->setWhatsThis(box->whatsThis());
    list->installEventFilter(this);
    (new QVBoxLayout(box))->addWidget(list);
    connect(list, &CFileListBox::selectionSynchronized, this,
            [this, kind] { OnListSelection(kind); });
    connect(list, &CFileListBox::listChanged, this, [this, kind] { OnListSelection(kind); });
    connect(list, &CFileListBox::listed, this, [this, kind] { OnListed(kind); });
    m_boxes[index] = box;
    m_lists[index] = list;
    return box;
}

CDravikView::~CDravikView() {
    m_log_timer.stop();
    // The program is closing during a conversion: it ends as cancelled, with
    // its summary in the conversion log.
    m_driver.Shutdown();
    // The quick look goes with the view's children: the document must not
    // hand it anything more.
    m_doc.SetSideOutput(nullptr);
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
    if (m_quick_look->GetShowWindow()) SetQuickLookShown(true);
    for (CFileListBox* list : m_lists) list->Refresh();
    ApplySelectionMode();
    ApplyHeaderDisplay();
    UpdateFileNames();
    m_log_timer.start();
}

bool CDravikView::IsQuickLookShown() const noexcept {
    return m_quick_look->IsOpen();
}

bool CDravikView::IsLogWindowShown() const noexcept {
    return m_log_window->GetShowWindow();
}

QGroupBox* CDravikView::ListBox(FileListKind kind) const noexcept {
    return m_boxes[static_cast<std::size_t>(kind)];
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
    // Going to one file selects the remembered one, which header mode must
    // not show in the disabled list.
    if (IsHeaderMode()) ClearInstrumentSelection();
}

void CDravikView::ClearInstrumentSelection() {
    // The remembered instrument file stays for when header mode ends.
    CFileListBox* instruments = List(FileListKind::kInstrument);
    instruments->blockSignals(true);
    instruments->clearSelection();
    instruments->blockSignals(false);
}

void CDravikView::ApplyHeaderDisplay() {
    if (IsHeaderMode()) {
        ClearInstrumentSelection();
    } else {
        List(FileListKind::kInstrument)->SynchronizeSelection();
    }
    ListBox(FileListKind::kInstrument)->setEnabled(!IsConverting() && !IsHeaderMode());
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
        // A list that comes in while the user types must not move the caret.
        const QString typed = QString::fromLocal8Bit(m_view_settings.default_outfile);
        if (m_next->text() != typed) m_next->setText(typed);
        m_doc.SetOutputFilePath(std::string());
    } else {
        m_next->setReadOnly(true);
        GenerateOutputName();
    }
}

bool CDravikView::GenerateOutputName() {
    const std::optional<std::string> name =
        CurrentNaming().GenerateName(m_doc.GetLogFilePath(), m_doc.GetInstrumentFilePath());
    SetOutputName(name);
    return name.has_value();
}

void CDravikView::SetOutputName(const std::optional<std::string>& name) {
    if (!name) {
        m_next->clear();
        m_doc.SetOutputFilePath(std::string());
        return;
    }
    m_next->setText(QString::fromLocal8Bit(*name));
    m_doc.SetOutputFilePath(Properties(FileListKind::kOutput).working_directory + *name);
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

void CDravikView::OnListed(FileListKind kind) {
    if (kind == FileListKind::kInstrument && IsHeaderMode()) ApplyHeaderDisplay();
    if (kind != FileListKind::kOutput) UpdateFileNames();
    if (m_begin_when_listed) BeginConversion();
}

void CDravikView::ApplyBusy(bool busy) {
    ListBox(FileListKind::kLog)->setEnabled(!busy);
    ListBox(FileListKind::kOutput)->setEnabled(!busy);
    ListBox(FileListKind::kInstrument)->setEnabled(!busy && !IsHeaderMode());
    m_next->setReadOnly(busy);
    emit ConvertingChanged(busy);
}

// ---------------------------------------------------------------------------
// Commands

void CDravikView::BeginConversion() {
    // Enter reaches here too; a second conversion never starts over a running one.
    m_begin_when_listed = false;
    if (IsConverting()) return;
    // The selection is the one shown once every list is in.
    for (const CFileListBox* list : m_lists) m_begin_when_listed |= list->IsBusy();
    if (m_begin_when_listed) return;
    if (m_initialised && BeginRun()) return;
    if (m_doc.GetLogFilePath().empty()) {
        m_front_end.ShowMessage(
            "Please select a Log file from the list provided.\r\n\r\nIf the \"Log Files\" list is "
            "empty, adjust the File List Properties from the View menu.");
        ListBox(FileListKind::kLog)->setFocus();
        return;
    }
    if (!IsHeaderMode() && m_doc.GetInstrumentFilePath().empty()) {
        m_front_end.ShowMessage(
            "Please select an Instrument file from the list provided.\r\n\r\nIf the \"Instrument "
            "Files\" list is empty, adjust the File List Properties from the View menu.");
        ListBox(FileListKind::kInstrument)->setFocus();
        return;
    }
    if (!TakeOutputName()) return;
    PostStartConversion();
}

bool CDravikView::BeginRun() {
    std::vector<std::string> logs = SelectedNames(Properties(FileListKind::kLog));
    for (std::string& log : logs) log = Properties(FileListKind::kLog).working_directory + log;
    std::vector<std::string> instruments;
    if (!IsHeaderMode()) {
        instruments = SelectedNames(Properties(FileListKind::kInstrument));
        for (std::string& instrument : instruments) instrument = InstrumentPath(instrument);
    }
    CRunPlan plan(IsHeaderMode() ? NamingKind::kHeader : NamingKind::kInstrument, std::move(logs),
                  std::move(instruments));
    const int total = static_cast<int>(plan.Size());
    if (total < 2 || !CurrentNaming().IsAutomatic()) return false;
    // A pair whose output cannot be named is passed over; the name of the
    // next one is made only when it comes, after the last one advanced an
    // increment.
    auto take_pair = [this, plan = std::move(plan)](int from) -> std::optional<int> {
        const auto next = plan.NextNamed(static_cast<std::size_t>(from), CurrentNaming());
        if (!next) return std::nullopt;
        m_doc.SetLogFilePath(plan.LogPath(next->index));
        m_doc.SetInstrumentFilePath(plan.InstrumentPath(next->index));
        SetOutputName(next->name);
        return static_cast<int>(next->index);
    };
    if (!m_driver.StartRun(total, std::move(take_pair))) UpdateFileNames();
    return true;
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
    // Each list shows a busy cursor until its listing is in.
    for (CFileListBox* list : m_lists) list->Refresh();
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

void CDravikView::ToggleQuickLook() {
    SetQuickLookShown(!m_quick_look->IsOpen());
}

void CDravikView::SetQuickLookShown(bool shown) {
    if (shown) {
        // Attached first: a conversion under way is drawn from its next frame on.
        m_doc.SetSideOutput(&m_quick_look->Output());
        m_quick_look->Open();
    } else {
        m_doc.SetSideOutput(nullptr);
        if (m_quick_look->IsOpen()) m_quick_look->Close();
        setFocus();
    }
    emit QuickLookShown(shown);
}

// ---------------------------------------------------------------------------
// Conversions

void CDravikView::PostStartConversion() {
    m_driver.StartOne();
}

void CDravikView::OnConversionEnded() {
    if (!m_initialised) return;
    // The new output is listed and selected; an increment moves on.
    CListProperties& output = Properties(FileListKind::kOutput);
    output.file_selected = m_next->text().toLocal8Bit().toStdString();
    List(FileListKind::kOutput)->Refresh();
    CFileNaming& naming = CurrentNaming();
    if (naming.Settings().file_mode == kNamingAutoIncrement) naming.AdvanceIncrement();
    if (!m_driver.IsRun()) UpdateFileNames();
}

void CDravikView::OnRunEnded() {
    if (m_initialised) {
        UpdateFileNames();
        emit TitleChanged(QStringLiteral("Dravik"));
        setFocus();
    } else {
        // A batch run: the program ends with its conversion.
        emit CloseRequested();
    }
}

void CDravikView::OnLogTimer() {
    // Taken at the next tick while the processing thread holds the document.
    std::string text;
    if (m_doc.TryTakeLogText(text) && !text.empty()) m_log_window->AppendText(text);
}

}  // namespace dravik

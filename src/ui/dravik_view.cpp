#include "dravik_view.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "conversion_dlg.h"
#include "conversion_log_dlg.h"
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

}  // namespace

CDravikView::CDravikView(CDravikDoc& doc, CWindowFrontEnd& front_end, CSettingsStore& store,
                         QWidget* parent)
    : QWidget(parent), m_doc(doc), m_front_end(front_end), m_store(store) {
    setObjectName(QStringLiteral("DravikView"));
    m_view_settings.Read(store);

    m_log_box = ListGroup(QStringLiteral("Log Files"), "logFiles",
                          QStringLiteral("The raw telemetry log files to convert."), this);
    m_instrument_box = ListGroup(
        QStringLiteral("Instrument Files"), "instrumentFiles",
        QStringLiteral("The calibration or telemetry definition files describing the instrument "
                       "whose frames are converted. Not used in header conversion."),
        this);
    m_output_box =
        ListGroup(QStringLiteral("Output Files"), "outputFiles",
                  QStringLiteral("The output files already in the output folder."), this);
    auto* lists = new QHBoxLayout;
    lists->addWidget(m_log_box);
    lists->addWidget(m_instrument_box);
    lists->addWidget(m_output_box);

    m_next = new QLineEdit(QString::fromLocal8Bit(m_view_settings.default_outfile), this);
    m_next->setObjectName(QStringLiteral("next"));
    m_next->setWhatsThis(
        QStringLiteral("The name of the next output file. Press Ctrl+C to begin the conversion."));
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
        m_view_settings.default_outfile = m_next->text().toLocal8Bit().toStdString();
        m_view_settings.Write(m_store);
    }
}

void CDravikView::InitialUpdate() {
    m_doc.GetParameters().ReadParameters(m_store);
    m_initialised = true;
    if (m_log_window->GetShowWindow()) m_log_window->CreateLogWindow();
    emit LogWindowShown(m_log_window->GetShowWindow());
    m_log_timer.start();
    emit HeaderModeChanged(IsHeaderMode());
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
    const QString text = m_next->text().trimmed();
    if (text.isEmpty()) {
        m_front_end.ShowMessage(
            "Please select an Output file from the list provided or specify a new file name in the "
            "edit box labeled \"Next\".\r\n\r\nIf the \"Output Files\" list is empty, adjust the "
            "File List Properties from the View menu.");
        m_next->setFocus();
        return false;
    }
    m_view_settings.default_outfile = text.toLocal8Bit().toStdString();
    m_doc.SetOutputFilePath(m_view_settings.default_outfile);
    return true;
}

void CDravikView::ToggleHeaderConversion() {
    if (IsConverting()) return;
    m_view_settings.convert_header = IsHeaderMode() ? 0 : 1;
    m_instrument_box->setEnabled(!IsHeaderMode());
    emit HeaderModeChanged(IsHeaderMode());
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

void CDravikView::OnStartConversion(bool /*first_of_run*/) {
    if (IsConverting()) return;
    m_cancel_requested = false;
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
    m_front_end.InitProgress(m_doc.MakeProgressSetup());
    if (!progress->isVisible()) progress->show();
    UpdateTitle(0);
    if (!m_doc.StartConversion(false)) {
        // Refused or failed before the first frame; the end step has run.
        m_outcome = m_doc.GetOutcome();
        PostEndOfConversion();
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
        const bool stop = ended_well || m_cancel_requested;
        if (stop && m_doc.GetDismissProgress() == 1) PostEndOfConversion();
    }
    UpdateTitle(percent);
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
    SetState(EState::kIdle);
    m_doc.DestroyProgressDialog();
    if (m_initialised) {
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
    if (!m_initialised) return;
    QString title = QStringLiteral("Dravik - Conversion in Progress - ");
    if (percent > 0) title += QStringLiteral("(%1%)").arg(percent);
    emit TitleChanged(title);
}

}  // namespace dravik

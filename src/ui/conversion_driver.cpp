#include "conversion_driver.h"

#include <QSignalBlocker>

#include "conversion_dlg.h"
#include "window_front_end.h"

namespace dravik {

namespace {

// How long ending a conversion the user dismissed early (or the program
// closing during one) may wait for the processing thread to finish its
// current frame.
constexpr int kAbortWaitMs = 5000;

}  // namespace

CConversionDriver::CConversionDriver(CDravikDoc& doc, CWindowFrontEnd& front_end, QObject* parent)
    : QObject(parent), m_doc(doc), m_front_end(front_end) {
    m_timer.setInterval(kProgressInterval);
    connect(&m_timer, &QTimer::timeout, this, &CConversionDriver::OnTimer);
}

CConversionDriver::~CConversionDriver() {
    Shutdown();
}

void CConversionDriver::SetState(EState next) {
    const EState previous = m_state;
    m_state = next;
    if (previous == EState::kIdle && next != EState::kIdle) emit BusyChanged(true);
    switch (next) {
        case EState::kIdle:
            m_timer.stop();
            m_run = CRun{};
            if (previous != EState::kIdle) emit BusyChanged(false);
            m_doc.DestroyProgressDialog();
            emit RunEnded();
            break;
        case EState::kStarting:
            QMetaObject::invokeMethod(this, &CConversionDriver::OnStart, Qt::QueuedConnection);
            break;
        case EState::kConverting:
            m_timer.start();
            m_doc.RequestNextFrame();
            break;
        case EState::kCancelling:
            m_doc.AbortConversion();
            break;
        case EState::kShowing:
            m_timer.stop();
            break;
        case EState::kEnding:
            // Dismissed right after a cancel, before the processing thread
            // had stopped: the end step still runs, so that the files are
            // closed and the summary is written.
            if (previous == EState::kConverting || previous == EState::kCancelling) {
                EndUnfinished();
            }
            QMetaObject::invokeMethod(this, &CConversionDriver::OnEnd, Qt::QueuedConnection);
            break;
    }
}

void CConversionDriver::StartOne() {
    if (IsBusy()) return;
    m_run = CRun{};
    SetState(EState::kStarting);
}

bool CConversionDriver::StartRun(int total, PairTaker take_pair) {
    if (IsBusy()) return false;
    m_run = CRun{total, -1, 0, std::move(take_pair)};
    if (!TakeNextPair()) {
        m_run = CRun{};
        return false;
    }
    m_run.first = m_run.index;
    SetState(EState::kStarting);
    return true;
}

bool CConversionDriver::TakeNextPair() {
    const std::optional<int> next = m_run.take_pair(m_run.index + 1);
    m_run.index = next.value_or(m_run.total);
    return next.has_value();
}

void CConversionDriver::Shutdown() {
    // The view is going: there is nobody left to tell.
    const QSignalBlocker quiet(this);
    if (m_state == EState::kConverting || m_state == EState::kCancelling) EndUnfinished();
    SetState(EState::kIdle);
}

void CConversionDriver::OnStart() {
    if (m_state != EState::kStarting) return;
    m_outcome = EConversionOutcome::kFailed;
    if (!m_doc.CreateProgressDialog() || !m_doc.PrepareConversion()) {
        SetState(EState::kEnding);
        return;
    }
    CConversionDlg* progress = m_front_end.Progress();
    const auto once = static_cast<Qt::ConnectionType>(Qt::QueuedConnection | Qt::UniqueConnection);
    connect(progress, &CConversionDlg::CancelRequested, this, &CConversionDriver::OnCancel, once);
    connect(progress, &CConversionDlg::EndRequested, this, &CConversionDriver::OnEndRequested,
            once);
    const CProgressSetup setup = IsRun() ? m_doc.MakeProgressSetup(m_run.total, m_run.index + 1)
                                         : m_doc.MakeProgressSetup();
    m_front_end.InitProgress(setup);
    if (!progress->isVisible()) progress->show();
    UpdateTitle(0);
    if (!m_doc.StartConversion(IsRun())) {
        // Refused or failed before the first frame; the end step has run.
        m_outcome = m_doc.GetOutcome();
        SetState(EState::kEnding);
        return;
    }
    if (IsRun() && m_doc.IsSkipped()) {
        SkipPair(setup);
        return;
    }
    SetState(EState::kConverting);
}

void CConversionDriver::SkipPair(const CProgressSetup& setup) {
    const bool first = m_run.index == m_run.first;
    SetState(EState::kShowing);
    if (TakeNextPair()) {
        SetState(EState::kStarting);
    } else if (first || m_doc.GetDismissProgress() == 1) {
        SetState(EState::kEnding);
    } else if (CConversionDlg* progress = m_front_end.Progress()) {
        // Nothing is left to convert: the progress window says the run was
        // cancelled and waits for its OK.
        progress->InitDisplay(setup, true);
    }
}

void CConversionDriver::OnTimer() {
    CConversionDlg* progress = m_front_end.Progress();
    if (progress == nullptr) return;
    // A message box shown from here runs an event loop of its own, in which
    // this timer must not fire again; whatever the user did meanwhile is
    // what counts afterwards.
    m_timer.stop();
    // While the processing thread holds the document (its output held up by
    // a slow disk) the window does not wait for it: it asks again at the
    // next tick and stays free to redraw and answer meanwhile.
    if (!m_doc.TryShowPendingMessages()) {
        m_timer.start();
        return;
    }
    const bool polling = m_state == EState::kConverting || m_state == EState::kCancelling;
    if (!polling || (progress = m_front_end.Progress()) == nullptr) return;
    CProgressReport report;
    if (!m_doc.TryMakeProgressReport(report)) {
        m_timer.start();
        return;
    }
    progress->Refresh(report);
    if (report.status.done) {
        Finish(m_state == EState::kCancelling);
    } else {
        UpdateTitle(report.percent);
        m_timer.start();
    }
    emit ProgressRefreshed();
}

void CConversionDriver::Finish(bool cancelled) {
    SetState(EState::kShowing);
    const bool ended_well = m_doc.EndConversion(cancelled);
    m_outcome = m_doc.GetOutcome();
    int percent = 0;
    if (CConversionDlg* progress = m_front_end.Progress()) {
        const CProgressReport last = m_doc.MakeProgressReport();
        progress->Refresh(last);
        percent = last.percent;
    }
    UpdateTitle(percent);
    emit ConversionEnded();
    if (m_state != EState::kShowing) return;
    // One failed file of a run does not end it; a cancel does.
    const bool stop = IsRun() ? cancelled : ended_well || cancelled;
    if (!stop && IsRun() && TakeNextPair()) {
        SetState(EState::kStarting);
    } else if ((stop || IsRun()) && m_doc.GetDismissProgress() == 1) {
        SetState(EState::kEnding);
    }
}

void CConversionDriver::OnCancel() {
    if (m_state == EState::kConverting) SetState(EState::kCancelling);
}

void CConversionDriver::OnEndRequested() {
    if (m_state != EState::kIdle && m_state != EState::kEnding) SetState(EState::kEnding);
}

void CConversionDriver::OnEnd() {
    if (m_state == EState::kEnding) SetState(EState::kIdle);
}

void CConversionDriver::EndUnfinished() {
    m_timer.stop();
    m_doc.AbortConversion();
    m_doc.WaitForDone(kAbortWaitMs);
    m_doc.EndConversion(true);
    m_outcome = m_doc.GetOutcome();
}

void CConversionDriver::UpdateTitle(int percent) {
    if (m_state == EState::kIdle) return;
    QString title = QStringLiteral("Dravik - Conversion in Progress - ");
    if (IsRun()) title += QStringLiteral("%1/%2 ").arg(m_run.index + 1).arg(m_run.total);
    if (percent > 0) title += QStringLiteral("(%1%)").arg(percent);
    emit TitleChanged(title);
}

}  // namespace dravik

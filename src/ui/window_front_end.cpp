#include "window_front_end.h"

#include <QMessageBox>

#include "conversion_dlg.h"
#include "exclamation_box.h"
#include "overwrite_dlg.h"

namespace dravik {

CWindowFrontEnd::~CWindowFrontEnd() {
    delete m_progress;
}

QWidget* CWindowFrontEnd::MessageParent() const {
    if (m_progress && m_progress->isVisible()) return m_progress;
    if (m_owner && m_owner->isVisible()) return m_owner;
    return nullptr;
}

void CWindowFrontEnd::ShowMessage(const std::string& text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Dravik"), DisplayText(text),
                    QMessageBox::Ok, MessageParent());
    box.exec();
}

bool CWindowFrontEnd::AskYesNo(const std::string& text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Dravik"), DisplayText(text),
                    QMessageBox::Yes | QMessageBox::No, MessageParent());
    return box.exec() == QMessageBox::Yes;
}

EOverwriteAnswer CWindowFrontEnd::AskOverwrite(const std::string& text, bool yes_to_all_enabled) {
    COverwriteDlg dialog(DisplayText(text), yes_to_all_enabled, MessageParent());
    dialog.exec();
    return dialog.Answer();
}

bool CWindowFrontEnd::CreateProgress() {
    if (!m_progress) m_progress = new CConversionDlg(m_store, m_owner);
    return true;
}

void CWindowFrontEnd::InitProgress(const CProgressSetup& setup) {
    if (!m_progress) return;
    m_progress->SetRunTotal(setup.run_total);
    m_progress->SetCurrent(setup.run_current);
    m_progress->InitDisplay(setup);
}

bool CWindowFrontEnd::RefreshProgress(const CProgressReport& report) {
    if (!m_progress) return true;
    m_progress->Refresh(report);
    return !m_progress->UserAborted();
}

void CWindowFrontEnd::CloseProgress() {
    // Closing may be asked from inside one of the window's own handlers;
    // the window goes when the event loop comes back.
    if (!m_progress) return;
    m_progress->hide();
    m_progress->deleteLater();
    m_progress = nullptr;
}

}  // namespace dravik

#include "conversion_log_dlg.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QVBoxLayout>

#include "window_placement.h"

namespace dravik {

namespace {

const QString kLineEnd = QStringLiteral("\r\n");

QString Shown(QString text) {
    text.replace(kLineEnd, QStringLiteral("\n"));
    return text;
}

}  // namespace

void DropLeadingLines(QString& text, qsizetype count) {
    if (count <= 0) return;
    qsizetype cut = 0;
    while (cut < count) {
        const qsizetype end = text.indexOf(kLineEnd, cut);
        if (end < 0) {
            cut = std::min(count, text.size());
            break;
        }
        cut = end + kLineEnd.size();
    }
    text.remove(0, cut);
}

CConversionLogDlg::CConversionLogDlg(CSettingsStore& store, QWidget* parent)
    : QDialog(parent), m_store(store) {
    setObjectName(QStringLiteral("ConversionLogDlg"));
    setWindowTitle(QStringLiteral("Conversion Log Output"));
    setModal(false);
    setSizeGripEnabled(true);
    m_placement.Read(store);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_edit = new QPlainTextEdit(this);
    m_edit->setObjectName(QStringLiteral("logText"));
    m_edit->setReadOnly(true);
    m_edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_edit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_edit->setStyleSheet(QStringLiteral("QPlainTextEdit { color: black; background: white; }"));
    layout->addWidget(m_edit);
    resize(560, 300);
}

CConversionLogDlg::~CConversionLogDlg() {
    // The window goes with the program, not by the user's choice: it opens
    // again at the next start.
    if (m_open) m_placement.WriteShowWindow(m_store);
}

void CConversionLogDlg::CreateLogWindow() {
    m_placement.show_window = 1;
    m_placement.WriteShowWindow(m_store);
    if (!m_placed) {
        // Placed before it first appears, so that the window manager puts it
        // there; the stored outer size is kept once the frame is known.
        m_placed = true;
        RestoreWindow(*this, m_placement.rect, true);
    }
    show();
    m_open = true;
    StoreRect();
    ShowMirror();
    m_edit->setFocus();
}

void CConversionLogDlg::DestroyLogWindow() {
    m_open = false;
    hide();
    m_placement.show_window = 0;
    m_placement.WriteShowWindow(m_store);
}

void CConversionLogDlg::Clear() {
    m_mirror.clear();
    if (m_open) m_edit->clear();
}

void CConversionLogDlg::ShowMirror() {
    m_edit->setPlainText(Shown(m_mirror));
    m_edit->moveCursor(QTextCursor::End);
    m_edit->verticalScrollBar()->setValue(m_edit->verticalScrollBar()->maximum());
}

void CConversionLogDlg::AppendText(const std::string& text) {
    if (text.empty()) return;
    const QString added = QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
    if (!m_open) {
        m_mirror += added;
        if (m_mirror.size() >= kTextLimit)
            DropLeadingLines(m_mirror, m_mirror.size() - kTextLimit + 1);
        return;
    }
    if (m_mirror.size() + added.size() >= kTextLimit) {
        // Whole lines go from the top; the display is rebuilt once, without
        // drawing in between.
        m_edit->setUpdatesEnabled(false);
        m_mirror += added;
        DropLeadingLines(m_mirror, m_mirror.size() - kTrimTarget + 1);
        ShowMirror();
        m_edit->setUpdatesEnabled(true);
        return;
    }
    m_mirror += added;
    m_edit->moveCursor(QTextCursor::End);
    m_edit->insertPlainText(Shown(added));
    m_edit->verticalScrollBar()->setValue(m_edit->verticalScrollBar()->maximum());
}

void CConversionLogDlg::closeEvent(QCloseEvent* event) {
    event->accept();
    emit Closed();
}

void CConversionLogDlg::StoreRect() {
    if (!m_open) return;
    m_placement.rect = FrameRect(*this);
    m_placement.WriteRect(m_store);
}

void CConversionLogDlg::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    if (isVisible()) StoreRect();
}

void CConversionLogDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (isVisible()) StoreRect();
}

}  // namespace dravik

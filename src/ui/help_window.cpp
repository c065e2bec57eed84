#include "help_window.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTextBlock>
#include <QTextBrowser>
#include <QVBoxLayout>

// Q_INIT_RESOURCE names a function of the global namespace.
static void InitDravikResources() {
    Q_INIT_RESOURCE(dravik);
}

namespace dravik {

void LoadResources() {
    static const bool loaded = (InitDravikResources(), true);
    (void)loaded;
}

CHelpWindow::CHelpWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("Dravik Help"));
    setModal(false);
    LoadResources();
    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("manual"));
    m_browser->setOpenExternalLinks(true);
    QFile manual(QStringLiteral(":/dravik/manual.md"));
    if (manual.open(QIODevice::ReadOnly)) {
        m_browser->setMarkdown(QString::fromUtf8(manual.readAll()));
    } else {
        m_browser->setPlainText(QStringLiteral("The manual is missing from this build."));
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    resize(640, 520);
}

bool CHelpWindow::ShowTopic(const QString& heading) {
    for (QTextBlock block = m_browser->document()->begin(); block.isValid();
         block = block.next()) {
        if (block.blockFormat().headingLevel() > 0 && block.text() == heading) {
            m_browser->setTextCursor(QTextCursor(block));
            // From the end of the text, making the cursor visible scrolls
            // back just far enough: the heading ends up at the top.
            QScrollBar* bar = m_browser->verticalScrollBar();
            bar->setValue(bar->maximum());
            m_browser->ensureCursorVisible();
            return true;
        }
    }
    m_browser->moveCursor(QTextCursor::Start);
    return false;
}

CHelpWindow* OpenHelp(QWidget* owner, const QString& topic) {
    auto* help = owner->findChild<CHelpWindow*>(QString(), Qt::FindDirectChildrenOnly);
    if (help == nullptr) help = new CHelpWindow(owner);
    help->show();
    help->raise();
    help->activateWindow();
    // Scrolled once shown: only then has the text its final width.
    if (!topic.isEmpty()) help->ShowTopic(topic);
    return help;
}

void AddDialogHelp(QDialog& dialog, const QString& topic, QDialogButtonBox* buttons) {
    QDialog* owner = &dialog;
    auto open = [owner, topic] { OpenHelp(owner, topic); };
    if (buttons != nullptr) {
        QPushButton* help = buttons->addButton(QDialogButtonBox::Help);
        help->setText(QStringLiteral("&Help"));
        help->setObjectName(QStringLiteral("help"));
        QObject::connect(buttons, &QDialogButtonBox::helpRequested, owner, open);
    }
    auto* f1 = new QShortcut(QKeySequence(Qt::Key_F1), owner);
    QObject::connect(f1, &QShortcut::activated, owner, open);
    // Where the window system offers it, the title bar's "?" enters What's
    // This mode; Shift+F1 on a control shows its text anywhere.
    dialog.setWindowFlag(Qt::WindowContextHelpButtonHint, true);
}

}  // namespace dravik

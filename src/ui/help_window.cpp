#include "help_window.h"

#include <QFile>
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

}  // namespace dravik

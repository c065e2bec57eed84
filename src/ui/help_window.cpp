#include "help_window.h"

#include <QFile>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace dravik {

CHelpWindow::CHelpWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("Dravik Help"));
    setModal(false);
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

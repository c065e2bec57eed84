// "Dravik Help": the program's manual, a Markdown text built into the program.
#pragma once

#include <QDialog>

class QTextBrowser;

namespace dravik {

class CHelpWindow : public QDialog {
    Q_OBJECT

  public:
    explicit CHelpWindow(QWidget* parent = nullptr);

    QTextBrowser* Browser() const noexcept { return m_browser; }

  private:
    QTextBrowser* m_browser = nullptr;
};

}  // namespace dravik

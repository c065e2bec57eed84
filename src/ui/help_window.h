// "Dravik Help": the program's manual, a Markdown text built into the program.
#pragma once

#include <QDialog>

class QTextBrowser;

namespace dravik {

// Makes the manual and the icon built into the window library available (a
// static library's resources are not registered by themselves).
void LoadResources();

class CHelpWindow : public QDialog {
    Q_OBJECT

  public:
    explicit CHelpWindow(QWidget* parent = nullptr);

    QTextBrowser* Browser() const noexcept { return m_browser; }

  private:
    QTextBrowser* m_browser = nullptr;
};

}  // namespace dravik

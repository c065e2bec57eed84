// "Dravik Help": the program's manual, a Markdown text built into the program,
// and the help of the dialogs: F1 (and a dialog's "&Help" button) opens the
// manual at the dialog's section; Shift+F1 on a control tells what it does.
#pragma once

#include <QDialog>

class QDialogButtonBox;
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
    // Brings the section titled `heading` to the top of the window; false
    // (and the manual shown from its beginning) when there is none.
    bool ShowTopic(const QString& heading);

  private:
    QTextBrowser* m_browser = nullptr;
};

// Shows the help window of `owner` (one per owner, made on first use) at the
// section `topic`, or where it was left when `topic` is empty. A modal dialog
// owns its own help window: the main window's would be blocked by it.
CHelpWindow* OpenHelp(QWidget* owner, const QString& topic = QString());

// Gives a dialog its help: F1 opens the manual at `topic`, and so does a
// "&Help" button added to `buttons` when they are given.
void AddDialogHelp(QDialog& dialog, const QString& topic, QDialogButtonBox* buttons = nullptr);

}  // namespace dravik

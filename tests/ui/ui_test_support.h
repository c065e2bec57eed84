// Helpers shared by the window tests: controls found by their object names,
// and windows whose refusals are recorded instead of shown in a message box.
#pragma once

#include <QStringList>
#include <QWidget>
#include <QtGlobal>

namespace dravik::testing {

template <typename T = QWidget>
T* Control(QWidget& window, const char* name) {
    T* control = window.findChild<T*>(QString::fromLatin1(name));
    if (!control) qFatal("no control %s", name);
    return control;
}

// A window (dialog or list) that records each message it would show.
template <typename Window>
class CRecording : public Window {
  public:
    using Window::Window;
    QStringList messages;

  protected:
    void ShowMessage(const QString& text) override { messages << text; }
};

}  // namespace dravik::testing

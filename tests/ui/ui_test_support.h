// Helpers shared by the window tests: controls found by their object names,
// windows whose refusals are recorded instead of shown, answering the modal
// windows a test provokes, waiting for the lists' background work, and the
// scratch files of the conversion tests.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <functional>
#include <string>

#include "../conversion/conversion_test_support.h"
#include "file_list_box.h"

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
    void ShowMessage(const std::string& text) override {
        messages << QString::fromStdString(text);
    }
};

// Runs `act` on the next modal window (a message box, a question) as soon as
// it is shown, from inside the event loop of its exec().
inline void WhenModal(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, act = std::move(act)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        act(modal);
    });
    timer->start();
}

// Answers the next message box with `button` and keeps its text in `text`.
inline void AnswerMessageBox(QMessageBox::StandardButton button, QString* text = nullptr) {
    WhenModal([button, text](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box == nullptr) return;
        if (text != nullptr) *text = box->text();
        box->button(button)->click();
    });
}

// Waits until the lists under `window` have their listings (and packages) in.
inline bool WaitForLists(QWidget& window) {
    return QTest::qWaitFor(
        [&window] {
            for (const CFileListBox* list : window.findChildren<CFileListBox*>())
                if (list->IsBusy()) return false;
            return true;
        },
        30000);
}

}  // namespace dravik::testing

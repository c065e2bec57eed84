// Helpers shared by the window tests: answering the modal windows a test
// provokes, and the scratch files of the conversion tests.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <functional>
#include <string>

#include "../conversion/conversion_test_support.h"

namespace dravik::testing {

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

}  // namespace dravik::testing

// The question asked before an existing output file is overwritten. It must be
// answered with one of its four buttons: it has no close box and Escape does
// nothing, so that no keystroke meant for another window decides it.
#pragma once

#include <QDialog>

#include "conversion/front_end.h"

class QPushButton;

namespace dravik {

class COverwriteDlg : public QDialog {
    Q_OBJECT

  public:
    // "Yes to All" is offered only in a run over several files.
    COverwriteDlg(const QString& message, bool several_files, QWidget* parent = nullptr);

    EOverwriteAnswer Answer() const noexcept { return m_answer; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override {}

  private:
    QPushButton* AddButton(const QString& text, const char* name, EOverwriteAnswer answer);

    EOverwriteAnswer m_answer = EOverwriteAnswer::kCancel;
    bool m_answered = false;
};

}  // namespace dravik

#include "overwrite_dlg.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace dravik {

COverwriteDlg::COverwriteDlg(const QString& message, bool several_files, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("OverwriteDlg"));
    setWindowTitle(QStringLiteral("Dravik"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(true);

    auto* icon = new QLabel(this);
    const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(size, size));
    auto* text = new QLabel(message, this);
    text->setObjectName(QStringLiteral("message"));
    text->setWordWrap(true);
    text->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('x')) * 50);
    auto* row = new QHBoxLayout;
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addWidget(text, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    QPushButton* yes = AddButton(QStringLiteral("&Yes"), "yes", EOverwriteAnswer::kYes);
    QPushButton* all =
        AddButton(QStringLiteral("Yes to &All"), "yesToAll", EOverwriteAnswer::kYesToAll);
    QPushButton* no = AddButton(QStringLiteral("&No"), "no", EOverwriteAnswer::kNo);
    QPushButton* cancel = AddButton(QStringLiteral("&Cancel"), "cancel", EOverwriteAnswer::kCancel);
    for (QPushButton* b : {yes, all, no, cancel}) buttons->addWidget(b);
    buttons->addStretch();
    all->setEnabled(several_files);
    yes->setDefault(true);
    yes->setFocus();

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QPushButton* COverwriteDlg::AddButton(const QString& text, const char* name,
                                      EOverwriteAnswer answer) {
    auto* button = new QPushButton(text, this);
    button->setObjectName(QString::fromLatin1(name));
    QFont font = button->font();
    font.setBold(true);
    button->setFont(font);
    connect(button, &QPushButton::clicked, this, [this, answer] {
        m_answer = answer;
        m_answered = true;
        const bool accepted =
            answer == EOverwriteAnswer::kYes || answer == EOverwriteAnswer::kYesToAll;
        done(accepted ? QDialog::Accepted : QDialog::Rejected);
    });
    return button;
}

void COverwriteDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void COverwriteDlg::closeEvent(QCloseEvent* event) {
    // Only an answer closes the question.
    if (!m_answered) event->ignore();
}

}  // namespace dravik

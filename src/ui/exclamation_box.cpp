#include "exclamation_box.h"

#include <QMessageBox>

namespace dravik {

void ShowExclamation(QWidget* parent, const QString& text) {
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Dravik"), shown, QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace dravik

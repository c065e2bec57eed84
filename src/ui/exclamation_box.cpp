#include "exclamation_box.h"

#include <QMessageBox>

#include "platform/text.h"

namespace dravik {

QString DisplayText(const std::string& text) {
    const std::string shown = UnixLineEnds(text);
    return QString::fromLocal8Bit(shown.data(), static_cast<qsizetype>(shown.size()));
}

void ShowExclamation(QWidget* parent, const std::string& text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Dravik"), DisplayText(text),
                    QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace dravik

#include "about_dlg.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace dravik {

CAboutDlg::CAboutDlg(const QString& product_name, const QString& product_version,
                     const QString& legal_notice, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("AboutDlg"));
    setWindowTitle(QStringLiteral("About Dravik"));
    auto* icon = new QLabel(this);
    icon->setPixmap(QApplication::windowIcon().pixmap(48, 48));
    auto* texts = new QVBoxLayout;
    auto add = [&](const QString& text, const char* name) {
        if (text.isEmpty()) return;
        auto* label = new QLabel(text, this);
        label->setObjectName(QString::fromLatin1(name));
        texts->addWidget(label);
    };
    add(product_name, "productName");
    if (!product_version.isEmpty())
        add(QStringLiteral("Version %1").arg(product_version), "version");
    add(legal_notice, "legalNotice");
    auto* row = new QHBoxLayout;
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addLayout(texts, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace dravik

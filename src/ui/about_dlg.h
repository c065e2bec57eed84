// "About Dravik": the product name, its version and the legal notice.
#pragma once

#include <QDialog>

namespace dravik {

class CAboutDlg : public QDialog {
    Q_OBJECT

  public:
    // Each text is shown only when it is not empty.
    CAboutDlg(const QString& product_name, const QString& product_version,
              const QString& legal_notice, QWidget* parent = nullptr);
};

}  // namespace dravik

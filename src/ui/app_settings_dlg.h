// "Dravik Properties": the program's own settings (saving on exit, the
// overwrite question, dismissing the progress window, the conversion log and
// its folder).
#pragma once

#include <QDialog>

#include "settings/settings.h"

class QCheckBox;
class QLineEdit;
class QToolButton;

namespace dravik {

class CAppSettingsDlg : public QDialog {
    Q_OBJECT

  public:
    CAppSettingsDlg(const CAppSettings& settings, QWidget* parent = nullptr);

    // The edited settings; the folder ends with "/" when the log is kept.
    const CAppSettings& Settings() const noexcept { return m_settings; }

    // The folder named by `text` with a trailing "/", or empty when it does
    // not exist or cannot be listed.
    static std::string ValidDirectory(const std::string& text);

  public slots:
    void accept() override;

  private:
    void Browse();

    CAppSettings m_settings;
    QCheckBox* m_save = nullptr;
    QCheckBox* m_overwrite = nullptr;
    QCheckBox* m_dismiss = nullptr;
    QCheckBox* m_log = nullptr;
    QLineEdit* m_directory = nullptr;
    QToolButton* m_browse = nullptr;
};

}  // namespace dravik

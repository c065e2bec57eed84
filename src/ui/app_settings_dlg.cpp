#include "app_settings_dlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QToolButton>
#include <QVBoxLayout>
#include <filesystem>
#include <system_error>

#include "settings/program_dir.h"
#include "help_window.h"

namespace dravik {

std::string CAppSettingsDlg::ValidDirectory(const std::string& text) {
    if (text.empty()) return {};
    // Listing the folder is the test: a folder that exists but cannot be read
    // would fail the first conversion instead.
    std::error_code ec;
    std::filesystem::directory_iterator listing(text, ec);
    if (ec) return {};
    return WithTrailingSlash(text);
}

CAppSettingsDlg::CAppSettingsDlg(const CAppSettings& settings, QWidget* parent)
    : QDialog(parent), m_settings(settings) {
    setObjectName(QStringLiteral("AppSettingsDlg"));
    setWindowTitle(QStringLiteral("Dravik Properties"));

    m_save = new QCheckBox(QStringLiteral("&Save all application settings on exit"), this);
    m_overwrite = new QCheckBox(QStringLiteral("&Prompt to overwrite existing output files"), this);
    m_dismiss = new QCheckBox(
        QStringLiteral("&Dismiss Conversion Progress window after conversion complete"), this);
    m_log = new QCheckBox(QStringLiteral("&Maintain a conversion log file:"), this);
    m_directory = new QLineEdit(QString::fromLocal8Bit(settings.conversion_log_directory), this);
    m_browse = new QToolButton(this);
    m_browse->setText(QStringLiteral("..."));
    m_save->setObjectName(QStringLiteral("saveSettings"));
    m_overwrite->setObjectName(QStringLiteral("overwritePrompt"));
    m_dismiss->setObjectName(QStringLiteral("dismissProgress"));
    m_log->setObjectName(QStringLiteral("conversionLog"));
    m_directory->setObjectName(QStringLiteral("directory"));
    m_directory->setMaxLength(255);
    m_browse->setObjectName(QStringLiteral("browse"));
    m_save->setChecked(settings.save_settings != 0);
    m_overwrite->setChecked(settings.overwrite_prompt != 0);
    m_dismiss->setChecked(settings.dismiss_progress != 0);
    m_log->setChecked(settings.conversion_log != 0);
    m_save->setWhatsThis(QStringLiteral(
        "Keeps the file lists, naming and conversion parameters for the next start."));
    m_log->setWhatsThis(
        QStringLiteral("Records every conversion, its messages and its summary in a log file in "
                       "the folder below."));
    m_overwrite->setWhatsThis(QStringLiteral(
        "Asks before an existing output file is replaced. Unticked, it is replaced silently."));
    m_dismiss->setWhatsThis(QStringLiteral(
        "Closes the progress window as soon as a conversion ends, instead of waiting for its "
        "OK."));
    const QString folder_help =
        QStringLiteral("The folder of the conversion log files. The button beside it chooses one.");
    m_directory->setWhatsThis(folder_help);
    m_browse->setWhatsThis(folder_help);

    auto* label = new QLabel(QStringLiteral("Director&y:"), this);
    label->setBuddy(m_directory);
    auto* folder = new QHBoxLayout;
    folder->addWidget(label);
    folder->addWidget(m_directory, 1);
    folder->addWidget(m_browse);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CAppSettingsDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CAppSettingsDlg::reject);
    AddDialogHelp(*this, QStringLiteral("Settings"));
    connect(m_browse, &QToolButton::clicked, this, &CAppSettingsDlg::Browse);
    auto enable = [this] {
        m_directory->setEnabled(m_log->isChecked());
        m_browse->setEnabled(m_log->isChecked());
    };
    connect(m_log, &QCheckBox::toggled, this, enable);
    enable();

    auto* layout = new QVBoxLayout(this);
    for (QCheckBox* box : {m_save, m_overwrite, m_dismiss, m_log}) layout->addWidget(box);
    layout->addLayout(folder);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CAppSettingsDlg::Browse() {
    const QString chosen = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Select Conversion Log File Path:"), m_directory->text());
    if (!chosen.isEmpty()) m_directory->setText(chosen);
}

void CAppSettingsDlg::accept() {
    std::string directory = m_directory->text().toLocal8Bit().toStdString();
    if (m_log->isChecked()) {
        directory = ValidDirectory(directory);
        if (directory.empty()) {
            QMessageBox::warning(
                this, QStringLiteral("Dravik"),
                QStringLiteral("The Conversion Log File directory is invalid or does not exist."));
            m_directory->setFocus();
            return;
        }
        m_directory->setText(QString::fromLocal8Bit(directory));
    }
    m_settings.save_settings = m_save->isChecked() ? 1 : 0;
    m_settings.overwrite_prompt = m_overwrite->isChecked() ? 1 : 0;
    m_settings.dismiss_progress = m_dismiss->isChecked() ? 1 : 0;
    m_settings.conversion_log = m_log->isChecked() ? 1 : 0;
    // An unticked log keeps the folder it had: an empty text must not
    // replace the stored one.
    if (!directory.empty()) m_settings.conversion_log_directory = directory;
    QDialog::accept();
}

}  // namespace dravik

#include "list_properties_dlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "frontend/file_listing.h"
#include "exclamation_box.h"
#include "help_window.h"

namespace dravik {

namespace {

constexpr FileListKind kKinds[3] = {FileListKind::kLog, FileListKind::kInstrument,
                                    FileListKind::kOutput};

QPushButton* BrowseButton(QWidget* parent) {
    auto* button = new QPushButton(QStringLiteral("..."), parent);
    button->setFixedWidth(button->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 16);
    return button;
}

}  // namespace

CListPropertiesDlg::CListPropertiesDlg(QWidget* parent)
    : QDialog(parent),
      m_values{CFileListSettings(FileListKind::kLog, "/"),
               CFileListSettings(FileListKind::kInstrument, "/"),
               CFileListSettings(FileListKind::kOutput, "/")} {
    setWindowTitle(QStringLiteral("File List Properties"));

    auto* sort_group = new QGroupBox(QStringLiteral("Sort"), this);
    m_sort_by = new QComboBox(sort_group);
    m_sort_by->setObjectName(QStringLiteral("sortBy"));
    m_sort_by->addItems({QStringLiteral("NAME"), QStringLiteral("DATE"), QStringLiteral("SIZE")});
    auto* sort_label = new QLabel(QStringLiteral("Sort &By:"), sort_group);
    sort_label->setBuddy(m_sort_by);
    m_ascending = new QRadioButton(QStringLiteral("Ascending"), sort_group);
    m_ascending->setObjectName(QStringLiteral("ascending"));
    m_descending = new QRadioButton(QStringLiteral("Descending"), sort_group);
    m_descending->setObjectName(QStringLiteral("descending"));
    m_order = new QButtonGroup(this);
    m_order->addButton(m_ascending, kSortAscending);
    m_order->addButton(m_descending, kSortDescending);
    auto* sort_layout = new QHBoxLayout(sort_group);
    sort_layout->addWidget(sort_label);
    sort_layout->addWidget(m_sort_by);
    sort_layout->addWidget(m_ascending);
    sort_layout->addWidget(m_descending);
    sort_layout->addStretch();

    QWidget* log_group =
        MakeListGroup(kLog, QStringLiteral("Log Files"), QStringLiteral("Select Log File Path:"));
    QWidget* instrument_group = MakeListGroup(kInstrument, QStringLiteral("Instrument Files"),
                                              QStringLiteral("Select Instrument File Path:"));
    QWidget* output_group = MakeListGroup(kOutput, QStringLiteral("Output Files"),
                                          QStringLiteral("Select Output File Path:"));

    // The instrument group chooses between a package and a folder of files.
    auto* grid = qobject_cast<QGridLayout*>(instrument_group->layout());
    m_from_package =
        new QRadioButton(QStringLiteral("From Instrument &Package File:"), instrument_group);
    m_from_package->setObjectName(QStringLiteral("fromPackage"));
    m_from_files = new QRadioButton(QStringLiteral("From &Instrument Files:"), instrument_group);
    m_from_files->setObjectName(QStringLiteral("fromFiles"));
    m_package = new QLineEdit(instrument_group);
    m_package->setObjectName(QStringLiteral("packageFile"));
    auto* package_browse = BrowseButton(instrument_group);
    m_package_browse = package_browse;
    auto* source = new QButtonGroup(this);
    source->addButton(m_from_package);
    source->addButton(m_from_files);
    auto* package_row = new QHBoxLayout;
    package_row->addWidget(m_package);
    package_row->addWidget(package_browse);
    grid->addWidget(m_from_package, 3, 0, 1, 3);
    grid->addLayout(package_row, 4, 0, 1, 3);
    grid->addWidget(m_from_files, 5, 0, 1, 3);
    connect(m_from_package, &QRadioButton::toggled, this, &CListPropertiesDlg::UpdatePackageChoice);
    connect(m_from_files, &QRadioButton::toggled, this, &CListPropertiesDlg::UpdatePackageChoice);
    connect(package_browse, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getOpenFileName(
            this, QStringLiteral("Select Instrument Package File:"), m_package->text(),
            QStringLiteral("Instrument Package Files (*.zpk)"));
        if (!path.isEmpty()) m_package->setText(path);
    });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CListPropertiesDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CListPropertiesDlg::reject);
    AddDialogHelp(*this, QStringLiteral("File List Properties"));

    m_sort_by->setWhatsThis(QStringLiteral(
        "Sorts the three lists by file NAME, by DATE of last change or by SIZE."));
    const QString order = QStringLiteral(
        "Ascending lists A before B, older before newer and smaller before larger; Descending "
        "the other way round.");
    m_ascending->setWhatsThis(order);
    m_descending->setWhatsThis(order);
    const QString package = QStringLiteral(
        "Takes the instrument files from an instrument package (.zpk). The package's files are "
        "unpacked when it is dropped on the Instrument Files list; choosing it here only "
        "records it.");
    for (QWidget* w : std::initializer_list<QWidget*>{m_from_package, m_package, package_browse})
        w->setWhatsThis(package);
    m_from_files->setWhatsThis(
        QStringLiteral("Lists the instrument files of the working directory below."));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(sort_group);
    layout->addWidget(log_group);
    layout->addWidget(instrument_group);
    layout->addWidget(output_group);
    layout->addWidget(buttons);

    for (int i = 0; i < 3; ++i) SetProperties(i, CListProperties(kKinds[i], "/"));
}

QWidget* CListPropertiesDlg::MakeListGroup(int index, const QString& title,
                                           const QString& browse_title) {
    static const char* const kNames[3] = {"log", "instrument", "output"};
    const QString prefix = QString::fromLatin1(kNames[index]);
    auto* group = new QGroupBox(title, this);
    ListControls& c = m_lists[static_cast<std::size_t>(index)];
    c.directory = new QLineEdit(group);
    c.directory->setObjectName(prefix + QStringLiteral("Directory"));
    c.filter = new QLineEdit(group);
    c.filter->setObjectName(prefix + QStringLiteral("Filter"));
    c.recursive = new QCheckBox(QStringLiteral("Include Subfolders"), group);
    c.recursive->setObjectName(prefix + QStringLiteral("Recursive"));
    auto* browse = BrowseButton(group);
    m_browse[static_cast<std::size_t>(index)] = browse;
    QLineEdit* directory = c.directory;
    connect(browse, &QPushButton::clicked, this, [this, directory, browse_title] {
        const QString chosen =
            QFileDialog::getExistingDirectory(this, browse_title, directory->text());
        if (!chosen.isEmpty()) directory->setText(chosen.endsWith('/') ? chosen : chosen + '/');
    });

    const QString directory_help = QStringLiteral(
        "The folder whose files the list shows. The button beside it chooses one.");
    c.directory->setWhatsThis(directory_help);
    browse->setWhatsThis(directory_help);
    c.filter->setWhatsThis(QStringLiteral(
        "The files the list shows, by a wildcard such as *.raw: * stands for any text, ? for "
        "one character."));
    c.recursive->setWhatsThis(QStringLiteral(
        "Lists the matching files of every subfolder too, named with their subfolder."));

    auto* grid = new QGridLayout(group);
    auto* dir_label = new QLabel(QStringLiteral("Working Directory:"), group);
    dir_label->setBuddy(c.directory);
    auto* filter_label = new QLabel(QStringLiteral("Filter:"), group);
    filter_label->setBuddy(c.filter);
    // Rows 3 to 5 are left for the instrument group's package choice.
    const int row = index == kInstrument ? 6 : 0;
    grid->addWidget(dir_label, row, 0);
    grid->addWidget(c.directory, row, 1);
    grid->addWidget(browse, row, 2);
    grid->addWidget(filter_label, row + 1, 0);
    grid->addWidget(c.filter, row + 1, 1);
    grid->addWidget(c.recursive, row + 2, 1);
    return group;
}

void CListPropertiesDlg::SetProperties(int index, const CListProperties& properties) {
    if (index < 0 || index > 2) return;
    const std::size_t i = static_cast<std::size_t>(index);
    m_values[i] = properties;
    ListControls& c = m_lists[i];
    c.directory->setText(QString::fromStdString(properties.working_directory));
    c.filter->setText(QString::fromStdString(properties.file_filter));
    c.recursive->setChecked(properties.recursive != 0);
    if (index == kInstrument) {
        m_package->setText(QString::fromStdString(properties.instrument_package_file));
        (properties.use_working_directory != 0 ? m_from_files : m_from_package)->setChecked(true);
        UpdatePackageChoice();
    }
    if (index == kOutput) {
        // A stored value out of range shows as no choice, which OK refuses.
        const int type = properties.sort_type;
        m_sort_by->setCurrentIndex(type >= kSortName && type <= kSortSize ? type : -1);
        m_order->setExclusive(false);
        m_ascending->setChecked(properties.sort_direction == kSortAscending);
        m_descending->setChecked(properties.sort_direction == kSortDescending);
        m_order->setExclusive(true);
    }
}

void CListPropertiesDlg::GetProperties(int index, CListProperties& properties) const {
    if (index < 0 || index > 2) return;
    const CFileListSettings& v = m_values[static_cast<std::size_t>(index)];
    properties.working_directory = v.working_directory;
    properties.file_filter = v.file_filter;
    properties.recursive = v.recursive;
    properties.sort_type = v.sort_type;
    properties.sort_direction = v.sort_direction;
    if (index == kInstrument) {
        properties.use_working_directory = v.use_working_directory;
        properties.instrument_package_file = v.instrument_package_file;
    }
}

void CListPropertiesDlg::UpdatePackageChoice() {
    const bool package = m_from_package->isChecked();
    m_package->setEnabled(package);
    m_package_browse->setEnabled(package);
    const ListControls& c = m_lists[kInstrument];
    c.directory->setEnabled(!package);
    c.filter->setEnabled(!package);
    c.recursive->setEnabled(!package);
    m_browse[kInstrument]->setEnabled(!package);
}

bool CListPropertiesDlg::Fail(QWidget* control, const char* text) {
    ShowMessage(text);
    // A control that the package choice disabled cannot take the focus, so
    // the choice is switched over to show what needs mending.
    if (!control->isEnabled() && control != m_package) m_from_files->setChecked(true);
    control->setFocus();
    return false;
}

void CListPropertiesDlg::accept() {
    static const char* const kDirectoryMessages[3] = {
        "The specified Log Files Working Directory is invalid or does not exist.",
        "The specified Instrument Files Working Directory is invalid or does not exist.",
        "The specified Output Files Working Directory is invalid or does not exist."};
    static const char* const kFilterMessages[3] = {"No Log File Filter has been specified.",
                                                   "No Instrument File Filter has been specified.",
                                                   "No Output File Filter has been specified."};

    const int sort_type = m_sort_by->currentIndex();
    if (sort_type < kSortName || sort_type > kSortSize) {
        Fail(m_sort_by, "Please specify a Sort By type.");
        return;
    }
    const int direction = m_order->checkedId();
    if (direction != kSortAscending && direction != kSortDescending) {
        Fail(m_ascending, "Please specify a sort order (Ascending/Descending).");
        return;
    }
    // The instrument folder and filter are checked even while the files come
    // from a package: switching back must not find them broken.
    std::array<std::string, 3> directories;
    for (std::size_t i = 0; i < 3; ++i) {
        const ListControls& c = m_lists[i];
        const std::optional<std::string> directory =
            ValidDirectory(c.directory->text().toStdString());
        if (!directory) {
            Fail(c.directory, kDirectoryMessages[i]);
            return;
        }
        directories[i] = *directory;
        c.directory->setText(QString::fromStdString(*directory));
        if (c.filter->text().isEmpty()) {
            Fail(c.filter, kFilterMessages[i]);
            return;
        }
    }
    for (std::size_t i = 0; i < 3; ++i) {
        CFileListSettings& v = m_values[i];
        v.working_directory = directories[i];
        v.file_filter = m_lists[i].filter->text().toStdString();
        v.recursive = m_lists[i].recursive->isChecked() ? 1 : 0;
        v.sort_type = sort_type;
        v.sort_direction = direction;
    }
    m_values[kInstrument].use_working_directory = m_from_files->isChecked() ? 1 : 0;
    m_values[kInstrument].instrument_package_file = m_package->text().toStdString();
    QDialog::accept();
}

void CListPropertiesDlg::ShowMessage(const std::string& text) {
    ShowExclamation(this, text);
}

}  // namespace dravik

#include "file_naming_dlg.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "exclamation_box.h"
#include "help_window.h"
#include "special_edit.h"

namespace dravik {

CFileNamingDlg::CFileNamingDlg(QWidget* parent)
    : QDialog(parent),
      m_namings{CFileNaming(NamingKind::kInstrument), CFileNaming(NamingKind::kHeader)} {
    setWindowTitle(QStringLiteral("Output File Naming"));

    m_slot = new QComboBox(this);
    m_slot->setObjectName(QStringLiteral("namingFor"));
    m_slot->addItems(
        {QStringLiteral("Instrument Conversion"), QStringLiteral("Header Conversion")});
    auto* slot_label = new QLabel(QStringLiteral("&File Naming for:"), this);
    slot_label->setBuddy(m_slot);

    auto* convention = new QGroupBox(QStringLiteral("File Naming Convention"), this);
    m_user_defined = new QRadioButton(QStringLiteral("&User Defined"), convention);
    m_user_defined->setObjectName(QStringLiteral("userDefined"));
    m_file_titles =
        new QRadioButton(QStringLiteral("&Log [-Instrument] File Title(s)"), convention);
    m_file_titles->setObjectName(QStringLiteral("fileTitles"));
    m_auto_increment = new QRadioButton(QStringLiteral("&Auto Increment"), convention);
    m_auto_increment->setObjectName(QStringLiteral("autoIncrement"));
    m_mode = new QButtonGroup(this);
    m_mode->addButton(m_user_defined, kNamingUserDefined);
    m_mode->addButton(m_file_titles, kNamingFileTitles);
    m_mode->addButton(m_auto_increment, kNamingAutoIncrement);

    m_base = new QLineEdit(convention);
    m_base->setObjectName(QStringLiteral("base"));
    m_increment = new CSpecialEdit(convention);
    m_increment->setObjectName(QStringLiteral("increment"));
    m_type = new QComboBox(convention);
    m_type->setObjectName(QStringLiteral("incrementType"));
    m_type->addItems({QStringLiteral("Alphabetically"), QStringLiteral("Numerically")});
    m_extension = new QLineEdit(this);
    m_extension->setObjectName(QStringLiteral("extension"));

    auto* increment_row = new QFormLayout;
    increment_row->addRow(QStringLiteral("&Base:"), m_base);
    auto* increment_line = new QHBoxLayout;
    increment_line->addWidget(m_increment);
    increment_line->addWidget(m_type);
    // The label of a row holding two controls leads to the first.
    auto* increment_label = new QLabel(QStringLiteral("&Increment:"), convention);
    increment_label->setBuddy(m_increment);
    increment_row->addRow(increment_label, increment_line);
    auto* convention_layout = new QVBoxLayout(convention);
    convention_layout->addWidget(m_user_defined);
    convention_layout->addWidget(m_file_titles);
    convention_layout->addWidget(m_auto_increment);
    convention_layout->addLayout(increment_row);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CFileNamingDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CFileNamingDlg::reject);
    AddDialogHelp(*this, QStringLiteral("Output File Naming"));
    m_slot->setWhatsThis(QStringLiteral(
        "Instrument conversions and header conversions each have their own naming; this "
        "chooses the one shown."));
    m_user_defined->setWhatsThis(QStringLiteral(
        "The output name is typed in the Next box, or taken from the Output Files list."));
    m_file_titles->setWhatsThis(QStringLiteral(
        "The output is named after the log file and the instrument file, as cast12-inst01.dat "
        "(the log file alone in a header conversion). Several selected files convert every "
        "pair."));
    m_auto_increment->setWhatsThis(QStringLiteral(
        "The output is named from the base and an increment that advances after each "
        "conversion, as stn007.txt, stn008.txt. Several selected files convert every pair."));
    m_base->setWhatsThis(QStringLiteral("The text every Auto Increment name begins with."));
    m_increment->setWhatsThis(QStringLiteral(
        "The next increment: one letter A to Z (Z stays Z), or a number 0 to 999 written with "
        "three digits (999 stays 999)."));
    m_type->setWhatsThis(QStringLiteral(
        "Whether the increment counts through the letters or the numbers."));
    m_extension->setWhatsThis(QStringLiteral(
        "Added to the output name after a dot; a typed name keeps its own extension. Blank "
        "adds none."));

    auto* top = new QHBoxLayout;
    top->addWidget(slot_label);
    top->addWidget(m_slot, 1);
    auto* extension_row = new QFormLayout;
    extension_row->addRow(QStringLiteral("File Name &Extension:"), m_extension);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(convention);
    layout->addLayout(extension_row);
    layout->addWidget(buttons);

    connect(m_slot, qOverload<int>(&QComboBox::activated), this, &CFileNamingDlg::OnSlotChosen);
    connect(m_type, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &CFileNamingDlg::OnTypeChosen);
    connect(m_mode, &QButtonGroup::idToggled, this, &CFileNamingDlg::UpdateEnabling);
    ShowSlot(kInstrumentSlot);
}

void CFileNamingDlg::SetNaming(int slot, const CFileNaming& naming) {
    const int i = slot == kHeaderSlot ? 1 : 0;
    m_namings[static_cast<std::size_t>(i)].Settings() = naming.Settings();
    if (i == m_shown) ShowSlot(i);
}

void CFileNamingDlg::SetShownSlot(int slot) {
    ShowSlot(slot == kHeaderSlot ? kHeaderSlot : kInstrumentSlot);
}

void CFileNamingDlg::ShowSlot(int slot) {
    m_shown = slot;
    const CNamingSettings& s = m_namings[static_cast<std::size_t>(slot)].Settings();
    const QSignalBlocker slot_blocker(m_slot);
    m_slot->setCurrentIndex(slot);
    // A stored mode or type out of range shows as no choice.
    m_mode->setExclusive(false);
    for (QAbstractButton* button : m_mode->buttons())
        button->setChecked(m_mode->id(button) == s.file_mode);
    m_mode->setExclusive(true);
    m_base->setText(QString::fromStdString(s.file_base));
    const QSignalBlocker type_blocker(m_type);
    m_type->setCurrentIndex(s.increment_type == kIncrementAlphabetic ||
                                    s.increment_type == kIncrementNumeric
                                ? s.increment_type
                                : -1);
    ApplyIncrementFilter();
    m_increment->setText(QString::fromStdString(s.file_increment));
    m_extension->setText(QString::fromStdString(s.file_extension));
    UpdateEnabling();
}

void CFileNamingDlg::ApplyIncrementFilter() {
    CSpecialEdit::Flags flags;
    if (m_type->currentIndex() == kIncrementNumeric) {
        flags.digits_only = true;
    } else {
        flags.letters_only = true;
        flags.upper_case = true;
    }
    m_increment->SetFlags(flags);
}

void CFileNamingDlg::OnTypeChosen(int type) {
    ApplyIncrementFilter();
    m_increment->setText(type == kIncrementNumeric ? QStringLiteral("0") : QStringLiteral("A"));
}

void CFileNamingDlg::UpdateEnabling() {
    const bool automatic = m_auto_increment->isChecked();
    m_base->setEnabled(automatic);
    m_increment->setEnabled(automatic);
    m_type->setEnabled(automatic);
}

bool CFileNamingDlg::StoreShown() {
    CFileNaming& naming = m_namings[static_cast<std::size_t>(m_shown)];
    const ENamingError error = naming.Store(
        m_mode->checkedId(), m_base->text().toStdString(), m_increment->text().toStdString(),
        m_extension->text().toStdString(), m_type->currentIndex());
    QWidget* focus = nullptr;
    switch (error) {
        case ENamingError::kNone:
            // Show what was stored: a replaced increment becomes visible.
            ShowSlot(m_shown);
            return true;
        case ENamingError::kNoMode:
            focus = m_user_defined;
            break;
        case ENamingError::kIncrementRange:
        case ENamingError::kIncrementLetter:
            focus = m_increment;
            break;
        case ENamingError::kIncrementType:
            focus = m_type;
            break;
    }
    ShowMessage(NamingErrorText(error));
    focus->setFocus();
    return false;
}

void CFileNamingDlg::OnSlotChosen(int slot) {
    if (slot == m_shown) return;
    if (!StoreShown()) {
        const QSignalBlocker blocker(m_slot);
        m_slot->setCurrentIndex(m_shown);
        return;
    }
    ShowSlot(slot);
}

void CFileNamingDlg::accept() {
    if (StoreShown()) QDialog::accept();
}

void CFileNamingDlg::ShowMessage(const std::string& text) {
    ShowExclamation(this, text);
}

}  // namespace dravik

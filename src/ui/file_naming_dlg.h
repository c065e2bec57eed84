// CFileNamingDlg ("Output File Naming"): the naming conventions of both
// conversion kinds, one shown at a time. Leaving a convention (by switching
// the "File Naming for" choice or by OK) stores it first, and a convention
// that cannot be stored keeps the dialog on it.
#pragma once

#include <QDialog>
#include <array>

#include "frontend/file_naming.h"

class QButtonGroup;
class QComboBox;
class QLineEdit;
class QRadioButton;

namespace dravik {

class CSpecialEdit;

class CFileNamingDlg : public QDialog {
    Q_OBJECT
  public:
    enum { kInstrumentSlot = 0, kHeaderSlot = 1 };

    explicit CFileNamingDlg(QWidget* parent = nullptr);

    // Loads the conventions; the shown one is put into the controls.
    void SetNaming(int slot, const CFileNaming& naming);
    const CFileNaming& Naming(int slot) const { return m_namings[slot == kHeaderSlot ? 1 : 0]; }
    void SetShownSlot(int slot);
    int ShownSlot() const noexcept { return m_shown; }

    void accept() override;

  protected:
    virtual void ShowMessage(const std::string& text);

  private:
    void ShowSlot(int slot);
    bool StoreShown();
    void OnSlotChosen(int slot);
    void OnTypeChosen(int type);
    void UpdateEnabling();
    void ApplyIncrementFilter();

    std::array<CFileNaming, 2> m_namings;
    int m_shown = kInstrumentSlot;
    QComboBox* m_slot = nullptr;
    QButtonGroup* m_mode = nullptr;
    QRadioButton* m_user_defined = nullptr;
    QRadioButton* m_file_titles = nullptr;
    QRadioButton* m_auto_increment = nullptr;
    QLineEdit* m_base = nullptr;
    CSpecialEdit* m_increment = nullptr;
    QComboBox* m_type = nullptr;
    QLineEdit* m_extension = nullptr;
};

}  // namespace dravik

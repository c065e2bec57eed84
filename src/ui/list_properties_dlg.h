// CListPropertiesDlg ("File List Properties"): the working directory, filter
// and subfolder choice of the three file lists, where the instrument files
// come from, and one sort order for all three lists.
#pragma once

#include <QDialog>
#include <array>

#include "list_properties.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;

namespace dravik {

class CListPropertiesDlg : public QDialog {
    Q_OBJECT
  public:
    // Index of each list's properties.
    enum { kLog = 0, kInstrument = 1, kOutput = 2 };

    explicit CListPropertiesDlg(QWidget* parent = nullptr);

    // Shows the properties of one list; the sort group shows the Output
    // list's sort settings.
    void SetProperties(int index, const CListProperties& properties);
    // After OK: the directory (ending in "/"), filter, subfolder choice and
    // the common sort settings, and for the instrument list where its files
    // come from. The selection is left as it was.
    void GetProperties(int index, CListProperties& properties) const;

    // Validates in a fixed order, stopping at the first fault with its
    // message and the focus on the control concerned.
    void accept() override;

  protected:
    virtual void ShowMessage(const std::string& text);

  private:
    struct ListControls {
        QLineEdit* directory = nullptr;
        QLineEdit* filter = nullptr;
        QCheckBox* recursive = nullptr;
    };

    QWidget* MakeListGroup(int index, const QString& title, const QString& browse_title);
    void UpdatePackageChoice();
    bool Fail(QWidget* control, const char* text);

    std::array<ListControls, 3> m_lists;
    std::array<CFileListSettings, 3> m_values;
    QComboBox* m_sort_by = nullptr;
    QRadioButton* m_ascending = nullptr;
    QRadioButton* m_descending = nullptr;
    QButtonGroup* m_order = nullptr;
    QRadioButton* m_from_package = nullptr;
    QRadioButton* m_from_files = nullptr;
    QLineEdit* m_package = nullptr;
    QWidget* m_package_browse = nullptr;
    std::array<QWidget*, 3> m_browse{};
};

}  // namespace dravik

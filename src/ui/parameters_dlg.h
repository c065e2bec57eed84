// CParametersDlg ("Conversion Parameters"): every stored field of the
// conversion parameter set. In header mode only the delimiter, the extra
// heading information and the field width apply, so only they can change.
#pragma once

#include <QDialog>

#include "settings/parameters.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;
class QSpinBox;

namespace dravik {

class CSpecialEdit;

class CParametersDlg : public QDialog {
    Q_OBJECT
  public:
    CParametersDlg(const CDravikParameters& parameters, bool header_mode,
                   QWidget* parent = nullptr);

    // After OK: the dialog's values over `parameters` (the command-line-only
    // fields are left alone).
    void GetParameters(CDravikParameters& parameters) const;

    // Validates in a fixed order, stopping at the first fault with its
    // message and the focus on the control concerned.
    void accept() override;

    // The exponent of the File Buffer spin for a buffer size: the smallest k
    // from 10 to 16 with 2^k >= `buffer` (16 for anything larger).
    static int BufferExponent(int buffer);

  protected:
    virtual void ShowMessage(const std::string& text);

  private:
    void SetHelpTexts();
    void Load(const CDravikParameters& p);
    void UpdateEnabling();
    void UpdateDelimiterChoice();
    bool Fail(QWidget* control, const char* text);

    bool m_header_mode;
    CDravikParameters m_values;

    QComboBox* m_output_format = nullptr;
    QRadioButton* m_select = nullptr;
    QRadioButton* m_specify = nullptr;
    QComboBox* m_delimiter_combo = nullptr;
    QLineEdit* m_delimiter_edit = nullptr;
    QCheckBox* m_show_extra = nullptr;
    QCheckBox* m_apply_fit = nullptr;
    QCheckBox* m_immersed = nullptr;
    QCheckBox* m_time_tags = nullptr;
    QCheckBox* m_time_tags_formatted = nullptr;
    QComboBox* m_double_type = nullptr;
    CSpecialEdit* m_precision = nullptr;
    CSpecialEdit* m_width = nullptr;
    QCheckBox* m_suppress_strings = nullptr;
    QCheckBox* m_hex_format = nullptr;
    QCheckBox* m_frame_counter = nullptr;
    QCheckBox* m_check_sum = nullptr;
    CSpecialEdit* m_limit = nullptr;
    CSpecialEdit* m_depth = nullptr;
    QSpinBox* m_buffer = nullptr;
};

}  // namespace dravik

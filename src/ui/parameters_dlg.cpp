#include "parameters_dlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <charconv>

#include "exclamation_box.h"
#include "help_window.h"
#include "settings/output_format.h"
#include "special_edit.h"

namespace dravik {

namespace {

constexpr int kMinExponent = 10;  // 1024 bytes
constexpr int kMaxExponent = 16;  // 65536 bytes
constexpr int kMaxEntry = 32767;
constexpr int kMaxDelimiter = 255;

// A spin box that counts exponents and shows the power of two they stand for.
// Its text cannot be typed into: the arrows choose.
class CPowerOfTwoSpin : public QSpinBox {
  public:
    explicit CPowerOfTwoSpin(QWidget* parent) : QSpinBox(parent) {
        setRange(kMinExponent, kMaxExponent);
        lineEdit()->setReadOnly(true);
        QPalette white = palette();
        white.setColor(QPalette::Base, Qt::white);
        setPalette(white);
    }

  protected:
    QString textFromValue(int value) const override { return QString::number(1 << value); }
    int valueFromText(const QString& text) const override {
        const int bytes = text.toInt();
        for (int k = kMinExponent; k <= kMaxExponent; ++k) {
            if ((1 << k) >= bytes) return k;
        }
        return kMaxExponent;
    }
    QValidator::State validate(QString&, int&) const override { return QValidator::Acceptable; }
};

CSpecialEdit* NumberEdit(QWidget* parent, const char* name) {
    auto* edit = new CSpecialEdit(parent);
    CSpecialEdit::Flags digits;
    digits.digits_only = true;
    edit->SetFlags(digits);
    edit->setObjectName(QString::fromLatin1(name));
    return edit;
}

QCheckBox* Check(QWidget* parent, const char* text, const char* name) {
    auto* box = new QCheckBox(QString::fromUtf8(text), parent);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

// A value shown only above `shown_above`, blank otherwise.
QString NumberText(int value, int shown_above) {
    return value > shown_above ? QString::number(value) : QString();
}

// Blank gives -1; otherwise a whole number 1 to 32767, or nothing.
std::optional<int> EntryValue(const QString& text) {
    if (text.isEmpty()) return -1;
    const std::string digits = text.toStdString();
    int value = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || end != digits.data() + digits.size() || value < 1 ||
        value > kMaxEntry) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

int CParametersDlg::BufferExponent(int buffer) {
    for (int k = kMinExponent; k < kMaxExponent; ++k) {
        if ((1 << k) >= buffer) return k;
    }
    return kMaxExponent;
}

CParametersDlg::CParametersDlg(const CDravikParameters& parameters, bool header_mode,
                               QWidget* parent)
    : QDialog(parent), m_header_mode(header_mode), m_values(parameters) {
    setWindowTitle(QStringLiteral("Conversion Parameters"));

    // Delimiter
    auto* delimiter_group = new QGroupBox(QStringLiteral("Output field delimiter"), this);
    m_select = new QRadioButton(QStringLiteral("Selec&t:"), delimiter_group);
    m_select->setObjectName(QStringLiteral("selectDelimiter"));
    m_specify = new QRadioButton(QStringLiteral("Specif&y:"), delimiter_group);
    m_specify->setObjectName(QStringLiteral("specifyDelimiter"));
    m_delimiter_combo = new QComboBox(delimiter_group);
    m_delimiter_combo->setObjectName(QStringLiteral("delimiterCombo"));
    m_delimiter_combo->addItems({QStringLiteral("TAB"), QStringLiteral("SPACE")});
    m_delimiter_edit = new QLineEdit(delimiter_group);
    m_delimiter_edit->setObjectName(QStringLiteral("delimiterEdit"));
    m_delimiter_edit->setMaxLength(kMaxDelimiter);
    auto* delimiter_choice = new QButtonGroup(this);
    delimiter_choice->addButton(m_select);
    delimiter_choice->addButton(m_specify);
    auto* delimiter_layout = new QGridLayout(delimiter_group);
    delimiter_layout->addWidget(m_select, 0, 0);
    delimiter_layout->addWidget(m_delimiter_combo, 0, 1);
    delimiter_layout->addWidget(m_specify, 1, 0);
    delimiter_layout->addWidget(m_delimiter_edit, 1, 1);

    // Output
    auto* output_group = new QGroupBox(QStringLiteral("Output"), this);
    // In the order of the formats' stored numbers.
    m_output_format = new QComboBox(output_group);
    m_output_format->setObjectName(QStringLiteral("outputFormat"));
    m_output_format->addItems({QStringLiteral("Text table"), QStringLiteral("CSV"),
                               QStringLiteral("NetCDF")});
    m_show_extra = Check(output_group, "&Extra output heading information", "showExtra");
    m_apply_fit = Check(output_group, "&Convert to physical values", "applyFit");
    m_immersed = Check(output_group, "&Apply immersion coefficients", "immersed");
    m_time_tags = Check(output_group, "&Process Time Tags", "timeTags");
    m_time_tags_formatted = Check(output_group, "&Format Time Tags", "timeTagsFormatted");
    m_double_type = new QComboBox(output_group);
    m_double_type->setObjectName(QStringLiteral("doubleType"));
    m_double_type->addItems(
        {QStringLiteral("Decimal"), QStringLiteral("Exponential"), QStringLiteral("Best Fit")});
    m_precision = NumberEdit(output_group, "precision");
    m_width = NumberEdit(output_group, "width");
    m_suppress_strings =
        Check(output_group, "&Suppress non-numerical output values", "suppressStrings");
    m_hex_format = Check(output_group, "He&xadecimal output values", "hexFormat");
    auto* output_layout = new QGridLayout(output_group);
    int row = 0;
    auto* format_label = new QLabel(QStringLiteral("Output file for&mat:"), output_group);
    format_label->setBuddy(m_output_format);
    output_layout->addWidget(format_label, row, 0);
    output_layout->addWidget(m_output_format, row++, 1);
    for (QCheckBox* box :
         {m_show_extra, m_apply_fit, m_immersed, m_time_tags, m_time_tags_formatted}) {
        output_layout->addWidget(box, row++, 0, 1, 2);
    }
    auto add_labelled = [&](const char* text, QWidget* control) {
        auto* label = new QLabel(QString::fromUtf8(text), output_group);
        label->setBuddy(control);
        output_layout->addWidget(label, row, 0);
        output_layout->addWidget(control, row++, 1);
    };
    add_labelled("Floating point con&version type:", m_double_type);
    add_labelled("Floating point precisio&n:", m_precision);
    add_labelled("Output field &width:", m_width);
    output_layout->addWidget(m_suppress_strings, row++, 0, 1, 2);
    output_layout->addWidget(m_hex_format, row++, 0, 1, 2);

    // Error checking
    auto* checking_group = new QGroupBox(QStringLiteral("Frame error checking"), this);
    m_frame_counter = Check(checking_group, "F&rame Counter (if available)", "frameCounter");
    m_check_sum = Check(checking_group, "Chec&k Sum (if available)", "checkSum");
    auto* checking_layout = new QVBoxLayout(checking_group);
    checking_layout->addWidget(m_frame_counter);
    checking_layout->addWidget(m_check_sum);

    // Processing
    auto* processing_group = new QGroupBox(QStringLiteral("Processing"), this);
    m_limit = NumberEdit(processing_group, "limit");
    m_depth = NumberEdit(processing_group, "depth");
    m_buffer = new CPowerOfTwoSpin(processing_group);
    m_buffer->setObjectName(QStringLiteral("buffer"));
    auto* processing_layout = new QGridLayout(processing_group);
    auto add_row = [&](int r, const char* text, QWidget* control, const char* unit) {
        auto* label = new QLabel(QString::fromUtf8(text), processing_group);
        label->setBuddy(control);
        processing_layout->addWidget(label, r, 0);
        processing_layout->addWidget(control, r, 1);
        processing_layout->addWidget(new QLabel(QString::fromUtf8(unit), processing_group), r, 2);
    };
    add_row(0, "Conversion &Limit:", m_limit, "frame(s)");
    add_row(1, "S&ubsampling Rate:", m_depth, "frame(s)");
    add_row(2, "File &Buffer:", m_buffer, "bytes");

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CParametersDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CParametersDlg::reject);
    AddDialogHelp(*this, QStringLiteral("Conversion Parameters"), buttons);
    SetHelpTexts();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(delimiter_group);
    layout->addWidget(output_group);
    layout->addWidget(checking_group);
    layout->addWidget(processing_group);
    layout->addWidget(buttons);

    Load(parameters);
    for (QCheckBox* box : {m_apply_fit, m_suppress_strings, m_time_tags}) {
        connect(box, &QCheckBox::toggled, this, &CParametersDlg::UpdateEnabling);
    }
    connect(m_output_format, &QComboBox::currentIndexChanged, this,
            &CParametersDlg::UpdateEnabling);
    connect(m_select, &QRadioButton::toggled, this, [this](bool on) {
        UpdateDelimiterChoice();
        if (on) m_delimiter_combo->setFocus();
    });
    connect(m_specify, &QRadioButton::toggled, this, [this](bool on) {
        UpdateDelimiterChoice();
        if (on) m_delimiter_edit->setFocus();
    });
}

void CParametersDlg::SetHelpTexts() {
    const QString delimiter = QStringLiteral(
        "The text written between the fields of a row: a TAB or a SPACE chosen from the list, "
        "or any text of up to 255 characters typed in the box.");
    for (QWidget* w : std::initializer_list<QWidget*>{m_select, m_specify, m_delimiter_combo,
                                                      m_delimiter_edit}) {
        w->setWhatsThis(delimiter);
    }
    m_output_format->setWhatsThis(QStringLiteral(
        "The kind of output file. Text table: the delimited text shaped by the options below. "
        "CSV: a table for spreadsheets and scripts, with every value in full precision, times "
        "in ISO 8601 UTC and angles in decimal degrees. NetCDF: a self-describing file "
        "following the CF conventions, for xarray, ODV, Panoply or MATLAB; not for header "
        "conversions. CSV and NetCDF ignore the delimiter, width, precision, number type, "
        "hexadecimal, suppress, extra heading and time tag format choices."));
    m_show_extra->setWhatsThis(QStringLiteral(
        "Starts the output with a block of heading information and a units line, and adds a "
        "first column with each frame's index."));
    m_apply_fit->setWhatsThis(QStringLiteral(
        "Converts the raw sensor values to physical values with the calibration fits of the "
        "instrument file. Unticked, the raw values are written."));
    m_immersed->setWhatsThis(QStringLiteral(
        "Uses the immersion coefficients of the calibration, for sensors that were under water. "
        "Only with physical values."));
    m_time_tags->setWhatsThis(QStringLiteral(
        "Writes the time tag the logger stored after each frame as two last columns: the date "
        "and the time of day."));
    m_time_tags_formatted->setWhatsThis(QStringLiteral(
        "Writes the time tags as 2004-123 and 12:34:56.789 rather than as the logger's numbers "
        "and decimal hours."));
    m_double_type->setWhatsThis(QStringLiteral(
        "How floating-point values are written: Decimal (fixed point), Exponential, or Best Fit "
        "(either, as suits each value)."));
    m_precision->setWhatsThis(QStringLiteral(
        "The digits of floating-point values, 1 to 32767. Blank uses the default precision."));
    m_width->setWhatsThis(QStringLiteral(
        "The least width of every output field, 1 to 32767 characters; shorter values are "
        "padded. Blank writes each value as long as it is."));
    m_suppress_strings->setWhatsThis(QStringLiteral(
        "Leaves the fields of values that are not numbers (text sensors) blank."));
    m_hex_format->setWhatsThis(QStringLiteral(
        "Writes raw integer values in hexadecimal. Not with physical values or suppressed "
        "non-numerical values."));
    m_frame_counter->setWhatsThis(QStringLiteral(
        "Counts the frames whose frame counter does not follow the one before, when the "
        "instrument has a frame counter sensor."));
    m_check_sum->setWhatsThis(QStringLiteral(
        "Counts the frames whose check sum does not match their bytes, when the instrument has a "
        "check sum sensor."));
    m_limit->setWhatsThis(QStringLiteral(
        "The most frames converted, 1 to 32767. Blank converts the whole log file."));
    m_depth->setWhatsThis(QStringLiteral(
        "Converts one frame in every N, the last of each group of N (1 to 32767). Blank "
        "converts every frame."));
    m_buffer->setWhatsThis(QStringLiteral(
        "The bytes read from the log file at a time, 1024 to 65536; the arrows choose. A log "
        "that ends with at least this many bytes belonging to no frame reports a file buffer "
        "overrun."));
}

void CParametersDlg::Load(const CDravikParameters& p) {
    m_output_format->setCurrentIndex(OutputFormatOf(p.output_format));
    if (p.delimiter.empty() || p.delimiter == "\t") {
        m_select->setChecked(true);
        m_delimiter_combo->setCurrentIndex(0);
    } else if (p.delimiter == " ") {
        m_select->setChecked(true);
        m_delimiter_combo->setCurrentIndex(1);
    } else {
        m_specify->setChecked(true);
        m_delimiter_combo->setCurrentIndex(0);
        // A longer delimiter given on a command line and stored since is
        // shown whole: cutting it here would change it behind the user's back.
        const QString delimiter = QString::fromStdString(p.delimiter);
        m_delimiter_edit->setMaxLength(std::max<int>(kMaxDelimiter, int(delimiter.size())));
        m_delimiter_edit->setText(delimiter);
    }
    m_show_extra->setChecked(p.show_extra != 0);
    m_apply_fit->setChecked(p.format.apply_fit != 0);
    m_immersed->setChecked(p.immersed != 0);
    m_time_tags->setChecked(p.time_tags != 0);
    m_time_tags_formatted->setChecked(p.time_tags_formatted != 0);
    m_double_type->setCurrentIndex(
        p.format.double_type >= 0 && p.format.double_type <= 2 ? p.format.double_type : -1);
    m_precision->setText(NumberText(p.format.precision, 0));
    m_width->setText(NumberText(p.format.width, 0));
    m_suppress_strings->setChecked(p.suppress_strings != 0);
    m_hex_format->setChecked(p.format.hex_format != 0);
    m_frame_counter->setChecked(p.frame_counter_checking != 0);
    m_check_sum->setChecked(p.check_sum_checking != 0);
    m_limit->setText(NumberText(p.process_limit, 0));
    m_depth->setText(NumberText(p.process_depth, 1));
    m_buffer->setValue(BufferExponent(p.buffer));
    UpdateDelimiterChoice();
    UpdateEnabling();
}

void CParametersDlg::UpdateDelimiterChoice() {
    const bool text = m_output_format->currentIndex() == kOutputText;
    m_select->setEnabled(text);
    m_specify->setEnabled(text);
    m_delimiter_combo->setEnabled(text && m_select->isChecked());
    m_delimiter_edit->setEnabled(text && m_specify->isChecked());
}

void CParametersDlg::UpdateEnabling() {
    // In header mode only the delimiter, the extra heading and the width
    // take part in the output.
    const bool instrument = !m_header_mode;
    for (QWidget* w : std::initializer_list<QWidget*>{
             m_apply_fit, m_time_tags, m_double_type, m_precision, m_suppress_strings,
             m_frame_counter, m_check_sum, m_limit, m_depth, m_buffer}) {
        w->setEnabled(instrument);
    }
    const bool fit = m_apply_fit->isChecked();
    const bool suppress = m_suppress_strings->isChecked();
    m_immersed->setEnabled(instrument && fit);
    m_hex_format->setEnabled(instrument && !fit && !suppress);
    m_time_tags_formatted->setEnabled(instrument && m_time_tags->isChecked() && !suppress);
    // CSV and NetCDF carry every value in full precision: what shapes the
    // text table does not apply to them.
    if (m_output_format->currentIndex() != kOutputText) {
        for (QWidget* w : std::initializer_list<QWidget*>{
                 m_show_extra, m_time_tags_formatted, m_double_type, m_precision, m_width,
                 m_suppress_strings, m_hex_format}) {
            w->setEnabled(false);
        }
    } else {
        m_show_extra->setEnabled(true);
        m_width->setEnabled(true);
    }
    UpdateDelimiterChoice();
}

bool CParametersDlg::Fail(QWidget* control, const char* text) {
    ShowMessage(text);
    control->setFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(control)) edit->selectAll();
    return false;
}

void CParametersDlg::accept() {
    if (m_select->isChecked()) {
        if (m_delimiter_combo->currentText().isEmpty()) {
            Fail(m_delimiter_combo, "Please select an output field delimiter.");
            return;
        }
    } else if (m_delimiter_edit->text().isEmpty()) {
        Fail(m_delimiter_edit, "Please specify an output field delimiter.");
        return;
    }
    int values[4];
    CSpecialEdit* edits[4] = {m_precision, m_width, m_limit, m_depth};
    for (int i = 0; i < 4; ++i) {
        const std::optional<int> value = EntryValue(edits[i]->text());
        if (!value) {
            Fail(edits[i], "Please enter an integer between 1 and 32767.");
            return;
        }
        values[i] = *value;
    }
    const int buffer = 1 << m_buffer->value();
    if (buffer < (1 << kMinExponent) || buffer > (1 << kMaxExponent)) {
        Fail(m_buffer, "Please enter an integer between 1024 and 65536.");
        return;
    }

    CDravikParameters& p = m_values;
    p.output_format = m_output_format->currentIndex();
    if (m_specify->isChecked()) {
        p.delimiter = m_delimiter_edit->text().toStdString();
    } else {
        // (Assigned as characters: g++ 12 warns falsely about short literals.)
        p.delimiter.assign(1, m_delimiter_combo->currentIndex() == 1 ? ' ' : '\t');
    }
    p.show_extra = m_show_extra->isChecked() ? 1 : 0;
    p.format.apply_fit = m_apply_fit->isChecked() ? 1 : 0;
    p.immersed = m_immersed->isChecked() ? 1 : 0;
    p.time_tags = m_time_tags->isChecked() ? 1 : 0;
    p.time_tags_formatted = m_time_tags_formatted->isChecked() ? 1 : 0;
    p.format.double_type = m_double_type->currentIndex();
    p.format.precision = values[0];
    p.format.width = values[1];
    p.process_limit = values[2];
    p.process_depth = values[3];
    p.suppress_strings = m_suppress_strings->isChecked() ? 1 : 0;
    p.format.hex_format = m_hex_format->isChecked() ? 1 : 0;
    p.frame_counter_checking = m_frame_counter->isChecked() ? 1 : 0;
    p.check_sum_checking = m_check_sum->isChecked() ? 1 : 0;
    p.buffer = buffer;
    QDialog::accept();
}

void CParametersDlg::GetParameters(CDravikParameters& parameters) const {
    const CDravikParameters& v = m_values;
    parameters.delimiter = v.delimiter;
    parameters.immersed = v.immersed;
    parameters.time_tags = v.time_tags;
    parameters.time_tags_formatted = v.time_tags_formatted;
    parameters.suppress_strings = v.suppress_strings;
    parameters.show_extra = v.show_extra;
    parameters.check_sum_checking = v.check_sum_checking;
    parameters.frame_counter_checking = v.frame_counter_checking;
    parameters.buffer = v.buffer;
    parameters.process_limit = v.process_limit;
    parameters.process_depth = v.process_depth;
    parameters.format = v.format;
    parameters.output_format = v.output_format;
}

void CParametersDlg::ShowMessage(const std::string& text) {
    ShowExclamation(this, text);
}

}  // namespace dravik

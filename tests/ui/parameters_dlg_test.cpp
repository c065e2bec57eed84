// The Conversion Parameters dialog: what it opens with, which controls can be
// changed, and the order in which OK refuses bad entries.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QtTest>

#include "parameters_dlg.h"
#include "ui_test_support.h"

using namespace dravik;
using dravik::testing::Control;
using dravik::testing::CRecording;

class ParametersDlgTest : public QObject {
    Q_OBJECT

  private slots:
    void opensWithTheStoredValues() {
        CDravikParameters p;
        p.buffer = 5000;
        p.process_depth = 1;
        p.process_limit = 250;
        p.format.precision = 0;
        p.format.width = 12;
        p.delimiter = " ";
        CParametersDlg dlg(p, false);
        auto* buffer = Control<QSpinBox>(dlg, "buffer");
        QCOMPARE(buffer->value(), 13);
        QCOMPARE(buffer->text(), QStringLiteral("8192"));
        QCOMPARE(Control<QLineEdit>(dlg, "depth")->text(), QString());
        QCOMPARE(Control<QLineEdit>(dlg, "limit")->text(), QStringLiteral("250"));
        QCOMPARE(Control<QLineEdit>(dlg, "precision")->text(), QString());
        QCOMPARE(Control<QLineEdit>(dlg, "width")->text(), QStringLiteral("12"));
        QVERIFY(Control<QRadioButton>(dlg, "selectDelimiter")->isChecked());
        QCOMPARE(Control<QComboBox>(dlg, "delimiterCombo")->currentText(), QStringLiteral("SPACE"));
        QVERIFY(!Control(dlg, "delimiterEdit")->isEnabled());
        p.delimiter = std::string(300, ';');
        CParametersDlg long_delimiter(p, false);
        QCOMPARE(Control<QLineEdit>(long_delimiter, "delimiterEdit")->text().size(), 300);

        // The spin's exponent stands for a power of two.
        buffer->setValue(11);
        QCOMPARE(buffer->text(), QStringLiteral("2048"));
        QCOMPARE(CParametersDlg::BufferExponent(1024), 10);
        QCOMPARE(CParametersDlg::BufferExponent(1025), 11);
        QCOMPARE(CParametersDlg::BufferExponent(100000), 16);
        QCOMPARE(CParametersDlg::BufferExponent(-1), 10);
    }

    void enablingFollowsTheGoverningBoxesAndHeaderMode() {
        CDravikParameters p;
        p.delimiter = ";";
        CParametersDlg header(p, true);
        QWidgetList enabled;
        for (QWidget* w : header.findChildren<QWidget*>()) {
            if (!w->objectName().isEmpty() && w->isEnabled()) enabled << w;
        }
        // Only the delimiter, the extra heading and the width stay open
        // (and the help).
        QStringList names;
        for (QWidget* w : enabled) names << w->objectName();
        names.removeAll(QStringLiteral("qt_spinbox_lineedit"));
        names.sort();
        QCOMPARE(names, (QStringList{"delimiterEdit", "help", "selectDelimiter", "showExtra",
                                     "specifyDelimiter", "width"}));

        CParametersDlg dlg(p, false);
        auto* fit = Control<QCheckBox>(dlg, "applyFit");
        auto* suppress = Control<QCheckBox>(dlg, "suppressStrings");
        auto* tags = Control<QCheckBox>(dlg, "timeTags");
        QWidget* immersed = Control(dlg, "immersed");
        QWidget* hex = Control(dlg, "hexFormat");
        QWidget* formatted = Control(dlg, "timeTagsFormatted");
        QVERIFY(!immersed->isEnabled() && hex->isEnabled() && !formatted->isEnabled());
        fit->setChecked(true);
        QVERIFY(immersed->isEnabled() && !hex->isEnabled());
        fit->setChecked(false);
        tags->setChecked(true);
        QVERIFY(formatted->isEnabled() && hex->isEnabled());
        suppress->setChecked(true);
        QVERIFY(!formatted->isEnabled() && !hex->isEnabled());
    }

    void okRefusesInOrderAndFocusesTheControl() {
        CDravikParameters p;
        p.delimiter = ",";
        CRecording<CParametersDlg> dlg(p, false);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        auto* edit = Control<QLineEdit>(dlg, "delimiterEdit");
        auto* precision = Control<QLineEdit>(dlg, "precision");
        auto* limit = Control<QLineEdit>(dlg, "limit");
        edit->clear();
        precision->setText(QStringLiteral("0"));
        limit->setText(QStringLiteral("32768"));
        const QString range = QStringLiteral("Please enter an integer between 1 and 32767.");

        dlg.accept();
        QCOMPARE(dlg.messages.last(), QStringLiteral("Please specify an output field delimiter."));
        QCOMPARE(dlg.focusWidget(), edit);
        Control<QRadioButton>(dlg, "selectDelimiter")->setChecked(true);
        dlg.accept();
        QCOMPARE(dlg.messages.last(), range);
        QCOMPARE(dlg.focusWidget(), precision);
        precision->clear();
        dlg.accept();
        QCOMPARE(dlg.messages.last(), range);
        QCOMPARE(dlg.focusWidget(), limit);
        QCOMPARE(dlg.result(), int(QDialog::Rejected));

        // Digits are all the number boxes take.
        limit->clear();
        limit->setFocus();
        QTest::keyClicks(limit, "1a2-3");
        QCOMPARE(limit->text(), QStringLiteral("123"));
        Control<QSpinBox>(dlg, "buffer")->setValue(16);
        Control<QComboBox>(dlg, "delimiterCombo")->setCurrentIndex(0);
        dlg.accept();
        QCOMPARE(dlg.messages.size(), 3);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        CDravikParameters out;
        out.has_overwrite_option = 1;
        dlg.GetParameters(out);
        QCOMPARE(out.delimiter, std::string("\t"));
        QCOMPARE(out.format.precision, -1);
        QCOMPARE(out.process_limit, 123);
        QCOMPARE(out.process_depth, -1);
        QCOMPARE(out.buffer, 65536);
        QCOMPARE(out.has_overwrite_option, 1);  // command-line values are not the dialog's
    }
};

QTEST_MAIN(ParametersDlgTest)
#include "parameters_dlg_test.moc"

// The Output File Naming dialog: switching conventions stores the shown one
// first, the increment box filters by type, and each refusal has its message
// and focus.
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QtTest>

#include "file_naming_dlg.h"
#include "ui_test_support.h"

using namespace dravik;
using dravik::testing::Control;
using dravik::testing::CRecording;

namespace {

// Chooses an entry of a combo box as a person does.
void Choose(QComboBox* combo, int index) {
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

}  // namespace

class FileNamingDlgTest : public QObject {
    Q_OBJECT

  private slots:
    void switchingConventionsValidatesFirst() {
        CFileNaming instrument(NamingKind::kInstrument);
        instrument.Settings().file_mode = kNamingAutoIncrement;
        instrument.Settings().file_base = "stn";
        instrument.Settings().increment_type = kIncrementNumeric;
        instrument.Settings().file_increment = "7";
        CFileNaming header(NamingKind::kHeader);
        header.Settings().file_mode = kNamingFileTitles;
        header.Settings().file_extension = "hdr";

        CRecording<CFileNamingDlg> dlg;
        dlg.SetNaming(CFileNamingDlg::kInstrumentSlot, instrument);
        dlg.SetNaming(CFileNamingDlg::kHeaderSlot, header);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        auto* slot = Control<QComboBox>(dlg, "namingFor");
        auto* increment = Control<QLineEdit>(dlg, "increment");
        QCOMPARE(increment->text(), QStringLiteral("7"));
        QVERIFY(Control(dlg, "base")->isEnabled());

        increment->clear();
        Choose(slot, 1);
        QCOMPARE(dlg.messages, QStringList{"Please specify an increment value from 0 to 999."});
        QCOMPARE(dlg.focusWidget(), increment);
        QCOMPARE(slot->currentIndex(), 0);
        QCOMPARE(dlg.ShownSlot(), 0);

        increment->setText(QStringLiteral("012"));
        Choose(slot, 1);
        QCOMPARE(dlg.ShownSlot(), 1);
        QCOMPARE(dlg.Naming(0).Settings().file_increment, std::string("12"));
        QVERIFY(Control<QRadioButton>(dlg, "fileTitles")->isChecked());
        QCOMPARE(Control<QLineEdit>(dlg, "extension")->text(), QStringLiteral("hdr"));
        QVERIFY(!increment->isEnabled());

        // Outside Auto Increment a bad increment is replaced, not refused.
        increment->setText(QStringLiteral("AB"));
        dlg.accept();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.Naming(1).Settings().file_increment, std::string("A"));
        QCOMPARE(dlg.messages.size(), 1);
    }

    void incrementFollowsItsType() {
        CRecording<CFileNamingDlg> dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        Control<QRadioButton>(dlg, "autoIncrement")->setChecked(true);
        auto* increment = Control<QLineEdit>(dlg, "increment");
        auto* type = Control<QComboBox>(dlg, "incrementType");
        increment->clear();
        increment->setFocus();
        QTest::keyClicks(increment, "b1");
        QCOMPARE(increment->text(), QStringLiteral("B"));
        Choose(type, kIncrementNumeric);
        QCOMPARE(increment->text(), QStringLiteral("0"));
        increment->setFocus();
        QTest::keyClicks(increment, "a7");
        QCOMPARE(increment->text(), QStringLiteral("07"));
        Choose(type, kIncrementAlphabetic);
        QCOMPARE(increment->text(), QStringLiteral("A"));
        QTest::keyClicks(increment, "c");
        dlg.accept();
        QCOMPARE(dlg.messages, QStringList{"Please specify a single character increment value."});
        QCOMPARE(dlg.focusWidget(), increment);
        type->setCurrentIndex(-1);
        dlg.accept();
        QCOMPARE(dlg.messages.last(), QStringLiteral("Please specify an Increment type."));
        QCOMPARE(dlg.focusWidget(), type);
    }

    void aConventionNeedsAMode() {
        CFileNaming naming(NamingKind::kInstrument);
        naming.Settings().file_mode = 5;  // as a damaged settings file may hold
        CRecording<CFileNamingDlg> dlg;
        dlg.SetNaming(CFileNamingDlg::kInstrumentSlot, naming);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        dlg.accept();
        QCOMPARE(dlg.messages, QStringList{"Please specify a File Naming Convention."});
        QCOMPARE(dlg.focusWidget(), Control(dlg, "userDefined"));
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
    }
};

QTEST_MAIN(FileNamingDlgTest)
#include "file_naming_dlg_test.moc"

// The File List Properties dialog: the order in which OK refuses bad entries,
// and what the three lists get back.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

#include "list_properties_dlg.h"
#include "ui_test_support.h"

using namespace dravik;
using dravik::testing::Control;
using dravik::testing::CRecording;

class ListPropertiesDlgTest : public QObject {
    Q_OBJECT

  private slots:
    void okRefusesInOrderAndFocusesTheControl() {
        QTemporaryDir dir;
        const QString good = dir.path();  // typed without the trailing "/"
        CListProperties output(FileListKind::kOutput, "/");
        output.sort_type = 4;       // out of range: no choice shown
        output.sort_direction = 3;  // likewise
        CListProperties instrument(FileListKind::kInstrument, "/");
        instrument.use_working_directory = 0;
        instrument.instrument_package_file = "/data/deploy.zpk";
        CRecording<CListPropertiesDlg> dlg;
        dlg.SetProperties(CListPropertiesDlg::kInstrument, instrument);
        dlg.SetProperties(CListPropertiesDlg::kOutput, output);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QVERIFY(!Control(dlg, "instrumentDirectory")->isEnabled());
        QVERIFY(Control(dlg, "packageFile")->isEnabled());

        struct Step {
            const char* message;
            const char* focus;
            std::function<void()> mend;
        };
        auto* log_dir = Control<QLineEdit>(dlg, "logDirectory");
        auto* inst_dir = Control<QLineEdit>(dlg, "instrumentDirectory");
        auto* out_dir = Control<QLineEdit>(dlg, "outputDirectory");
        log_dir->setText(QStringLiteral("x"));
        inst_dir->setText(good + QStringLiteral("/missing"));
        out_dir->setText(QString());
        Control<QLineEdit>(dlg, "logFilter")->clear();
        Control<QLineEdit>(dlg, "instrumentFilter")->clear();
        Control<QLineEdit>(dlg, "outputFilter")->clear();
        const std::vector<Step> steps = {
            {"Please specify a Sort By type.", "sortBy",
             [&] { Control<QComboBox>(dlg, "sortBy")->setCurrentIndex(kSortDate); }},
            {"Please specify a sort order (Ascending/Descending).", "ascending",
             [&] { Control<QRadioButton>(dlg, "descending")->setChecked(true); }},
            {"The specified Log Files Working Directory is invalid or does not exist.",
             "logDirectory", [&] { log_dir->setText(good); }},
            {"No Log File Filter has been specified.", "logFilter",
             [&] { Control<QLineEdit>(dlg, "logFilter")->setText(QStringLiteral("*.log")); }},
            // Checked even while the instrument files come from a package.
            {"The specified Instrument Files Working Directory is invalid or does not exist.",
             "instrumentDirectory", [&] { inst_dir->setText(good + '/'); }},
            {"No Instrument File Filter has been specified.", "instrumentFilter",
             [&] {
                 Control<QLineEdit>(dlg, "instrumentFilter")->setText(QStringLiteral("*.tdf"));
             }},
            {"The specified Output Files Working Directory is invalid or does not exist.",
             "outputDirectory", [&] { out_dir->setText(good); }},
            {"No Output File Filter has been specified.", "outputFilter",
             [&] { Control<QLineEdit>(dlg, "outputFilter")->setText(QStringLiteral("*.txt")); }},
        };
        for (const Step& step : steps) {
            dlg.accept();
            QCOMPARE(dlg.messages.last(), QString::fromLatin1(step.message));
            QCOMPARE(dlg.focusWidget(), Control(dlg, step.focus));
            step.mend();
        }
        Control<QRadioButton>(dlg, "fromPackage")->setChecked(true);
        Control<QCheckBox>(dlg, "logRecursive")->setChecked(true);
        dlg.accept();
        QCOMPARE(dlg.messages.size(), int(steps.size()));
        QCOMPARE(dlg.result(), int(QDialog::Accepted));

        const std::string expected_dir = good.toStdString() + "/";
        CListProperties log(FileListKind::kLog, "/");
        log.file_selected = "kept.raw";
        dlg.GetProperties(CListPropertiesDlg::kLog, log);
        QCOMPARE(log.working_directory, expected_dir);
        QCOMPARE(log.file_filter, std::string("*.log"));
        QCOMPARE(log.recursive, 1);
        QCOMPARE(log.sort_type, int(kSortDate));
        QCOMPARE(log.sort_direction, int(kSortDescending));
        QCOMPARE(log.file_selected, std::string("kept.raw"));
        CListProperties inst(FileListKind::kInstrument, "/");
        dlg.GetProperties(CListPropertiesDlg::kInstrument, inst);
        QCOMPARE(inst.working_directory, expected_dir);
        QCOMPARE(inst.use_working_directory, 0);
        QCOMPARE(inst.instrument_package_file, std::string("/data/deploy.zpk"));
        QCOMPARE(inst.sort_type, int(kSortDate));
        CListProperties out(FileListKind::kOutput, "/");
        dlg.GetProperties(CListPropertiesDlg::kOutput, out);
        QCOMPARE(out.file_filter, std::string("*.txt"));
        QCOMPARE(out.sort_direction, int(kSortDescending));
    }
};

QTEST_MAIN(ListPropertiesDlgTest)
#include "list_properties_dlg_test.moc"

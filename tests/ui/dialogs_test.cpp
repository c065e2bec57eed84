// The overwrite question and Dravik Properties, answered as a person would,
// and the About box.
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "about_dlg.h"
#include "app_settings_dlg.h"
#include "help_window.h"
#include "modal_test_support.h"
#include "overwrite_dlg.h"

using namespace dravik;
using namespace dravik::testing;

class DialogsTest : public QObject {
    Q_OBJECT

  private slots:
    void overwriteAnswers() {
        const struct {
            const char* button;
            EOverwriteAnswer answer;
            int result;
        } cases[] = {{"yes", EOverwriteAnswer::kYes, QDialog::Accepted},
                     {"yesToAll", EOverwriteAnswer::kYesToAll, QDialog::Accepted},
                     {"no", EOverwriteAnswer::kNo, QDialog::Rejected},
                     {"cancel", EOverwriteAnswer::kCancel, QDialog::Rejected}};
        for (const auto& c : cases) {
            COverwriteDlg dlg("The output file \"/d/o.dat\" already exists.", true);
            WhenModal([&](QWidget*) { dlg.findChild<QPushButton*>(c.button)->click(); });
            QCOMPARE(dlg.exec(), c.result);
            QCOMPARE(dlg.Answer(), c.answer);
        }
    }

    void overwriteNeedsAButton() {
        COverwriteDlg dlg("The output file \"/d/o.dat\" already exists.", false);
        QVERIFY(!dlg.findChild<QPushButton*>("yesToAll")->isEnabled());
        QVERIFY(dlg.findChild<QPushButton*>("no")->font().bold());
        QVERIFY(!(dlg.windowFlags() & Qt::WindowCloseButtonHint));
        bool still_open_after_escape_and_close = false;
        WhenModal([&](QWidget* modal) {
            QTest::keyClick(modal, Qt::Key_Escape);
            modal->close();
            still_open_after_escape_and_close = modal->isVisible();
            modal->findChild<QPushButton*>("no")->click();
        });
        dlg.exec();
        QVERIFY(still_open_after_escape_and_close);
        QCOMPARE(dlg.Answer(), EOverwriteAnswer::kNo);
    }

    void propertiesValidateTheLogFolder() {
        const fs::path dir = ScratchDir("props");
        CAppSettings given(dir.string() + "/");
        given.conversion_log = 1;
        given.dismiss_progress = 1;
        CAppSettingsDlg dlg(given);
        auto* folder = dlg.findChild<QLineEdit*>("directory");
        QVERIFY(folder->isEnabled());

        // A folder that does not exist keeps the dialog open.
        folder->setText(QString::fromStdString((dir / "missing").string()));
        QString message;
        AnswerMessageBox(QMessageBox::Ok, &message);
        dlg.open();
        dlg.accept();
        QCOMPARE(message,
                 QString("The Conversion Log File directory is invalid or does not exist."));
        QVERIFY(dlg.isVisible());

        // An existing one gets its trailing "/".
        folder->setText(QString::fromStdString(dir.string()));
        dlg.findChild<QCheckBox*>("saveSettings")->setChecked(false);
        dlg.accept();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(folder->text(), QString::fromStdString(dir.string() + "/"));
        QCOMPARE(dlg.Settings().conversion_log_directory, dir.string() + "/");
        QCOMPARE(dlg.Settings().save_settings, 0);
        QCOMPARE(dlg.Settings().dismiss_progress, 1);

        // Without a log the folder is neither checked nor editable.
        CAppSettingsDlg off(given);
        off.findChild<QCheckBox*>("conversionLog")->setChecked(false);
        QVERIFY(!off.findChild<QLineEdit*>("directory")->isEnabled());
        off.findChild<QLineEdit*>("directory")->setText("/no/such/folder");
        off.open();
        off.accept();
        QCOMPARE(off.result(), int(QDialog::Accepted));
        QCOMPARE(off.Settings().conversion_log, 0);
        QCOMPARE(off.Settings().conversion_log_directory, std::string("/no/such/folder"));
    }

    void aboutShowsTheProgramIcon() {
        // The icon is an SVG file built into the program: without the SVG
        // image plugin installed it silently draws as nothing.
        LoadResources();
        QApplication::setWindowIcon(QIcon(":/dravik/dravik.svg"));
        CAboutDlg about("Dravik", "1.2.3", "Copyright (C) Quillfern");
        bool icon_drawn = false;
        for (QLabel* label : about.findChildren<QLabel*>())
            icon_drawn = icon_drawn || !label->pixmap().isNull();
        QVERIFY(icon_drawn);
        QCOMPARE(about.findChild<QLabel*>("version")->text(), QString("Version 1.2.3"));
    }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"

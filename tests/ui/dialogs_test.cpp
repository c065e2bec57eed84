// The dialogs as a person fills them in: what each opens with, which controls
// follow which, the order in which OK refuses bad entries (each with its
// message and the focus on the control concerned), and what they give back;
// and as a keyboard user and a newcomer meet them: every control is reached
// with Tab and tells what it does (Shift+F1), and F1 (or "&Help") opens the
// manual at the dialog's own section.
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextBrowser>
#include <QWhatsThis>
#include <QtTest>

#include "about_dlg.h"
#include "app_settings_dlg.h"
#include "file_naming_dlg.h"
#include "help_window.h"
#include "list_properties_dlg.h"
#include "overwrite_dlg.h"
#include "parameters_dlg.h"
#include "ui_test_support.h"

using namespace dravik;
using namespace dravik::testing;

namespace {

// Chooses an entry of a combo box as a person does.
void Choose(QComboBox* combo, int index) {
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

// A refusal of OK: its message, the control that gets the focus, and what
// the person then mends.
struct Refusal {
    const char* message;
    const char* focus;
    std::function<void()> mend;
};

// Presses OK through every refusal in turn; OK is then accepted.
template <typename Dialog>
void RefuseInOrder(CRecording<Dialog>& dlg, const std::vector<Refusal>& refusals) {
    for (const Refusal& r : refusals) {
        dlg.accept();
        QCOMPARE(dlg.messages.last(), QString::fromLatin1(r.message));
        QCOMPARE(dlg.focusWidget(), Control(dlg, r.focus));
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        r.mend();
    }
    dlg.accept();
    QCOMPARE(dlg.messages.size(), int(refusals.size()));
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
}

// The controls a person works with: buttons, edits, lists of choices and
// spin boxes, without the edits inside combo and spin boxes and without the
// dialog's own OK/Cancel/Help row.
QList<QWidget*> InputControls(QDialog& dialog) {
    QList<QWidget*> controls;
    for (QWidget* w : dialog.findChildren<QWidget*>()) {
        if (qobject_cast<QDialogButtonBox*>(w->parentWidget()) != nullptr) continue;
        const bool inner_edit = qobject_cast<QLineEdit*>(w) != nullptr &&
                                (qobject_cast<QAbstractSpinBox*>(w->parentWidget()) != nullptr ||
                                 qobject_cast<QComboBox*>(w->parentWidget()) != nullptr);
        if (inner_edit) continue;
        if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
            qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractSpinBox*>(w)) {
            controls << w;
        }
    }
    return controls;
}

QString Name(const QWidget* w) {
    return QString("%1 %2").arg(w->metaObject()->className(), w->objectName());
}

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT

    struct Case {
        QString topic;
        bool help_button;
        std::function<std::unique_ptr<QDialog>()> make;
    };

    static QList<Case> Cases() {
        return {
            {"Conversion Parameters", true,
             [] { return std::make_unique<CParametersDlg>(CDravikParameters(), false); }},
            {"File List Properties", false, [] { return std::make_unique<CListPropertiesDlg>(); }},
            {"Output File Naming", false, [] { return std::make_unique<CFileNamingDlg>(); }},
            {"Settings", false,
             [] { return std::make_unique<CAppSettingsDlg>(CAppSettings("/tmp/")); }},
        };
    }

    static bool Activate(QWidget& window) {
        window.show();
        window.activateWindow();
        QApplication::setActiveWindow(&window);
        return QTest::qWaitFor([&window] { return window.isActiveWindow(); }, 10000);
    }

    // The manual's section at the top of the dialog's help window.
    static QString TopicShown(QDialog& dialog) {
        auto* help = dialog.findChild<CHelpWindow*>(QString(), Qt::FindDirectChildrenOnly);
        if (help == nullptr || !help->isVisible()) return QStringLiteral("(no help window)");
        return help->Browser()->textCursor().block().text();
    }

  private slots:
    void overwriteAnswersAndNeedsAButton() {
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
        // Neither Escape nor the close box answers; "No" is the default.
        COverwriteDlg dlg("The output file \"/d/o.dat\" already exists.", false);
        QVERIFY(!dlg.findChild<QPushButton*>("yesToAll")->isEnabled());
        QVERIFY(dlg.findChild<QPushButton*>("no")->font().bold());
        bool still_open = false;
        WhenModal([&](QWidget* modal) {
            QTest::keyClick(modal, Qt::Key_Escape);
            modal->close();
            still_open = modal->isVisible();
            modal->findChild<QPushButton*>("no")->click();
        });
        dlg.exec();
        QVERIFY(still_open);
        QCOMPARE(dlg.Answer(), EOverwriteAnswer::kNo);
    }

    void appSettingsValidateTheLogFolder() {
        const fs::path dir = ScratchDir("props");
        CAppSettings given(dir.string() + "/");
        given.conversion_log = 1;
        CAppSettingsDlg dlg(given);
        auto* folder = dlg.findChild<QLineEdit*>("directory");
        folder->setText(QString::fromStdString((dir / "missing").string()));
        QString message;
        AnswerMessageBox(QMessageBox::Ok, &message);
        dlg.open();
        dlg.accept();
        QCOMPARE(message,
                 QString("The Conversion Log File directory is invalid or does not exist."));
        QVERIFY(dlg.isVisible());
        // An existing folder gets its trailing "/".
        folder->setText(QString::fromStdString(dir.string()));
        dlg.findChild<QCheckBox*>("saveSettings")->setChecked(false);
        dlg.accept();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.Settings().conversion_log_directory, dir.string() + "/");
        QCOMPARE(dlg.Settings().save_settings, 0);

        // Without a log the folder is neither checked nor editable.
        CAppSettingsDlg off(given);
        off.findChild<QCheckBox*>("conversionLog")->setChecked(false);
        QVERIFY(!off.findChild<QLineEdit*>("directory")->isEnabled());
        off.findChild<QLineEdit*>("directory")->setText("/no/such/folder");
        off.open();
        off.accept();
        QCOMPARE(off.result(), int(QDialog::Accepted));
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

    void parametersOpenFollowAndRefuse() {
        CDravikParameters p;
        p.buffer = 5000;  // shown as the next power of two
        p.process_depth = 1;
        p.process_limit = 250;
        p.format.precision = 0;
        p.delimiter = " ";
        CRecording<CParametersDlg> dlg(p, false);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QCOMPARE(Control<QSpinBox>(dlg, "buffer")->text(), QStringLiteral("8192"));
        QCOMPARE(Control<QLineEdit>(dlg, "depth")->text(), QString());
        QCOMPARE(Control<QLineEdit>(dlg, "limit")->text(), QStringLiteral("250"));
        QCOMPARE(Control<QComboBox>(dlg, "delimiterCombo")->currentText(), QStringLiteral("SPACE"));
        QVERIFY(!Control(dlg, "delimiterEdit")->isEnabled());

        // Calibration, strings and time tags govern the boxes under them.
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
        // A header conversion has no instrument: its fields are off.
        CParametersDlg header(p, true);
        QVERIFY(!Control(header, "applyFit")->isEnabled());
        QVERIFY(Control(header, "width")->isEnabled());

        auto* limit = Control<QLineEdit>(dlg, "limit");
        auto* precision = Control<QLineEdit>(dlg, "precision");
        Control<QRadioButton>(dlg, "specifyDelimiter")->setChecked(true);
        Control<QLineEdit>(dlg, "delimiterEdit")->clear();
        precision->setText(QStringLiteral("0"));
        limit->setText(QStringLiteral("32768"));
        const char* range = "Please enter an integer between 1 and 32767.";
        RefuseInOrder(dlg, {{"Please specify an output field delimiter.", "delimiterEdit",
                             [&] {
                                 Control<QRadioButton>(dlg, "selectDelimiter")->setChecked(true);
                                 Control<QComboBox>(dlg, "delimiterCombo")->setCurrentIndex(0);
                             }},
                            {range, "precision", [&] { precision->clear(); }},
                            {range, "limit", [&] {
                                 // Digits are all the number boxes take.
                                 limit->clear();
                                 limit->setFocus();
                                 QTest::keyClicks(limit, "1a2-3");
                                 Control<QSpinBox>(dlg, "buffer")->setValue(16);
                             }}});
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

    void fileNamingSwitchesAfterCheckingAndFiltersTheIncrement() {
        CFileNaming instrument(NamingKind::kInstrument);
        instrument.Settings().file_mode = kNamingAutoIncrement;
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

        // The shown convention is checked before the other one is shown.
        increment->clear();
        Choose(slot, 1);
        QCOMPARE(dlg.messages, QStringList{"Please specify an increment value from 0 to 999."});
        QCOMPARE(dlg.focusWidget(), increment);
        QCOMPARE(dlg.ShownSlot(), 0);
        increment->setFocus();
        QTest::keyClicks(increment, "a012");  // digits only for a number
        Choose(slot, 1);
        QCOMPARE(dlg.ShownSlot(), 1);
        QCOMPARE(dlg.Naming(0).Settings().file_increment, std::string("12"));
        QCOMPARE(Control<QLineEdit>(dlg, "extension")->text(), QStringLiteral("hdr"));
        QVERIFY(!increment->isEnabled());
        // Outside Auto Increment a bad increment is replaced, not refused.
        increment->setText(QStringLiteral("AB"));
        dlg.accept();
        QCOMPARE(dlg.Naming(1).Settings().file_increment, std::string("A"));

        CFileNaming damaged(NamingKind::kInstrument);
        damaged.Settings().file_mode = 5;  // as a damaged settings file may hold
        CRecording<CFileNamingDlg> other;
        other.SetNaming(CFileNamingDlg::kInstrumentSlot, damaged);
        other.show();
        auto* letters = Control<QLineEdit>(other, "increment");
        auto* type = Control<QComboBox>(other, "incrementType");
        RefuseInOrder(other, {{"Please specify a File Naming Convention.", "userDefined",
                               [&] {
                                   Control<QRadioButton>(other, "autoIncrement")->setChecked(true);
                                   letters->clear();
                                   letters->setFocus();
                                   QTest::keyClicks(letters, "b1");  // letters, in capitals
                                   QCOMPARE(letters->text(), QStringLiteral("B"));
                                   QTest::keyClicks(letters, "c");
                               }},
                              {"Please specify a single character increment value.", "increment",
                               [&] { type->setCurrentIndex(-1); }},
                              {"Please specify an Increment type.", "incrementType", [&] {
                                   Choose(type, kIncrementNumeric);
                                   QCOMPARE(letters->text(), QStringLiteral("0"));
                               }}});
    }

    void listPropertiesRefuseInOrderAndGiveTheListsBack() {
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

        auto edit = [&dlg](const char* name) { return Control<QLineEdit>(dlg, name); };
        edit("logDirectory")->setText(QStringLiteral("x"));
        edit("instrumentDirectory")->setText(good + QStringLiteral("/missing"));
        edit("outputDirectory")->clear();
        for (const char* filter : {"logFilter", "instrumentFilter", "outputFilter"})
            edit(filter)->clear();
        RefuseInOrder(
            dlg,
            {{"Please specify a Sort By type.", "sortBy",
              [&] { Control<QComboBox>(dlg, "sortBy")->setCurrentIndex(kSortDate); }},
             {"Please specify a sort order (Ascending/Descending).", "ascending",
              [&] { Control<QRadioButton>(dlg, "descending")->setChecked(true); }},
             {"The specified Log Files Working Directory is invalid or does not exist.",
              "logDirectory", [&] { edit("logDirectory")->setText(good); }},
             {"No Log File Filter has been specified.", "logFilter",
              [&] { edit("logFilter")->setText("*.log"); }},
             // Checked even while the instrument files come from a package.
             {"The specified Instrument Files Working Directory is invalid or does not exist.",
              "instrumentDirectory", [&] { edit("instrumentDirectory")->setText(good + '/'); }},
             {"No Instrument File Filter has been specified.", "instrumentFilter",
              [&] { edit("instrumentFilter")->setText("*.tdf"); }},
             {"The specified Output Files Working Directory is invalid or does not exist.",
              "outputDirectory", [&] { edit("outputDirectory")->setText(good); }},
             {"No Output File Filter has been specified.", "outputFilter", [&] {
                  edit("outputFilter")->setText("*.txt");
                  Control<QRadioButton>(dlg, "fromPackage")->setChecked(true);
                  Control<QCheckBox>(dlg, "logRecursive")->setChecked(true);
              }}});

        // Each list gets its folder (with its "/"), filter and subfolders,
        // all three the sort; the selection is not the dialog's.
        CListProperties log(FileListKind::kLog, "/");
        log.file_selected = "kept.raw";
        dlg.GetProperties(CListPropertiesDlg::kLog, log);
        QCOMPARE(log.working_directory, good.toStdString() + "/");
        QCOMPARE(log.file_filter, std::string("*.log"));
        QCOMPARE(log.recursive, 1);
        QCOMPARE(log.sort_type, int(kSortDate));
        QCOMPARE(log.file_selected, std::string("kept.raw"));
        CListProperties inst(FileListKind::kInstrument, "/");
        dlg.GetProperties(CListPropertiesDlg::kInstrument, inst);
        QCOMPARE(inst.use_working_directory, 0);
        QCOMPARE(inst.instrument_package_file, std::string("/data/deploy.zpk"));
        CListProperties out(FileListKind::kOutput, "/");
        dlg.GetProperties(CListPropertiesDlg::kOutput, out);
        QCOMPARE(out.file_filter, std::string("*.txt"));
        QCOMPARE(out.sort_direction, int(kSortDescending));
    }

    void everyControlIsReachedWithTabAndTellsWhatItDoes() {
        for (const Case& c : Cases()) {
            std::unique_ptr<QDialog> dialog = c.make();
            // The enabling rules are tested with each dialog; here every
            // control is on, so that the whole Tab chain is walked.
            const QList<QWidget*> controls = InputControls(*dialog);
            QVERIFY(controls.size() >= 4);
            for (QWidget* w : controls) {
                w->setEnabled(true);
                QVERIFY2(!w->whatsThis().isEmpty(), qPrintable(Name(w)));
            }
            // A group box is only a frame: its controls answer for themselves.
            for (QGroupBox* box : dialog->findChildren<QGroupBox*>())
                QVERIFY2(box->whatsThis().isEmpty(), qPrintable(box->title()));
            QVERIFY(Activate(*dialog));

            // Shift+F1 on the control with the focus shows its text.
            controls.first()->setFocus();
            QTest::keyClick(controls.first(), Qt::Key_F1, Qt::ShiftModifier);
            QVERIFY2(QApplication::activePopupWidget() != nullptr, qPrintable(c.topic));
            QWhatsThis::hideText();
            QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);

            QSet<QWidget*> reached;
            for (int i = 0; i < 3 * controls.size(); ++i) {
                reached << QApplication::focusWidget();
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            }
            for (QWidget* w : controls) {
                // Of the radio buttons of one choice, Tab stops at the chosen
                // one and the arrow keys move among them.
                auto* button = qobject_cast<QAbstractButton*>(w);
                bool sibling_reached = false;
                if (button != nullptr && button->group() != nullptr) {
                    for (QAbstractButton* b : button->group()->buttons())
                        sibling_reached = sibling_reached || reached.contains(b);
                }
                QVERIFY2(reached.contains(w) || sibling_reached,
                         qPrintable(c.topic + ": " + Name(w)));
            }

            // F1, and the "&Help" button where there is one, open the
            // manual at the dialog's section, in one help window.
            controls.first()->setFocus();
            QTest::keyClick(controls.first(), Qt::Key_F1);
            QCOMPARE(TopicShown(*dialog), c.topic);
            auto* help = dialog->findChild<CHelpWindow*>();
            help->hide();
            help->Browser()->moveCursor(QTextCursor::End);
            auto* button = dialog->findChild<QPushButton*>("help");
            QCOMPARE(button != nullptr, c.help_button);
            if (button == nullptr) continue;
            QCOMPARE(button->text(), QString("&Help"));
            button->click();
            QCOMPARE(TopicShown(*dialog), c.topic);
            QCOMPARE(dialog->findChildren<CHelpWindow*>().size(), 1);
        }
    }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"

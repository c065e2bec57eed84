// The settings dialogs as a keyboard user and a newcomer meet them: every
// control can be reached with Tab and tells what it does (Shift+F1), and F1
// (or the "&Help" button) opens the manual at the dialog's own section.
#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextBrowser>
#include <QWhatsThis>
#include <QtTest>
#include <functional>
#include <memory>

#include "settings/parameters.h"
#include "settings/settings.h"
#include "app_settings_dlg.h"
#include "file_naming_dlg.h"
#include "help_window.h"
#include "list_properties_dlg.h"
#include "parameters_dlg.h"

using namespace dravik;

namespace {

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

class DialogHelpTest : public QObject {
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
    void everyControlTellsWhatItDoes() {
        for (const Case& c : Cases()) {
            std::unique_ptr<QDialog> dialog = c.make();
            const QList<QWidget*> controls = InputControls(*dialog);
            QVERIFY(controls.size() >= 4);
            for (QWidget* w : controls) QVERIFY2(!w->whatsThis().isEmpty(), qPrintable(Name(w)));
            // A group box is only a frame: its controls answer for themselves.
            for (QGroupBox* box : dialog->findChildren<QGroupBox*>())
                QVERIFY2(box->whatsThis().isEmpty(), qPrintable(box->title()));

            // Shift+F1 on the control with the focus shows its text.
            QVERIFY(Activate(*dialog));
            QWidget* first = controls.first();
            first->setEnabled(true);
            first->setFocus();
            QTest::keyClick(first, Qt::Key_F1, Qt::ShiftModifier);
            QVERIFY2(QApplication::activePopupWidget() != nullptr, qPrintable(c.topic));
            QWhatsThis::hideText();
            QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
        }
    }

    void everyControlIsReachedWithTab() {
        for (const Case& c : Cases()) {
            std::unique_ptr<QDialog> dialog = c.make();
            // The enabling rules are tested with each dialog; here every
            // control is on, so that the whole Tab chain is walked.
            const QList<QWidget*> controls = InputControls(*dialog);
            for (QWidget* w : controls) w->setEnabled(true);
            QVERIFY(Activate(*dialog));
            controls.first()->setFocus();
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
        }
    }

    void f1AndHelpOpenTheDialogsSection() {
        for (const Case& c : Cases()) {
            std::unique_ptr<QDialog> dialog = c.make();
            QVERIFY(Activate(*dialog));
            QWidget* focus = InputControls(*dialog).first();
            focus->setFocus();
            QTest::keyClick(focus, Qt::Key_F1);
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
            // One help window per dialog, shown again.
            QCOMPARE(dialog->findChildren<CHelpWindow*>().size(), 1);
        }
    }
};

QTEST_MAIN(DialogHelpTest)
#include "dialog_help_test.moc"

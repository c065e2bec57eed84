// The main window: its commands as a person finds them, the header mode pane,
// and the placements kept between runs (main window, progress window, bars).
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTextBrowser>
#include <QToolBar>
#include <QtTest>

#include "settings/memory_settings.h"
#include "conversion_dlg.h"
#include "conversion_log_dlg.h"
#include "dravik_view.h"
#include "file_list_box.h"
#include "help_window.h"
#include "main_frame.h"
#include "modal_test_support.h"
#include "window_front_end.h"

using namespace dravik;
using namespace dravik::testing;

class MainFrameTest : public QObject {
    Q_OBJECT

    struct Program {
        CWindowFrontEnd front_end;
        CDravikDoc doc;
        CMainFrame frame;
        explicit Program(CSettingsStore& store)
            : front_end(store), doc(front_end, &store), frame(doc, front_end, store, {}) {}
    };

    // Answers "Cancel" to every question shown while it lives, keeping
    // their texts.
    struct QuestionWatch {
        QStringList asked;
        QTimer timer;
        QuestionWatch() {
            timer.setInterval(5);
            QObject::connect(&timer, &QTimer::timeout, [this] {
                QWidget* modal = QApplication::activeModalWidget();
                if (modal == nullptr || !modal->isVisible()) return;
                auto* text = modal->findChild<QLabel*>("message");
                asked << (text != nullptr ? text->text() : modal->windowTitle());
                if (auto* cancel = modal->findChild<QPushButton*>("cancel")) {
                    cancel->click();
                } else {
                    modal->close();
                }
            });
            timer.start();
        }
    };

    // The window the user clicks into gets the keyboard. (The platform's
    // own activation counts a window whose dialog is active as active.)
    static bool ActivateWindow(QWidget& window) {
        window.activateWindow();
        QApplication::setActiveWindow(&window);
        return QTest::qWaitFor([&window] { return window.isActiveWindow(); }, 10000);
    }

  private slots:
    void keysBeginAConversionOnlyWhenIdle() {
        const fs::path dir = ScratchDir("keys");
        for (const char* sub : {"logs", "inst", "out"}) fs::create_directories(dir / sub);
        // A log long enough to be still converting while the keys are pressed.
        const std::string frames = ReadAll(ExamplesDir() / "spr0117.raw");
        std::string big;
        for (int i = 0; i < 400; ++i) big += frames;
        WriteAll(dir / "logs" / "cast.raw", big);
        WriteAll(dir / "inst" / "spr0117.cal", ReadAll(ExamplesDir() / "spr0117.cal"));
        CMemorySettings store;
        store.WriteString("Log View", "Working Directory", (dir / "logs").string() + "/");
        store.WriteString("Instrument View", "Working Directory", (dir / "inst").string() + "/");
        store.WriteString("Output View", "Working Directory", (dir / "out").string() + "/");
        Program p(store);
        CDravikView& view = p.frame.View();
        view.InitialUpdate();
        p.frame.show();
        QVERIFY(ActivateWindow(p.frame));
        QLineEdit* next = view.NextBox();
        auto out = [&dir](const char* name) { return dir / "out" / name; };
        auto wait_for_end = [&p] {
            return QTest::qWaitFor(
                [&p] {
                    CConversionDlg* progress = p.front_end.Progress();
                    return progress != nullptr && progress->IsDone() &&
                           progress->findChild<QPushButton*>("button")->text() == "OK";
                },
                60000);
        };
        auto dismiss = [&p, &view] {
            p.front_end.Progress()->findChild<QPushButton*>("button")->click();
            return QTest::qWaitFor([&] { return !view.IsConverting(); }, 10000);
        };
        // Any second start would find the first output there and ask about it.
        QuestionWatch questions;

        // Ctrl+C in the "Next" box begins the conversion rather than copying.
        next->setFocus();
        next->setText("first");
        QTest::keyClick(next, Qt::Key_C, Qt::ControlModifier);
        QTRY_VERIFY(p.front_end.Progress() != nullptr);
        QVERIFY(view.IsConverting());
        QVERIFY(!p.frame.Action("convert")->isEnabled());
        QTRY_VERIFY(fs::exists(out("first.dat")));

        // While it runs, neither Enter nor Ctrl+C starts another.
        QSignalSpy enter(p.frame.Action("convertEnter"), &QAction::triggered);
        // The progress window takes the keyboard when it opens; the user
        // clicks back into the main window.
        QVERIFY(QTest::qWaitForWindowActive(p.front_end.Progress()));
        QVERIFY(ActivateWindow(p.frame));
        next->setFocus();
        QVERIFY(next->hasFocus());
        QTest::keyClick(next, Qt::Key_Return);
        QTest::keyClick(next, Qt::Key_Enter, Qt::KeypadModifier);
        QTest::keyClick(next, Qt::Key_C, Qt::ControlModifier);
        next->clearFocus();
        QTest::keyClick(&p.frame, Qt::Key_Return);
        QCOMPARE(enter.count(), 3);
        // (A fast machine may have converted the whole log by now; then the
        // keys met the ended conversion, which must ignore them as well.)
        if (!p.front_end.Progress()->IsDone())
            p.front_end.Progress()->findChild<QPushButton*>("button")->click();
        QTRY_VERIFY(view.Outcome() != EConversionOutcome::kFailed);
        QVERIFY(wait_for_end());
        // Nor while the ended conversion's window waits for its OK.
        QVERIFY(ActivateWindow(p.frame));
        next->setFocus();
        QTest::keyClick(next, Qt::Key_Return);
        QTest::keyClick(next, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(enter.count(), 4);
        QTest::qWait(100);
        QCOMPARE(questions.asked, QStringList());
        QVERIFY(dismiss());
        QCOMPARE(questions.asked, QStringList());

        // Idle again: Enter with the focus in a list begins the next one,
        // and so does Ctrl+C there.
        p.doc.GetParameters().process_limit = 10;
        QVERIFY(ActivateWindow(p.frame));
        next->setText("second");
        view.List(FileListKind::kLog)->setFocus();
        QTest::keyClick(view.List(FileListKind::kLog), Qt::Key_Return);
        QVERIFY(wait_for_end());
        QCOMPARE(view.Outcome(), EConversionOutcome::kComplete);
        QVERIFY(dismiss());
        QVERIFY(ActivateWindow(p.frame));
        next->setText("third");
        view.List(FileListKind::kInstrument)->setFocus();
        QTest::keyClick(view.List(FileListKind::kInstrument), Qt::Key_C, Qt::ControlModifier);
        QVERIFY(wait_for_end());
        QVERIFY(dismiss());
        QCOMPARE(ReadAll(out("third.dat")), ReadAll(out("second.dat")));
        QVERIFY(ReadAll(out("second.dat")).size() > 100);
        QCOMPARE(questions.asked, QStringList());
    }

    void menusAndToolbar() {
        CMemorySettings store;
        Program p(store);
        QStringList menus;
        for (QAction* menu : p.frame.menuBar()->actions()) {
            QStringList items;
            for (QAction* item : menu->menu()->actions()) {
                items << (item->isSeparator() ? QString("-")
                                              : item->text() + "|" + item->shortcut().toString());
            }
            menus << menu->text() + ": " + items.join(", ");
        }
        QCOMPARE(menus, QStringList({
                            "&Dravik: &Properties...|, -, E&xit|",
                            "&Conversion: &Parameters...|Ctrl+P, &File Naming...|Ctrl+F, -, "
                            "&Header|Ctrl+H, &Convert|Ctrl+C",
                            "&View: Pr&operties...|Ctrl+O, &Refresh|Ctrl+R, Conversion &Log|, -, "
                            "&Toolbar|, &Status Bar|",
                            "&Help: &Help Topics|F1, -, &About Dravik...|",
                        }));
        QToolBar* bar = p.frame.ToolBar();
        QCOMPARE(bar->objectName(), QString("DravikToolbar"));
        QCOMPARE(bar->windowTitle(), QString("Dravik Toolbar"));
        QStringList entries;
        for (QAction* a : bar->actions()) entries << (a->isSeparator() ? "-" : a->objectName());
        QCOMPARE(entries, QStringList({"parameters", "fileNaming", "header", "convert", "-",
                                       "listProperties", "refresh", "conversionLog", "-", "about",
                                       "contextHelp"}));
        QCOMPARE(p.frame.Action("convert")->statusTip(), QString("Begin conversion"));
        QCOMPARE(p.frame.Action("convert")->toolTip(), QString("Begin Conversion (Ctrl+C)"));
        QCOMPARE(p.frame.StatusPane(0)->text(), QString("For Help, press F1"));
        QVERIFY(!(p.frame.windowFlags() & Qt::WindowMaximizeButtonHint));
    }

    void headerModeShowsInPaneAndPersists() {
        CMemorySettings store;
        store.WriteInt("Settings", "Save Settings", 1);
        {
            Program p(store);
            p.frame.View().InitialUpdate();
            p.frame.show();
            QCOMPARE(p.frame.StatusPane(1)->text(), QString());
            p.frame.Action("header")->trigger();
            QCOMPARE(p.frame.StatusPane(1)->text(), QString(" H "));
            QVERIFY(p.frame.Action("header")->isChecked());
            QVERIFY(!p.frame.View().ListBox(FileListKind::kInstrument)->isEnabled());
        }
        QCOMPARE(store.GetInt("View", "ConvertHeader", -5), 1);
        Program again(store);
        QCOMPARE(again.frame.StatusPane(1)->text(), QString(" H "));
    }

    void windowPositionsAreKeptAndNeverOffScreen() {
        CMemorySettings store;
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        {
            Program p(store);
            p.frame.show();
            p.frame.move(screen.x() + 30, screen.y() + 20);
            p.frame.ToolBar()->hide();
            p.frame.close();
        }
        const std::string stored = store.GetString("Window Position", "Rect", "");
        QVERIFY(QString::fromStdString(stored).startsWith(
            QString::asprintf("%04d %04d ", screen.x() + 30, screen.y() + 20)));
        {
            // Restored at the first display, with the toolbar as it was left.
            Program p(store);
            p.frame.show();
            QCOMPARE(p.frame.frameGeometry().topLeft(), QPoint(screen.x() + 30, screen.y() + 20));
            QVERIFY(p.frame.ToolBar()->isHidden());
        }
        {
            // A window never shown (a batch run) leaves the position alone.
            store.WriteString("Window Position", "Rect", "9000 9000 9400 9300");
            Program p(store);
        }
        QCOMPARE(store.GetString("Window Position", "Rect", ""),
                 std::string("9000 9000 9400 9300"));
        {
            // Stored on a screen that is gone: shown where it can be seen.
            Program p(store);
            p.frame.show();
            QVERIFY(screen.contains(p.frame.frameGeometry().topLeft()));
        }

        // The progress window keeps its position the same way.
        store.WriteString("Conversion Window", "Rect", "0050 0060");
        {
            CConversionDlg dlg(store);
            dlg.show();
            QCOMPARE(dlg.frameGeometry().topLeft(), QPoint(50, 60));
            dlg.move(70, 80);
            QTRY_COMPARE(store.GetString("Conversion Window", "Rect", ""),
                         std::string("0070 0080"));
        }
        store.WriteString("Conversion Window", "Rect", "-5000 0060");
        CConversionDlg dlg(store);
        dlg.show();
        QVERIFY(screen.contains(dlg.frameGeometry().topLeft()));
        QVERIFY(store.GetString("Conversion Window", "Rect", "") != "-5000 0060");
    }

    void helpAndLogWindowsOpenFromTheirCommands() {
        CMemorySettings store;
        Program p(store);
        p.frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&p.frame));
        QTest::keyClick(&p.frame, Qt::Key_F1);
        auto* help = p.frame.findChild<CHelpWindow*>();
        QVERIFY(help != nullptr && help->isVisible());
        QCOMPARE(help->windowTitle(), QString("Dravik Help"));
        QVERIFY(help->Browser()->toPlainText().startsWith("Dravik manual"));
        QCOMPARE(p.frame.Action("contextHelp")->shortcut(), QKeySequence("Shift+F1"));

        // The log window's entry follows the window, also when its close box closes it.
        p.frame.View().InitialUpdate();
        p.frame.Action("conversionLog")->trigger();
        QVERIFY(p.frame.View().LogWindow().isVisible());
        QVERIFY(p.frame.Action("conversionLog")->isChecked());
        p.frame.View().LogWindow().close();
        QTRY_VERIFY(!p.frame.Action("conversionLog")->isChecked());
        QVERIFY(!p.frame.View().IsLogWindowShown());
    }

    void beginConversionWithoutFilesSaysWhatIsMissing() {
        CMemorySettings store;
        Program p(store);
        p.frame.View().InitialUpdate();
        p.frame.show();
        QString message;
        AnswerMessageBox(QMessageBox::Ok, &message);
        p.frame.Action("convert")->trigger();
        QVERIFY(message.startsWith("Please select a Log file from the list provided."));
        QVERIFY(!p.frame.View().IsConverting());
    }
};

QTEST_MAIN(MainFrameTest)
#include "main_frame_test.moc"

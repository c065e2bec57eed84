// The main window: its commands as a person finds them, the header mode pane,
// and the placements kept between runs (main window, progress window, bars).
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTextBrowser>
#include <QToolBar>
#include <QtTest>

#include "app/memory_settings.h"
#include "conversion_dlg.h"
#include "conversion_log_dlg.h"
#include "dravik_view.h"
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

  private slots:
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

// The main window as a person uses it: files picked in the lists become the
// document's files and the output name; the keys that begin a conversion (and
// those that must not); runs over several selected files with their overwrite
// answers and cancel; the window answering while a folder is listed or a
// package extracted; and what it keeps between runs (settings at their
// moments, header mode, window placements).
#include <zip.h>

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyleOptionMenuItem>
#include <QTextBrowser>
#include <QToolBar>
#include <QtTest>
#include <condition_variable>
#include <mutex>

#include "conversion_dlg.h"
#include "conversion_log_dlg.h"
#include "dravik_view.h"
#include "file_list_box.h"
#include "help_window.h"
#include "main_frame.h"
#include "ui_test_support.h"
#include "packages/instrument_package.h"
#include "settings/memory_settings.h"
#include "window_front_end.h"

using namespace dravik;
using namespace dravik::testing;

namespace {
// Holds a package extraction until it is asked to stop.
void WaitForStop(std::stop_token stop) {
    std::mutex mutex;
    std::condition_variable_any never;
    std::unique_lock lock(mutex);
    never.wait(lock, stop, [] { return false; });
}

// A menu entry that switches a mode shows a check mark while on: the style
// draws an entry with an icon "on" as a sunken icon only. The toolbar keeps it.
struct MenuLook : QMenu {
    using QMenu::initStyleOption;
};
bool ShowsCheckMark(QAction* action) {
    QStyleOptionMenuItem look;
    auto draw = &MenuLook::initStyleOption;
    for (QObject* user : action->associatedObjects())
        if (auto* menu = qobject_cast<QMenu*>(user)) (menu->*draw)(&look, action);
    return look.checkType == QStyleOptionMenuItem::NonExclusive && look.checked &&
           look.icon.isNull() && !action->icon().isNull();
}

void WritePackage(const fs::path& path, const std::vector<std::pair<std::string, std::string>>& files) {
    int error = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    for (const auto& [name, data] : files)
        zip_file_add(z, name.c_str(), zip_source_buffer(z, data.data(), data.size(), 0), 0);
    zip_close(z);
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

    // The program as it starts, on a store of the test's.
    struct Program {
        CWindowFrontEnd front_end;
        CDravikDoc doc;
        std::unique_ptr<CMainFrame> frame;
        explicit Program(CSettingsStore& store)
            : front_end(store),
              doc(front_end, &store),
              frame(std::make_unique<CMainFrame>(doc, front_end, store, CProductInfo{})) {}
        CDravikView& View() { return frame->View(); }
    };

    struct Files {
        fs::path dir;
        CMemorySettings store;
    };

    // Logs log1.raw, log2.raw and instruments inst_a/b/c.cal (copies of an
    // example) in their own folders, listed by a started window.
    struct Session : Files, Program {
        CDravikView& view;
        QStringList titles;

        Session(const std::string& name, const std::string& log_data)
            : Files{ScratchDir(name), {}}, Program(store), view(View()) {
            doc.SetProgramDirectory(ExamplesDir().string());
            const std::string cal = ReadAll(ExamplesDir() / "spr0117.cal");
            for (const char* sub : {"logs", "inst", "out"}) fs::create_directories(dir / sub);
            for (const char* n : {"log1.raw", "log2.raw"}) WriteAll(dir / "logs" / n, log_data);
            for (const char* n : {"inst_a.cal", "inst_b.cal", "inst_c.cal"})
                WriteAll(dir / "inst" / n, cal);
            for (const auto& [section, sub] : {std::pair{"Log View", "logs"},
                                               {"Instrument View", "inst"}, {"Output View", "out"}})
                store.WriteString(section, "Working Directory", (dir / sub).string() + "/");
            store.WriteString("Instrument View", "File Selected", "inst_b.cal");
            view.InitialUpdate();
            WaitForLists(view);
            QObject::connect(&view, &CDravikView::TitleChanged,
                             [this](const QString& t) { titles << t; });
        }
        void SetMode(int mode) {
            view.Naming(NamingKind::kInstrument).Settings().file_mode = mode;
            view.Naming(NamingKind::kHeader).Settings().file_mode = mode;
            view.ApplySelectionMode();
            view.UpdateFileNames();
        }
        void SelectAll() {
            SetMode(kNamingFileTitles);
            List(FileListKind::kLog)->selectAll();
            List(FileListKind::kInstrument)->selectAll();
        }
        CFileListBox* List(FileListKind kind) { return view.List(kind); }
        std::string Out(const char* name) { return (dir / "out" / name).string(); }
        // The run counters the title showed, in order, once each.
        QStringList Counters() const {
            QStringList seen;
            static const QRegularExpression counter(" (\\d+/\\d+) ");
            for (const QString& t : titles) {
                const QRegularExpressionMatch m = counter.match(t);
                if (m.hasMatch() && (seen.isEmpty() || seen.last() != m.captured(1)))
                    seen << m.captured(1);
            }
            return seen;
        }
        QPushButton* Button() { return front_end.Progress()->findChild<QPushButton*>("button"); }
        bool WaitForRunEnd() {
            return QTest::qWaitFor(
                [&] {
                    return front_end.Progress() != nullptr && front_end.Progress()->IsDone() &&
                           Button()->text() == "OK";
                },
                60000);
        }
        void Dismiss() {
            Button()->click();
            QTRY_VERIFY(front_end.Progress() == nullptr && !view.IsConverting());
        }
        // Answers the next questions in turn with the buttons named, keeping their texts.
        void Answer(QStringList& asked, std::vector<const char*> buttons) {
            WhenModal([this, &asked, buttons](QWidget* modal) {
                auto* text = modal->findChild<QLabel*>("message");
                asked << (text != nullptr ? text->text() : modal->windowTitle());
                modal->findChild<QPushButton*>(buttons.front())->click();
                if (buttons.size() > 1) Answer(asked, {buttons.begin() + 1, buttons.end()});
            });
        }
        // The window the user clicks into gets the keyboard. (The platform's
        // own activation counts a window whose dialog is active as active.)
        bool Activate() {
            frame->show();
            frame->activateWindow();
            QApplication::setActiveWindow(frame.get());
            return QTest::qWaitFor([this] { return frame->isActiveWindow(); }, 10000);
        }
    };

    // Answers "Cancel" to every question shown while it lives, keeping their texts.
    struct QuestionWatch {
        QStringList asked;
        QTimer timer;
        QuestionWatch() {
            timer.setInterval(5);
            QObject::connect(&timer, &QTimer::timeout, [this] {
                QWidget* modal = QApplication::activeModalWidget();
                if (modal == nullptr || !modal->isVisible()) return;
                asked << modal->windowTitle();
                if (auto* cancel = modal->findChild<QPushButton*>("cancel")) cancel->click();
                else modal->close();
            });
            timer.start();
        }
    };

    static std::string ExampleLog() { return ReadAll(ExamplesDir() / "spr0117.raw"); }
    static std::string LongLog() {
        std::string big;
        for (int i = 0; i < 400; ++i) big += ExampleLog();
        return big;
    }

  private slots:
    void settingsAreReadAndSavedAtTheirMoments() {
        const fs::path dir = ScratchDir("moments");
        WriteAll(dir / "cast.raw", "x");
        // A key of each section that only a save writes.
        const std::pair<const char*, const char*> saved[] = {
            {"Log View", "Sort Type"},         {"Instrument View", "Sort Type"},
            {"Output View", "Sort Type"},      {"Header Conversion", "File Mode"},
            {"Instrument Conversion", "File Mode"}, {"Parameters", "Width"},
            {"View", "ConvertHeader"}};
        // Save Settings on and off, and a view never started (a batch run).
        for (const int run : {1, 0, -1}) {
            CMemorySettings store;
            store.WriteInt("Settings", "Save Settings", run != 0);
            store.WriteString("View", "Default Outfile", "typed.dat");
            store.WriteString("Parameters", "Delimiter", ",");
            store.WriteString("Log View", "Working Directory", dir.string() + "/");
            {
                CWindowFrontEnd front_end(store);
                CDravikDoc doc(front_end, &store);
                CDravikView view(doc, front_end, store);
                // Construction reads the view's own section; the start reads
                // the lists, the namings and the parameters.
                QCOMPARE(view.NextBox()->text(), QString("typed.dat"));
                QCOMPARE(doc.GetParameters().delimiter, CDravikParameters().delimiter);
                doc.GetParameters().process_limit = 25;
                if (run >= 0) {
                    view.InitialUpdate();
                    QCOMPARE(doc.GetParameters().delimiter, std::string(","));
                    QVERIFY(WaitForLists(view));
                    QCOMPARE(doc.GetLogFilePath(), (dir / "cast.raw").string());
                    view.ToggleHeaderConversion();
                    doc.GetParameters().process_limit = 25;
                }
                QVERIFY(!store.Contains("Output View", "Sort Type"));
            }
            // Every section is written when a started view goes, with Save
            // Settings on; none otherwise.
            for (const auto& [section, key] : saved)
                QVERIFY2(store.Contains(section, key) == (run == 1), section);
            QCOMPARE(store.GetInt("Parameters", "Process Limit", -5), run == 1 ? 25 : -5);
            QCOMPARE(store.GetInt("View", "ConvertHeader", -5), run == 1 ? 1 : -5);
        }
    }

    void selectionsBecomeTheDocumentsFiles() {
        Session f("names", ExampleLog());
        // User Defined: one file per list, the remembered one, else the first.
        QVERIFY(!f.List(FileListKind::kLog)->IsMultiSelection());
        QCOMPARE(f.doc.GetLogFilePath(), (f.dir / "logs" / "log1.raw").string());
        QCOMPARE(f.doc.GetInstrumentFilePath(), (f.dir / "inst" / "inst_b.cal").string());
        QCOMPARE(f.doc.GetOutputFilePath(), std::string());

        f.SetMode(kNamingFileTitles);
        QVERIFY(f.List(FileListKind::kLog)->IsMultiSelection());
        f.List(FileListKind::kInstrument)->setCurrentRow(2);
        QCOMPARE(f.doc.GetOutputFilePath(), f.Out("log1-inst_c.dat"));
        QCOMPARE(f.view.NextBox()->text(), QString("log1-inst_c.dat"));
        QVERIFY(f.view.NextBox()->isReadOnly());

        // Header mode: no instrument file, the list is off, the log title
        // alone, also after the lists are listed again.
        f.view.ToggleHeaderConversion();
        f.view.RefreshFileLists();
        QVERIFY(WaitForLists(f.view));
        QVERIFY(!f.view.ListBox(FileListKind::kInstrument)->isEnabled());
        QVERIFY(f.List(FileListKind::kInstrument)->selectedItems().isEmpty());
        QCOMPARE(f.doc.GetInstrumentFilePath(), std::string());
        QCOMPARE(f.doc.GetOutputFilePath(), f.Out("log1.dat"));
        // Leaving it brings the remembered instrument file back.
        f.view.ToggleHeaderConversion();
        QVERIFY(f.view.ListBox(FileListKind::kInstrument)->isEnabled());
        QCOMPARE(f.doc.GetInstrumentFilePath(), (f.dir / "inst" / "inst_c.cal").string());
    }

    void beginConversionSaysWhatIsMissing() {
        Session f("missing", ExampleLog());
        QWidget* log_box = f.view.ListBox(FileListKind::kLog);
        QWidget* instrument_box = f.view.ListBox(FileListKind::kInstrument);
        const struct {
            std::function<void()> take_away;
            const char* message;
            QWidget* focus;
        } cases[] = {
            {[&] { f.view.NextBox()->clear(); }, "Please select an Output file", f.view.NextBox()},
            {[&] { f.doc.SetInstrumentFilePath(""); }, "Please select an Instrument file",
             instrument_box},
            {[&] { f.doc.SetLogFilePath(""); }, "Please select a Log file", log_box},
        };
        QVERIFY(f.Activate());
        for (const auto& c : cases) {
            c.take_away();
            QString text;
            AnswerMessageBox(QMessageBox::Ok, &text);
            f.view.BeginConversion();
            QVERIFY2(text.startsWith(c.message), qPrintable(text));
            QVERIFY(text.contains("adjust the File List Properties from the View menu."));
            QCOMPARE(f.view.focusWidget(), c.focus);
            QVERIFY(!f.view.IsConverting());
        }
    }

    void keysBeginAConversionOnlyWhenIdle() {
        Session f("keys", LongLog());  // still converting while the keys are pressed
        QLineEdit* next = f.view.NextBox();
        // Any second start would find the first output there and ask about it.
        QuestionWatch questions;
        QSignalSpy enter(f.frame->Action("convertEnter"), &QAction::triggered);
        // Enter and Ctrl+C, in the "Next" box and in the main window.
        auto press_keys = [&] {
            QVERIFY(f.Activate());
            next->setFocus();
            QTest::keyClick(next, Qt::Key_Return);
            QTest::keyClick(next, Qt::Key_Enter, Qt::KeypadModifier);
            QTest::keyClick(next, Qt::Key_C, Qt::ControlModifier);
            next->clearFocus();
            QTest::keyClick(f.frame.get(), Qt::Key_Return);
        };

        // Ctrl+C in the "Next" box begins the conversion rather than copying;
        // the typed name gets the extension and the Output list's folder.
        QVERIFY(f.Activate());
        next->setFocus();
        QTest::keyClicks(next, "first");
        QTest::keyClick(next, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(next->text(), QString("first.dat"));
        QCOMPARE(f.doc.GetOutputFilePath(), f.Out("first.dat"));
        QTRY_VERIFY(f.front_end.Progress() != nullptr);
        QVERIFY(!f.frame->Action("convert")->isEnabled());
        // While it runs, and while its ended window waits for OK, no key
        // starts another. (A fast machine may have converted the whole log
        // already; then the keys met the ended conversion.)
        QVERIFY(QTest::qWaitForWindowActive(f.front_end.Progress()));
        press_keys();
        if (!f.front_end.Progress()->IsDone()) f.Button()->click();
        QVERIFY(f.WaitForRunEnd());
        press_keys();
        QCOMPARE(enter.count(), 6);
        QTest::qWait(100);
        f.Dismiss();

        // Idle again: Enter or Ctrl+C with the focus in a list begins the next one.
        f.doc.GetParameters().process_limit = 10;
        const struct {
            const char* name;
            FileListKind list;
            int key;
            Qt::KeyboardModifiers modifiers;
        } starts[] = {{"second", FileListKind::kLog, Qt::Key_Return, Qt::NoModifier},
                      {"third", FileListKind::kInstrument, Qt::Key_C, Qt::ControlModifier}};
        for (const auto& s : starts) {
            QVERIFY(f.Activate());
            next->setText(s.name);
            f.List(s.list)->setFocus();
            QTest::keyClick(f.List(s.list), Qt::Key(s.key), s.modifiers);
            QVERIFY(f.WaitForRunEnd());
            QCOMPARE(f.view.Outcome(), EConversionOutcome::kComplete);
            f.Dismiss();
        }
        // The new file is listed and selected in the Output list.
        QVERIFY(WaitForLists(f.view));
        QCOMPARE(f.List(FileListKind::kOutput)->currentItem()->text(), QString("third.dat"));
        QVERIFY(ReadAll(f.Out("second.dat")).size() > 100);
        QCOMPARE(ReadAll(f.Out("third.dat")), ReadAll(f.Out("second.dat")));
        QCOMPARE(questions.asked, QStringList());
    }

    // Two logs and three instrument files: six conversions, the instrument
    // fastest. "No" keeps one existing output and asks on; "Yes to All"
    // overwrites every later one without asking, for this run only.
    void runOverTwoLogsAndThreeInstruments() {
        Session f("run", ExampleLog());
        f.doc.GetParameters().process_limit = 10;
        f.SelectAll();
        for (const char* n : {"log1-inst_b.dat", "log2-inst_a.dat", "log2-inst_c.dat"})
            WriteAll(f.Out(n), "old");
        QStringList asked;
        f.Answer(asked, {"no", "yesToAll"});
        f.view.BeginConversion();
        QVERIFY(f.WaitForRunEnd());
        QCOMPARE(asked.size(), 2);
        QVERIFY(asked[0].contains("log1-inst_b.dat") && asked[1].contains("log2-inst_a.dat"));
        QCOMPARE(ReadAll(f.Out("log1-inst_b.dat")), std::string("old"));
        const std::string first = ReadAll(f.Out("log1-inst_a.dat"));
        QVERIFY(first.size() > 100);
        for (const char* n : {"log1-inst_c.dat", "log2-inst_a.dat", "log2-inst_b.dat",
                              "log2-inst_c.dat"}) {
            QCOMPARE(ReadAll(f.Out(n)), first);
        }
        // The title counts the run and shows each conversion's percentage.
        QCOMPARE(f.Counters(), QStringList({"1/6", "2/6", "3/6", "4/6", "5/6", "6/6"}));
        QVERIFY(f.titles.contains("Dravik - Conversion in Progress - 1/6 "));
        QCOMPARE(f.titles.last(), QString("Dravik - Conversion in Progress - 6/6 (100%)"));
        f.Dismiss();
        QCOMPARE(f.titles.last(), QString("Dravik"));

        // The next run asks again; Cancel ends it.
        f.Answer(asked, {"cancel"});
        f.view.BeginConversion();
        QTRY_COMPARE(asked.size(), 3);
        QTRY_VERIFY(f.front_end.Progress() == nullptr || f.front_end.Progress()->IsDone());
        if (f.front_end.Progress() != nullptr) f.Dismiss();
        QTRY_VERIFY(!f.view.IsConverting());
    }

    void cancelStopsTheWholeRun() {
        Session f("cancel", LongLog());  // still converting when the cancel comes
        f.SelectAll();
        f.view.BeginConversion();
        QTRY_VERIFY(f.front_end.Progress() != nullptr && f.Counters().size() == 1);
        f.Button()->click();
        QTRY_COMPARE(f.view.Outcome(), EConversionOutcome::kAborted);
        QVERIFY(f.WaitForRunEnd());
        f.Dismiss();
        QCOMPARE(f.Counters(), QStringList({"1/6"}));
        QVERIFY(!fs::exists(f.Out("log1-inst_b.dat")));
    }

    // While a dropped package is extracted the window answers keys; a second
    // package dropped meanwhile replaces the first, and a conversion asked
    // for meanwhile begins with the package's instrument file once it is in.
    void aPackageIsExtractedWhileTheWindowAnswers() {
        Session f("package", ExampleLog());
        f.doc.GetParameters().process_limit = 10;
        CFileListBox* instruments = f.List(FileListKind::kInstrument);
        const std::string temp = InstrumentPackageDirectory();
        instruments->SetPackageExtractor(
            [&](const std::string& path, CFrontEnd& messages, std::stop_token stop) {
                if (path.ends_with("held.zpk")) {
                    WaitForStop(stop);
                    return std::string("stopped");
                }
                return PackageEntryFileName(ExtractInstrumentPackage(messages, path, temp, stop));
            });
        QSignalSpy changed(instruments, &CFileListBox::listChanged);
        instruments->DropFile((f.dir / "held.zpk").string());
        QVERIFY(instruments->IsBusy());

        // The keyboard still moves the Log list's selection, and Ctrl+C waits.
        f.view.show();
        f.List(FileListKind::kLog)->setFocus();
        QTest::keyClick(f.List(FileListKind::kLog), Qt::Key_Down);
        QCOMPARE(f.doc.GetLogFilePath(), (f.dir / "logs" / "log2.raw").string());
        f.view.NextBox()->setFocus();
        QTest::keyClicks(f.view.NextBox(), "packaged");
        f.view.BeginConversion();
        QVERIFY(!f.view.IsConverting());

        instruments->DropFile((ExamplesDir() / "spr0117.zpk").string());
        QVERIFY(f.WaitForRunEnd());
        QCOMPARE(changed.count(), 1);
        QCOMPARE(f.view.Properties(FileListKind::kInstrument).instrument_package_file,
                 (ExamplesDir() / "spr0117.zpk").string());
        QCOMPARE(f.doc.GetInstrumentFilePath(), temp + "spr0117.cal");
        QCOMPARE(instruments->count(), 2);
        QCOMPARE(f.view.Outcome(), EConversionOutcome::kComplete);
        QVERIFY(fs::exists(f.Out("packaged.dat")));
        f.Dismiss();

        // A package of 60 MiB followed at once by a small one: the small one wins.
        WritePackage(f.dir / "big.zpk", {{"big.cal", std::string(60 << 20, '\0')}});
        // Stored by an archiver that writes "\\": the file name is what is selected.
        WritePackage(f.dir / "small.zpk", {{"Properties.txt", ""}, {"cal\\small.cal", "S"}});
        instruments->DropFile((f.dir / "big.zpk").string());
        instruments->DropFile((f.dir / "small.zpk").string());
        QVERIFY(WaitForLists(f.view));
        QCOMPARE(instruments->count(), 1);
        QCOMPARE(instruments->currentItem()->text(), QString("small.cal"));
        QVERIFY(!fs::exists(temp + "big.cal"));

        // Closing while a package is extracted stops it; the lists keep
        // what they showed.
        instruments->DropFile((f.dir / "held.zpk").string());
        QVERIFY(instruments->IsBusy());
        f.frame.reset();
        QCOMPARE(changed.count(), 2);
        QCOMPARE(f.store.GetString("Instrument View", "Instrument Package File", ""),
                 (f.dir / "small.zpk").string());
    }

    // A deep folder with its subfolders is listed in the background; a newer
    // refresh wins over one under way.
    void deepFoldersAreListedInTheBackground() {
        Session f("deep", ExampleLog());
        fs::path deep = f.dir / "tree";
        std::string last;
        for (int depth = 0; depth < 60; ++depth) {
            for (const char* leaf : {"a", "b", "c"}) fs::create_directories(deep / leaf);
            WriteAll(deep / "cast.raw", "x");
            last = (deep / "cast.raw").string().substr((f.dir / "tree").string().size() + 1);
            deep /= "b";
        }
        CListProperties& logs = f.view.Properties(FileListKind::kLog);
        logs.recursive = 1;
        logs.working_directory = (f.dir / "tree").string() + "/";
        logs.file_selected = last;
        f.view.RefreshFileLists();
        QVERIFY(f.List(FileListKind::kLog)->IsBusy());
        // Asked again before the first listing is in: only the newest shows.
        logs.working_directory = (f.dir / "logs").string() + "/";
        f.view.RefreshFileLists();
        logs.working_directory = (f.dir / "tree").string() + "/";
        f.view.RefreshFileLists();
        QVERIFY(WaitForLists(f.view));
        QCOMPARE(f.List(FileListKind::kLog)->count(), 60);
        QCOMPARE(f.List(FileListKind::kLog)->currentItem()->text(), QString::fromStdString(last));
        QCOMPARE(f.doc.GetLogFilePath(), logs.working_directory + last);
        // A list that goes while it lists stops first.
        f.view.RefreshFileLists();
        f.frame.reset();
    }

    // The header mode's pane and entry, kept for the next start; F1's
    // manual; the log window's entry, also when its close box closes it.
    void panesAndEntriesFollowTheirWindows() {
        CMemorySettings store;
        {
            Program p(store);
            p.View().InitialUpdate();
            p.frame->show();
            QVERIFY(QTest::qWaitForWindowExposed(p.frame.get()));
            QCOMPARE(p.frame->StatusPane(1)->text(), QString());
            p.frame->Action("header")->trigger();
            QCOMPARE(p.frame->StatusPane(1)->text(), QString(" H "));
            QVERIFY(ShowsCheckMark(p.frame->Action("header")));

            QTest::keyClick(p.frame.get(), Qt::Key_F1);
            auto* help = p.frame->findChild<CHelpWindow*>();
            QVERIFY(help != nullptr && help->isVisible());
            QVERIFY(help->Browser()->toPlainText().startsWith("Dravik manual"));

            p.frame->Action("conversionLog")->trigger();
            QVERIFY(p.View().LogWindow().isVisible());
            QVERIFY(ShowsCheckMark(p.frame->Action("conversionLog")));
            p.View().LogWindow().close();
            QTRY_VERIFY(!ShowsCheckMark(p.frame->Action("conversionLog")));
            QVERIFY(!p.View().IsLogWindowShown());
        }
        Program again(store);
        QCOMPARE(again.frame->StatusPane(1)->text(), QString(" H "));
    }

    void windowPositionsAreKeptAndNeverOffScreen() {
        CMemorySettings store;
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        {
            Program p(store);
            p.frame->show();
            p.frame->move(screen.x() + 30, screen.y() + 20);
            p.frame->ToolBar()->hide();
            p.frame->close();
        }
        const std::string stored = store.GetString("Window Position", "Rect", "");
        QVERIFY(QString::fromStdString(stored).startsWith(
            QString::asprintf("%04d %04d ", screen.x() + 30, screen.y() + 20)));
        {
            // Restored at the first display, with the toolbar as it was left.
            Program p(store);
            p.frame->show();
            QCOMPARE(p.frame->frameGeometry().topLeft(), QPoint(screen.x() + 30, screen.y() + 20));
            QVERIFY(p.frame->ToolBar()->isHidden());
        }
        {
            // A window never shown (a batch run) leaves the position alone.
            store.WriteString("Window Position", "Rect", "9000 9000 9400 9300");
            Program p(store);
        }
        QCOMPARE(store.GetString("Window Position", "Rect", ""),
                 std::string("9000 9000 9400 9300"));
        for (const char* gone : {"9000 9000 9400 9300", "-5000 0040 -4000 0500"}) {
            // Stored on a screen that is gone: centred where it can be seen
            // (a window wider than the screen at its left edge).
            store.WriteString("Window Position", "Rect", gone);
            Program p(store);
            p.frame->show();
            const QRect frame = p.frame->frameGeometry();
            QVERIFY(screen.contains(frame.topLeft()));
            QVERIFY(qAbs(frame.center().y() - screen.center().y()) <= 1);
            QVERIFY(qAbs(frame.center().x() - screen.center().x()) <= 1 ||
                    (frame.width() > screen.width() && frame.left() == screen.left()));
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

};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"

// The main view as a person uses it: files picked in the lists become the
// document's files and the output name, header mode, and runs over several
// selected files with their overwrite answers and cancel.
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "app/memory_settings.h"
#include "conversion_dlg.h"
#include "dravik_view.h"
#include "file_list_box.h"
#include "modal_test_support.h"
#include "window_front_end.h"

using namespace dravik;
using namespace dravik::testing;

class MainViewTest : public QObject {
    Q_OBJECT

    // Logs log1.raw, log2.raw and instruments inst_a/b/c.cal (copies of an
    // example) in their own folders, listed by a started view.
    struct Fixture {
        fs::path dir;
        CMemorySettings store;
        CWindowFrontEnd front_end{store};
        CDravikDoc doc{front_end, &store};
        CDravikView view{doc, front_end, store};
        QStringList titles;

        Fixture(const std::string& name, const std::string& log_data) : dir(ScratchDir(name)) {
            front_end.SetOwner(&view);
            doc.SetProgramDirectory(ExamplesDir().string());
            for (const char* sub : {"logs", "inst", "out"}) fs::create_directories(dir / sub);
            WriteAll(dir / "logs" / "log1.raw", log_data);
            WriteAll(dir / "logs" / "log2.raw", log_data);
            const std::string cal = ReadAll(ExamplesDir() / "spr0117.cal");
            for (const char* n : {"inst_a.cal", "inst_b.cal", "inst_c.cal"})
                WriteAll(dir / "inst" / n, cal);
            view.InitialUpdate();
            view.Properties(FileListKind::kLog).working_directory = (dir / "logs").string() + "/";
            view.Properties(FileListKind::kInstrument).working_directory =
                (dir / "inst").string() + "/";
            view.Properties(FileListKind::kOutput).working_directory = (dir / "out").string() + "/";
            view.RefreshFileLists();
            QObject::connect(&view, &CDravikView::TitleChanged,
                             [this](const QString& t) { titles << t; });
        }
        void SetMode(int mode) {
            view.Naming(NamingKind::kInstrument).Settings().file_mode = mode;
            view.Naming(NamingKind::kHeader).Settings().file_mode = mode;
            view.ApplySelectionMode();
            view.UpdateFileNames();
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
        bool WaitForRunEnd() {
            return QTest::qWaitFor(
                [&] {
                    CConversionDlg* p = front_end.Progress();
                    return p != nullptr && p->IsDone() &&
                           p->findChild<QPushButton*>("button")->text() == "OK";
                },
                60000);
        }
        void Dismiss() {
            front_end.Progress()->findChild<QPushButton*>("button")->click();
            QTRY_VERIFY(front_end.Progress() == nullptr && !view.IsConverting());
        }
    };

    static std::string ExampleLog() { return ReadAll(ExamplesDir() / "spr0117.raw"); }

  private slots:
    void selectionsBecomeTheDocumentsFiles() {
        Fixture f("names", ExampleLog());
        // User Defined: one file per list, the first one when none was chosen.
        QVERIFY(!f.List(FileListKind::kLog)->IsMultiSelection());
        QCOMPARE(f.doc.GetLogFilePath(), (f.dir / "logs" / "log1.raw").string());
        QCOMPARE(f.doc.GetInstrumentFilePath(), (f.dir / "inst" / "inst_a.cal").string());
        QCOMPARE(f.doc.GetOutputFilePath(), std::string());

        f.SetMode(kNamingFileTitles);
        QVERIFY(f.List(FileListKind::kLog)->IsMultiSelection());
        f.List(FileListKind::kInstrument)->setCurrentRow(2);
        QCOMPARE(f.doc.GetInstrumentFilePath(), (f.dir / "inst" / "inst_c.cal").string());
        QCOMPARE(f.doc.GetOutputFilePath(), f.Out("log1-inst_c.dat"));
        QCOMPARE(f.view.NextBox()->text(), QString("log1-inst_c.dat"));
        QVERIFY(f.view.NextBox()->isReadOnly());

        // Header mode: no instrument file, the list is off, the log title alone.
        f.view.ToggleHeaderConversion();
        QVERIFY(f.view.IsHeaderMode());
        QVERIFY(!f.view.ListBox(FileListKind::kInstrument)->isEnabled());
        QVERIFY(f.List(FileListKind::kInstrument)->selectedItems().isEmpty());
        QCOMPARE(f.doc.GetInstrumentFilePath(), std::string());
        QCOMPARE(f.doc.GetOutputFilePath(), f.Out("log1.dat"));
        // Leaving it brings the remembered instrument file back.
        f.view.ToggleHeaderConversion();
        QVERIFY(f.view.ListBox(FileListKind::kInstrument)->isEnabled());
        QCOMPARE(f.doc.GetInstrumentFilePath(), (f.dir / "inst" / "inst_c.cal").string());
    }

    void typedNameGetsTheExtensionAndTheOutputFolder() {
        Fixture f("typed", ExampleLog());
        f.doc.GetParameters().process_limit = 10;
        f.view.show();
        f.view.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f.view));
        f.view.NextBox()->setFocus();
        f.view.NextBox()->clear();
        QTest::keyClicks(f.view.NextBox(), "result");
        // Ctrl+C in the box begins the conversion instead of copying.
        QTest::keyClick(f.view.NextBox(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(f.view.NextBox()->text(), QString("result.dat"));
        QCOMPARE(f.doc.GetOutputFilePath(), f.Out("result.dat"));
        QVERIFY(f.WaitForRunEnd());
        QCOMPARE(f.view.Outcome(), EConversionOutcome::kComplete);
        f.Dismiss();
        // The new file is listed and selected in the Output list.
        QCOMPARE(f.List(FileListKind::kOutput)->currentItem()->text(), QString("result.dat"));

        // An empty name is refused with its message and the box gets the focus.
        f.view.NextBox()->clear();
        f.view.NextBox()->textEdited(QString());
        QString text;
        AnswerMessageBox(QMessageBox::Ok, &text);
        f.view.BeginConversion();
        QVERIFY(text.startsWith("Please select an Output file from the list provided"));
        QVERIFY(!f.view.IsConverting());
    }

    void runOverTwoLogsAndThreeInstruments() {
        Fixture f("run", ExampleLog());
        f.doc.GetParameters().process_limit = 10;
        f.SetMode(kNamingFileTitles);
        f.List(FileListKind::kLog)->selectAll();
        f.List(FileListKind::kInstrument)->selectAll();
        // The third output exists; "No" keeps it and the run goes on.
        WriteAll(f.Out("log1-inst_c.dat"), "keep me");
        bool asked = false;
        WhenModal([&asked](QWidget* modal) {
            asked = true;
            modal->findChild<QPushButton*>("no")->click();
        });
        f.view.BeginConversion();
        QVERIFY(f.WaitForRunEnd());
        QVERIFY(asked);
        QCOMPARE(f.Counters(), QStringList({"1/6", "2/6", "3/6", "4/6", "5/6", "6/6"}));
        QCOMPARE(ReadAll(f.Out("log1-inst_c.dat")), std::string("keep me"));
        // The same log and instrument data give the same output whatever the names.
        const std::string first = ReadAll(f.Out("log1-inst_a.dat"));
        QVERIFY(first.size() > 100);
        for (const char* n : {"log1-inst_b.dat", "log2-inst_a.dat", "log2-inst_b.dat",
                              "log2-inst_c.dat"}) {
            QCOMPARE(ReadAll(f.Out(n)).size(), first.size());
        }
        f.Dismiss();
        QCOMPARE(f.titles.last(), QString("Dravik"));
    }

    void cancelStopsTheWholeRun() {
        // Logs long enough to be still converting when the cancel comes.
        const std::string frames = ExampleLog();
        std::string big;
        for (int i = 0; i < 400; ++i) big += frames;
        Fixture f("cancel", big);
        f.SetMode(kNamingFileTitles);
        f.List(FileListKind::kLog)->selectAll();
        f.List(FileListKind::kInstrument)->selectAll();
        f.view.BeginConversion();
        QTRY_VERIFY(f.front_end.Progress() != nullptr && f.Counters().size() == 1);
        f.front_end.Progress()->findChild<QPushButton*>("button")->click();
        QTRY_COMPARE(f.view.Outcome(), EConversionOutcome::kAborted);
        QVERIFY(f.WaitForRunEnd());
        f.Dismiss();
        QCOMPARE(f.Counters(), QStringList({"1/6"}));
        QVERIFY(!fs::exists(f.Out("log1-inst_b.dat")));
    }
};

QTEST_MAIN(MainViewTest)
#include "main_view_test.moc"

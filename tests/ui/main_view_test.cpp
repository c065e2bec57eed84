// The main view as a person uses it: files picked in the lists become the
// document's files and the output name, header mode, and runs over several
// selected files with their overwrite answers and cancel.
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "settings/memory_settings.h"
#include "conversion_dlg.h"
#include "dravik_view.h"
#include "file_list_box.h"
#include "modal_test_support.h"
#include "window_front_end.h"

using namespace dravik;
using namespace dravik::testing;

namespace {

// A store that keeps, in order, "section/key" of every read and every write.
class CRecordingSettings : public CMemorySettings {
  public:
    mutable QStringList reads;
    QStringList writes;

    int GetInt(std::string_view section, std::string_view key, int fallback) const override {
        reads << Name(section, key);
        return CMemorySettings::GetInt(section, key, fallback);
    }
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view fallback) const override {
        reads << Name(section, key);
        return CMemorySettings::GetString(section, key, fallback);
    }
    void WriteInt(std::string_view section, std::string_view key, int value) override {
        writes << Name(section, key);
        CMemorySettings::WriteInt(section, key, value);
    }
    void WriteString(std::string_view section, std::string_view key,
                     std::string_view value) override {
        writes << Name(section, key);
        CMemorySettings::WriteString(section, key, value);
    }

    // The sections of `names` in order of first use, each once.
    static QStringList Sections(const QStringList& names) {
        QStringList sections;
        for (const QString& name : names) {
            const QString section = name.section('/', 0, 0);
            if (!sections.contains(section)) sections << section;
        }
        return sections;
    }

  private:
    static QString Name(std::string_view section, std::string_view key) {
        return QString::fromUtf8(section.data(), qsizetype(section.size())) + '/' +
               QString::fromUtf8(key.data(), qsizetype(key.size()));
    }
};

// The sections the view owns, key by key in the order they are written.
QStringList ViewSectionWrites() {
    QStringList keys;
    auto add = [&keys](const char* section, std::initializer_list<const char*> names) {
        for (const char* name : names) keys << QString("%1/%2").arg(section, name);
    };
    add("Parameters", {"Delimiter", "Immersed", "Time Tags", "Time Tags Formatted",
                       "Suppress Strings", "Show Extra", "Check Sum Checking",
                       "Frame Counter Checking", "Process Limit", "Process Depth", "Double Type",
                       "Apply Fit", "Hex Format", "Width", "Precision", "Buffer"});
    const auto list = {"Working Directory", "File Selected", "File Filter", "Sort Type",
                       "Sort Direction", "Recursive"};
    add("Log View", list);
    add("Instrument View", {"Use Working Directory", "Instrument Package File"});
    add("Instrument View", list);
    add("Output View", list);
    const auto naming = {"File Base", "File Increment", "File Extension", "File Mode",
                         "Increment Type"};
    add("Instrument Conversion", naming);
    add("Header Conversion", naming);
    add("View", {"Default Outfile", "ConvertHeader"});
    return keys;
}

bool IsViewSection(const QString& name) {
    static const QStringList sections = CRecordingSettings::Sections(ViewSectionWrites());
    return sections.contains(name.section('/', 0, 0));
}

QStringList OnlyViewSections(const QStringList& names) {
    QStringList kept;
    for (const QString& name : names)
        if (IsViewSection(name)) kept << name;
    return kept;
}

}  // namespace

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
    void settingsAreReadAndSavedAtTheirMoments() {
        const fs::path dir = ScratchDir("moments");
        WriteAll(dir / "cast.raw", "x");
        CRecordingSettings store;
        store.WriteString("View", "Default Outfile", "typed.dat");
        store.WriteString("Parameters", "Delimiter", ",");
        store.WriteString("Log View", "Working Directory", dir.string() + "/");
        store.WriteString("Header Conversion", "File Extension", "hdr");
        store.writes.clear();
        {
            CWindowFrontEnd front_end(store);
            store.reads.clear();
            CDravikDoc doc(front_end, &store);
            QCOMPARE(CRecordingSettings::Sections(store.reads), QStringList({"Settings"}));
            store.reads.clear();
            {
                // Construction reads only the view's own section.
                CDravikView view(doc, front_end, store);
                QCOMPARE(CRecordingSettings::Sections(OnlyViewSections(store.reads)),
                         QStringList({"View"}));
                QCOMPARE(view.NextBox()->text(), QString("typed.dat"));
                store.reads.clear();
                // The start reads the lists, the namings, then the parameters.
                view.InitialUpdate();
                QCOMPARE(CRecordingSettings::Sections(OnlyViewSections(store.reads)),
                         QStringList({"Log View", "Instrument View", "Output View",
                                      "Instrument Conversion", "Header Conversion",
                                      "Parameters"}));
                QCOMPARE(doc.GetParameters().delimiter, std::string(","));
                QCOMPARE(doc.GetLogFilePath(), (dir / "cast.raw").string());
                QCOMPARE(view.Naming(NamingKind::kHeader).Settings().file_extension,
                         std::string("hdr"));
                view.ToggleHeaderConversion();
                doc.GetParameters().process_limit = 25;
                QVERIFY(OnlyViewSections(store.writes).isEmpty());
            }
            // Save Settings on: every key of the view's sections, in order.
            QCOMPARE(OnlyViewSections(store.writes), ViewSectionWrites());
            QVERIFY(!store.writes.contains("Settings/Save Settings"));
        }
        QVERIFY(store.writes.contains("Settings/Save Settings"));
        QCOMPARE(store.GetInt("Parameters", "Process Limit", 0), 25);
        QCOMPARE(store.GetInt("View", "ConvertHeader", 0), 1);
        QCOMPARE(store.GetString("Parameters", "Delimiter", ""), std::string(","));

        // Save Settings off: the view writes nothing, the document still
        // writes "Settings".
        store.writes.clear();
        {
            CWindowFrontEnd front_end(store);
            CDravikDoc doc(front_end, &store);
            {
                CDravikView view(doc, front_end, store);
                view.InitialUpdate();
                view.ToggleHeaderConversion();
                doc.GetParameters().process_limit = 99;
                CAppSettings settings = doc.GetAppSettings();
                settings.save_settings = 0;
                doc.SetAppSettings(settings);
            }
            QCOMPARE(OnlyViewSections(store.writes), QStringList());
        }
        QCOMPARE(store.GetInt("Settings", "Save Settings", -5), 0);
        QCOMPARE(store.GetInt("Parameters", "Process Limit", 0), 25);
        QCOMPARE(store.GetInt("View", "ConvertHeader", 0), 1);

        // A view never started (a batch run) neither reads nor writes the
        // sections of the start, whatever Save Settings says.
        store.WriteInt("Settings", "Save Settings", 1);
        store.writes.clear();
        store.reads.clear();
        {
            CWindowFrontEnd front_end(store);
            CDravikDoc doc(front_end, &store);
            CDravikView view(doc, front_end, store);
            doc.GetParameters().process_limit = 7;
        }
        QCOMPARE(CRecordingSettings::Sections(OnlyViewSections(store.reads)),
                 QStringList({"View"}));
        QCOMPARE(OnlyViewSections(store.writes), QStringList());
    }

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

    void yesToAllOverwritesEveryLaterOutputWithoutAsking() {
        Fixture f("all", ExampleLog());
        f.doc.GetParameters().process_limit = 10;
        f.SetMode(kNamingFileTitles);
        f.List(FileListKind::kLog)->selectAll();
        f.List(FileListKind::kInstrument)->selectAll();
        // Old outputs of an earlier run: the second, fourth and sixth pair.
        const char* old_outputs[] = {"log1-inst_b.dat", "log2-inst_a.dat", "log2-inst_c.dat"};
        for (const char* n : old_outputs) WriteAll(f.Out(n), "old");
        int asked = 0;
        QString question;
        WhenModal([&](QWidget* modal) {
            ++asked;
            question = modal->findChild<QLabel*>("message")->text();
            modal->findChild<QPushButton*>("yesToAll")->click();
        });
        f.view.BeginConversion();
        QVERIFY(f.WaitForRunEnd());
        // Asked once, about the first existing output; the rest overwritten.
        QCOMPARE(asked, 1);
        QVERIFY(question.contains("log1-inst_b.dat"));
        const std::string first = ReadAll(f.Out("log1-inst_a.dat"));
        QVERIFY(first.size() > 100);
        for (const char* n : {"log1-inst_b.dat", "log1-inst_c.dat", "log2-inst_a.dat",
                              "log2-inst_b.dat", "log2-inst_c.dat"}) {
            QCOMPARE(ReadAll(f.Out(n)), first);
        }
        // The title counts the run and shows each conversion's percentage.
        QCOMPARE(f.Counters(), QStringList({"1/6", "2/6", "3/6", "4/6", "5/6", "6/6"}));
        QVERIFY(f.titles.contains("Dravik - Conversion in Progress - 1/6 "));
        QVERIFY(f.titles.contains("Dravik - Conversion in Progress - 1/6 (100%)"));
        QVERIFY(f.titles.contains("Dravik - Conversion in Progress - 6/6 (100%)"));
        QCOMPARE(f.titles.last(), QString("Dravik - Conversion in Progress - 6/6 (100%)"));
        f.Dismiss();
        QCOMPARE(f.titles.last(), QString("Dravik"));

        // A later run asks again: "Yes to All" held for its own run only.
        asked = 0;
        WhenModal([&](QWidget* modal) {
            ++asked;
            modal->findChild<QPushButton*>("cancel")->click();
        });
        f.view.BeginConversion();
        QTRY_COMPARE(asked, 1);
        QTRY_VERIFY(f.front_end.Progress() == nullptr || f.front_end.Progress()->IsDone());
        if (f.front_end.Progress() != nullptr) f.Dismiss();
        QTRY_VERIFY(!f.view.IsConverting());
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

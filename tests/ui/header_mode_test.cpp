// The main window in header mode: nothing stays selected in the disabled
// Instrument list, whatever the namings' selection modes.
#include <QGroupBox>
#include <QtTest>

#include "dravik_view.h"
#include "main_frame.h"
#include "ui_test_support.h"
#include "settings/memory_settings.h"
#include "window_front_end.h"

using namespace dravik;
using namespace dravik::testing;

class HeaderModeTest : public QObject {
    Q_OBJECT

    struct Program {
        CMemorySettings store;
        CWindowFrontEnd front_end{store};
        CDravikDoc doc{front_end, &store};
        std::unique_ptr<CMainFrame> frame;
        explicit Program(const fs::path& dir) {
            for (const char* section : {"Log View", "Output View"})
                store.WriteString(section, "Working Directory", dir.string() + "/");
            store.WriteString("Instrument View", "Working Directory",
                              (dir / "inst").string() + "/");
            store.WriteString("Instrument View", "File Filter", "*.*");
            frame = std::make_unique<CMainFrame>(doc, front_end, store, CProductInfo{});
            View().InitialUpdate();
            WaitForLists(View());
        }
        CDravikView& View() { return frame->View(); }
    };

  private slots:
    void headerModeShowsNoInstrumentFile() {
        const fs::path dir = ScratchDir("header_selection");
        WriteAll(dir / "cast.raw", "x");
        fs::create_directories(dir / "inst");
        for (const char* name : {"nav0001.tdf", "spr0117.cal", "spr0118.cal"})
            WriteAll(dir / "inst" / name, ReadAll(ExamplesDir() / "spr0117.cal"));
        // Instrument and header namings; the header naming changed while in
        // header mode, as the File Naming dialog does.
        const struct {
            int instrument, header, header_later;
        } cases[] = {
            {kNamingFileTitles, kNamingUserDefined, kNamingUserDefined},
            {kNamingAutoIncrement, kNamingFileTitles, kNamingUserDefined},
            {kNamingUserDefined, kNamingUserDefined, kNamingFileTitles},
            {kNamingUserDefined, kNamingFileTitles, kNamingUserDefined},
        };
        for (const auto& c : cases) {
            Program p(dir);
            CDravikView& view = p.View();
            view.Naming(NamingKind::kInstrument).Settings().file_mode = c.instrument;
            view.Naming(NamingKind::kHeader).Settings().file_mode = c.header;
            view.ApplySelectionMode();
            CFileListBox* instruments = view.List(FileListKind::kInstrument);
            instruments->setCurrentRow(0);
            if (instruments->IsMultiSelection()) instruments->item(1)->setSelected(true);

            p.frame->Action("header")->trigger();
            view.Naming(NamingKind::kHeader).Settings().file_mode = c.header_later;
            view.ApplySelectionMode();
            QVERIFY(!view.ListBox(FileListKind::kInstrument)->isEnabled());
            QStringList highlighted;
            for (const QListWidgetItem* item : instruments->selectedItems())
                highlighted << item->text();
            QCOMPARE(highlighted, QStringList());
            QCOMPARE(p.doc.GetInstrumentFilePath(), std::string());
            // Leaving header mode brings the first file selected back.
            p.frame->Action("header")->trigger();
            QCOMPARE(p.doc.GetInstrumentFilePath(), (dir / "inst" / "nav0001.tdf").string());
        }
    }
};

QTEST_MAIN(HeaderModeTest)
#include "header_mode_test.moc"

// The main window's modes as they show: header mode leaves nothing selected in
// the disabled Instrument list, whatever the namings' selection modes, and the
// menu entries that switch a mode on show a check mark while it is on.
#include <QGroupBox>
#include <QMenu>
#include <QStyleOptionMenuItem>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

#include "dravik_view.h"
#include "main_frame.h"
#include "ui_test_support.h"
#include "settings/memory_settings.h"
#include "window_front_end.h"

using namespace dravik;
using namespace dravik::testing;

namespace {

// What the style is given to draw a menu entry with.
struct MenuLook : QMenu {
    using QMenu::initStyleOption;
};

QStyleOptionMenuItem MenuEntryLook(QAction* action) {
    QStyleOptionMenuItem look;
    for (QObject* user : action->associatedObjects()) {
        if (auto* menu = qobject_cast<QMenu*>(user)) {
            auto draw = &MenuLook::initStyleOption;
            (menu->*draw)(&look, action);
        }
    }
    return look;
}

}  // namespace

class MainWindowModesTest : public QObject {
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

    void modeEntriesShowACheckMark() {
        Program p(ScratchDir("check_marks"));
        for (const char* entry : {"header", "conversionLog"}) {
            QAction* action = p.frame->Action(entry);
            for (const bool on : {true, false}) {
                action->trigger();
                const QStyleOptionMenuItem look = MenuEntryLook(action);
                QCOMPARE(look.checkType, QStyleOptionMenuItem::NonExclusive);
                QCOMPARE(look.checked, on);
                // An entry with an icon shows "on" as a sunken icon only.
                QVERIFY2(look.icon.isNull(), entry);
                auto* button =
                    qobject_cast<QToolButton*>(p.frame->ToolBar()->widgetForAction(action));
                QVERIFY(button != nullptr && !button->icon().isNull());
            }
        }
    }
};

QTEST_MAIN(MainWindowModesTest)
#include "main_window_modes_test.moc"

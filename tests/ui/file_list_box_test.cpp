// The file lists: sorting, keeping the selection in step, and dropped files.
#include <fcntl.h>
#include <sys/stat.h>

#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>
#include <fstream>

#include "file_list_box.h"
#include "ui_test_support.h"

using namespace dravik;

namespace {

std::vector<std::string> Names(const std::vector<CListedFile>& files) {
    std::vector<std::string> names;
    for (const CListedFile& f : files) names.push_back(f.name);
    return names;
}

const char* const kEclair =
    "\xc3\xa9"
    "clair";

CListedFile File(const char* name, std::uint64_t size, std::int64_t modified = 0) {
    return CListedFile{name, size, modified};
}

class CRecordingList : public dravik::testing::CRecording<CFileListBox> {
  public:
    using CFileListBox::dropEvent;
};

}  // namespace

class FileListBoxTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::string Dir() const { return m_dir.path().toStdString() + "/"; }
    void Make(const char* name, int size, long seconds) {
        const std::string path = Dir() + name;
        std::ofstream(path, std::ios::binary) << std::string(static_cast<std::size_t>(size), 'x');
        const timespec times[2] = {{seconds, 0}, {seconds, 0}};
        QVERIFY(utimensat(AT_FDCWD, path.c_str(), times, 0) == 0);
    }

  private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        Make("beta.raw", 30, 2000);
        Make("Alpha.raw", 10, 3000);
        Make("gamma.raw", 20, 1000);
        Make("notes.txt", 5, 1000);
    }

    void sortKeepsEqualKeysInListingOrder() {
        const QLocale english(QLocale::English, QLocale::UnitedStates);
        CSortableStringList list({File("c", 2), File("a", 1), File("b", 2), File("d", 1)});
        list.Sort(CSortProperties(kSortSize, kSortAscending, english));
        QCOMPARE(Names(list.Files()), (std::vector<std::string>{"a", "d", "c", "b"}));
        list.Sort(CSortProperties(kSortSize, kSortDescending, english));
        QCOMPARE(Names(list.Files()), (std::vector<std::string>{"c", "b", "a", "d"}));
        // An unknown sort type leaves the order alone; a sub-range sorts alone.
        list.Sort(CSortProperties(7, kSortAscending, english));
        QCOMPARE(Names(list.Files()), (std::vector<std::string>{"c", "b", "a", "d"}));
        list.Sort(1, 5, CSortProperties(kSortName, kSortAscending, english));
        QCOMPARE(Names(list.Files()), (std::vector<std::string>{"c", "a", "b", "d"}));
    }

    void sortsNamesByLanguageAndDatesNewestFirst() {
        const QLocale english(QLocale::English, QLocale::UnitedStates);
        CSortableStringList list({File("cherry", 0, 5), File("Banana", 0, 9), File("apple", 0, 1),
                                  File(kEclair, 0, 7), File("apple", 0, 3)});
        list.Sort(CSortProperties(kSortName, kSortAscending, english));
        // Capitals and accents sort with their letters, not by code point.
        QCOMPARE(Names(list.Files()),
                 (std::vector<std::string>{"apple", "apple", "Banana", "cherry", kEclair}));
        QCOMPARE(list.Files()[0].modified_ns, std::int64_t{1});  // equal names keep their order
        list.Sort(CSortProperties(kSortDate, kSortDescending, english));
        QCOMPARE(Names(list.Files()),
                 (std::vector<std::string>{"Banana", kEclair, "cherry", "apple", "apple"}));
    }

    void refreshListsSortsAndSelectsTheRememberedFile() {
        CListProperties props(FileListKind::kLog, Dir());
        props.sort_type = kSortDate;
        props.sort_direction = kSortDescending;
        props.file_selected = "BETA.RAW";  // remembered names match in either case
        CFileListBox list;
        list.SetProperties(&props);
        list.Refresh();
        QCOMPARE(Names(list.Files()),
                 (std::vector<std::string>{"Alpha.raw", "beta.raw", "gamma.raw"}));
        QCOMPARE(list.count(), 3);
        QCOMPARE(list.selectedItems().size(), 1);
        QCOMPARE(list.selectedItems()[0]->text(), QStringLiteral("beta.raw"));
        // The properties take the name on disk: that is the file converted.
        QCOMPARE(props.file_selected, std::string("beta.raw"));

        // With nothing remembered the first file is taken.
        props.file_selected.clear();
        list.Refresh();
        QCOMPARE(props.file_selected, std::string("Alpha.raw"));
        QCOMPARE(list.currentRow(), 0);

        // Names that differ only in case are different files: the exact one wins.
        QTemporaryDir twins;
        std::ofstream(twins.path().toStdString() + "/x.raw") << "1";
        std::ofstream(twins.path().toStdString() + "/X.raw") << "12";
        props.working_directory = twins.path().toStdString() + "/";
        props.sort_type = kSortSize;
        props.sort_direction = kSortAscending;
        props.file_selected = "X.raw";
        list.Refresh();
        QCOMPARE(list.selectedItems()[0]->text(), QStringLiteral("X.raw"));

        // A folder that cannot be listed shows nothing and forgets the selection.
        props.working_directory = Dir() + "missing/";
        list.Refresh();
        QCOMPARE(list.count(), 0);
        QCOMPARE(props.file_selected, std::string());
    }

    void wideNamesScrollSideways() {
        QTemporaryDir dir;
        const std::string name(200, 'w');
        std::ofstream(dir.path().toStdString() + "/" + name + ".raw") << "x";
        CListProperties props(FileListKind::kLog, dir.path().toStdString() + "/");
        CFileListBox list;
        list.SetProperties(&props);
        list.resize(120, 200);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        list.Refresh();
        QTRY_VERIFY(list.horizontalScrollBar()->maximum() > 0);
    }

    void selectionFollowsTheSelectionMode() {
        CListProperties props(FileListKind::kLog, Dir());
        CFileListBox list;
        list.SetProperties(&props);
        list.SetMultiSelection(true);
        list.Refresh();
        QSignalSpy changed(&list, &CFileListBox::selectionSynchronized);
        list.selectionModel()->select(list.model()->index(2, 0), QItemSelectionModel::Select);
        list.selectionModel()->setCurrentIndex(list.model()->index(1, 0),
                                               QItemSelectionModel::Select);
        QVERIFY(changed.count() >= 1);
        QCOMPARE(props.selected_count, 3);
        QCOMPARE(props.selected_names,
                 (std::vector<std::string>{"Alpha.raw", "beta.raw", "gamma.raw"}));
        QCOMPARE(props.file_selected, std::string("Alpha.raw"));

        // One file at a time: only the item under the caret stays selected.
        list.SetMultiSelection(false);
        QCOMPARE(list.selectedItems().size(), 1);
        QCOMPARE(list.selectedItems()[0]->text(), QStringLiteral("beta.raw"));
        QCOMPARE(props.file_selected, std::string("beta.raw"));
        QCOMPARE(props.selected_count, 0);
        QVERIFY(props.selected_names.empty());
    }

    void droppedFilesChangeTheListByKindAndExtension() {
        CListProperties log_props(FileListKind::kLog, "/");
        log_props.recursive = 0;
        CFileListBox log_list;
        log_list.SetProperties(&log_props);
        QSignalSpy log_changed(&log_list, &CFileListBox::listChanged);
        log_list.DropFile(Dir() + "notes.txt");
        QCOMPARE(log_changed.count(), 1);
        QCOMPARE(log_props.working_directory, Dir());
        QCOMPARE(log_props.file_filter, std::string("*.txt"));
        QCOMPARE(log_props.file_selected, std::string("notes.txt"));
        QCOMPARE(log_list.count(), 1);

        QTemporaryDir temp;
        std::ofstream(temp.path().toStdString() + "/inst01.cal") << "x";
        CListProperties props(FileListKind::kInstrument, "/");
        CRecordingList list;
        list.SetKind(FileListKind::kInstrument);
        list.SetProperties(&props);
        list.SetTemporaryDirectory(temp.path().toStdString() + "/");
        std::string extracted_from;
        list.SetPackageExtractor([&](const std::string& package) {
            extracted_from = package;
            return std::string("cals/inst01.cal");
        });
        QSignalSpy changed(&list, &CFileListBox::listChanged);

        list.DropFile(Dir() + "notes.txt");
        QCOMPARE(list.messages,
                 QStringList{QString::fromStdString(
                     "The file extension for " + Dir() +
                     "notes.txt \r\nis not an Instrument Package/Calibration/TDF file.")});
        QCOMPARE(changed.count(), 0);
        QCOMPARE(props.working_directory, std::string("/"));

        list.DropFile(Dir() + "deploy.ZPK");  // the extension counts in lower case
        QCOMPARE(extracted_from, Dir() + "deploy.ZPK");
        QCOMPARE(props.use_working_directory, 0);
        QCOMPARE(props.instrument_package_file, Dir() + "deploy.ZPK");
        QCOMPARE(props.file_selected, std::string("inst01.cal"));
        QCOMPARE(list.count(), 1);
        QCOMPARE(list.selectedItems()[0]->text(), QStringLiteral("inst01.cal"));

        list.DropFile(Dir() + "gamma.TDF");
        QCOMPARE(props.use_working_directory, 1);
        QCOMPARE(props.file_filter, std::string("*.TDF"));
        QCOMPARE(changed.count(), 2);
        QCOMPARE(list.messages.size(), 1);
    }

    void dropsTakeOnlyTheFirstLocalFile() {
        CListProperties props(FileListKind::kOutput, "/");
        CRecordingList list;
        list.SetKind(FileListKind::kOutput);
        list.SetProperties(&props);
        QMimeData mime;
        mime.setUrls({QUrl(QStringLiteral("https://example.org/a.dat")),
                      QUrl::fromLocalFile(QString::fromStdString(Dir() + "beta.raw")),
                      QUrl::fromLocalFile(QString::fromStdString(Dir() + "notes.txt"))});
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        list.dropEvent(&drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(props.file_selected, std::string("beta.raw"));
        QCOMPARE(props.file_filter, std::string("*.raw"));
    }
};

QTEST_MAIN(FileListBoxTest)
#include "file_list_box_test.moc"

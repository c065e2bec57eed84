// The file lists: sorting, keeping the selection in step, and dropped files
// and packages.
#include <fcntl.h>
#include <sys/stat.h>

#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>
#include <fstream>

#include "conversion/front_end.h"
#include "file_list_box.h"
#include "ui_test_support.h"

using namespace dravik;

namespace {

// Refreshes a list and waits for its listing to be in.
bool Listed(CFileListBox& list) {
    list.Refresh();
    return QTest::qWaitFor([&list] { return !list.IsBusy(); }, 30000);
}

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

    void sortsByEachKeyKeepingEqualKeysInListingOrder() {
        using Order = std::vector<std::string>;
        const QLocale english(QLocale::English, QLocale::UnitedStates);
        const std::vector<CListedFile> files = {File("cherry", 2, 5), File("Banana", 1, 9),
                                                File("apple", 2, 1), File(kEclair, 1, 7),
                                                File("apple", 3, 3)};
        const struct {
            int type;
            int direction;
            Order expected;
        } cases[] = {
            // Capitals and accents sort with their letters, not by code point.
            {kSortName, kSortAscending, {"apple", "apple", "Banana", "cherry", kEclair}},
            {kSortName, kSortDescending, {kEclair, "cherry", "Banana", "apple", "apple"}},
            {kSortDate, kSortDescending, {"Banana", kEclair, "cherry", "apple", "apple"}},
            {kSortSize, kSortAscending, {"Banana", kEclair, "cherry", "apple", "apple"}},
            {kSortSize, kSortDescending, {"apple", "cherry", "apple", "Banana", kEclair}},
            {7, kSortAscending, {"cherry", "Banana", "apple", kEclair, "apple"}},  // unknown: as listed
        };
        for (const auto& c : cases) {
            CSortableStringList list(files);
            list.Sort(CSortProperties(c.type, c.direction, english));
            QCOMPARE(Names(list.Files()), c.expected);
        }
        // Equal names keep their order; a sub-range sorts alone.
        CSortableStringList list(files);
        list.Sort(CSortProperties(kSortName, kSortAscending, english));
        QCOMPARE(list.Files()[0].modified_ns, std::int64_t{1});
        list = CSortableStringList(files);
        list.Sort(1, 3, CSortProperties(kSortName, kSortAscending, english));
        QCOMPARE(Names(list.Files()), (Order{"cherry", "apple", "Banana", kEclair, "apple"}));
    }

    void refreshListsSortsAndSelectsTheRememberedFile() {
        CListProperties props(FileListKind::kLog, Dir());
        props.sort_type = kSortDate;
        props.sort_direction = kSortDescending;
        props.file_selected = "BETA.RAW";  // remembered names match in either case
        CFileListBox list;
        list.SetProperties(&props);
        QVERIFY(Listed(list));
        QCOMPARE(Names(list.Files()),
                 (std::vector<std::string>{"Alpha.raw", "beta.raw", "gamma.raw"}));
        QCOMPARE(list.count(), 3);
        QCOMPARE(list.selectedItems().size(), 1);
        QCOMPARE(list.selectedItems()[0]->text(), QStringLiteral("beta.raw"));
        // The properties take the name on disk: that is the file converted.
        QCOMPARE(props.file_selected, std::string("beta.raw"));

        // With nothing remembered the first file is taken.
        props.file_selected.clear();
        QVERIFY(Listed(list));
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
        QVERIFY(Listed(list));
        QCOMPARE(list.selectedItems()[0]->text(), QStringLiteral("X.raw"));

        // A folder that cannot be listed shows nothing and forgets the selection.
        props.working_directory = Dir() + "missing/";
        QVERIFY(Listed(list));
        QCOMPARE(list.count(), 0);
        QCOMPARE(props.file_selected, std::string());
    }

    void selectionFollowsTheSelectionMode() {
        CListProperties props(FileListKind::kLog, Dir());
        CFileListBox list;
        list.SetProperties(&props);
        list.SetMultiSelection(true);
        QVERIFY(Listed(list));
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
        QTemporaryDir temp;
        std::ofstream(temp.path().toStdString() + "/inst01.cal") << "x";
        CListProperties props(FileListKind::kInstrument, "/");
        CRecordingList list;
        list.SetKind(FileListKind::kInstrument);
        list.SetProperties(&props);
        list.SetTemporaryDirectory(temp.path().toStdString() + "/");
        list.SetPackageExtractor([](const std::string&, CFrontEnd& messages, std::stop_token) {
            messages.ShowMessage("The file a\r\ncould not be extracted");
            return std::string("inst01.cal");
        });
        QSignalSpy changed(&list, &CFileListBox::listChanged);
        const QString refusal = QString::fromStdString(
            "The file extension for " + Dir() +
            "notes.txt \r\nis not an Instrument Package/Calibration/TDF file.");
        list.DropFile(Dir() + "notes.txt");
        QCOMPARE(list.messages, QStringList{refusal});
        QCOMPARE(props.working_directory, std::string("/"));

        // A package is extracted in the background; its messages, then the
        // change, come when it is done.
        list.DropFile(Dir() + "deploy.ZPK");  // the extension counts in lower case
        QVERIFY(list.IsBusy());
        QCOMPARE(props.use_working_directory, 1);
        QTRY_COMPARE(changed.count(), 1);
        QCOMPARE(list.messages, QStringList({refusal, "The file a\r\ncould not be extracted"}));
        QCOMPARE(props.use_working_directory, 0);
        QCOMPARE(props.instrument_package_file, Dir() + "deploy.ZPK");
        QTRY_VERIFY(!list.IsBusy());
        QCOMPARE(list.selectedItems()[0]->text(), QStringLiteral("inst01.cal"));

        list.DropFile(Dir() + "gamma.TDF");
        QCOMPARE(props.use_working_directory, 1);
        QCOMPARE(props.file_filter, std::string("*.TDF"));
        QCOMPARE(changed.count(), 2);
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

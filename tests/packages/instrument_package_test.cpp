// Instrument packages: archives written here with libzip (and damaged on
// purpose), extracted into a session folder under a scratch root; every test
// checks the messages and the whole contents of the folder.
#include "packages/instrument_package.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "../conversion/conversion_test_support.h"
#include "conversion/recording_front_end.h"

namespace dravik {
namespace {

namespace fs = std::filesystem;
using testing::ReadAll;
using testing::ScratchDir;
using testing::WriteAll;

const std::string kOpenFailed = " \r\ncould not be opened.";
std::string EntryMessage(const std::string& name) {
    return "The file " + name + "\r\ncould not be extractedfrom the Instrument Package file.";
}

struct Item {
    std::string name;
    std::string data;
    bool deflate = true;
    zip_uint32_t unix_mode = 0;  // 0: left to the writer
    zip_uint32_t dos_attributes = 0;
};

void WritePackage(const fs::path& path, const std::vector<Item>& items) {
    int error = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(z, nullptr);
    for (const Item& item : items) {
        zip_source_t* source = zip_source_buffer(z, item.data.data(), item.data.size(), 0);
        const zip_int64_t index = zip_file_add(z, item.name.c_str(), source, ZIP_FL_ENC_UTF_8);
        ASSERT_GE(index, 0) << item.name << ": " << zip_strerror(z);
        zip_set_file_compression(z, index, item.deflate ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0);
        if (item.unix_mode != 0)
            zip_file_set_external_attributes(z, index, 0, ZIP_OPSYS_UNIX, item.unix_mode << 16);
        if (item.dos_attributes != 0)
            zip_file_set_external_attributes(z, index, 0, ZIP_OPSYS_DOS, item.dos_attributes);
    }
    ASSERT_EQ(zip_close(z), 0) << zip_strerror(z);
}

// Makes the headers of entry `name` claim `size` bytes once inflated.
void ClaimSize(std::string& archive, const std::string& name, std::uint32_t size) {
    for (std::size_t at = archive.find(name); at != std::string::npos;
         at = archive.find(name, at + 1)) {
        // The name follows a 30-byte local or a 46-byte central header.
        const bool local = archive.compare(at - 30, 4, "PK\3\4") == 0;
        const std::size_t field = local ? at - 30 + 22 : at - 46 + 24;
        for (int i = 0; i < 4; ++i) archive[field + i] = static_cast<char>(size >> (8 * i));
    }
}

// Every name in a folder with its contents; folders show as "<folder>",
// files beyond 64 KiB by their size, so that a failure stays readable.
std::map<std::string, std::string> Contents(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(dir)) {
        std::string& shown = files[e.path().filename().string()];
        if (e.is_symlink()) {
            shown = "<link>";
        } else if (e.is_directory()) {
            shown = "<folder>";
        } else if (e.file_size() > (64u << 10)) {
            shown = "<" + std::to_string(e.file_size()) + " bytes>";
        } else {
            shown = ReadAll(e.path());
        }
    }
    return files;
}

class PackageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = ScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::string error;
        session_ = CPackageDirectory::Create(CPackageDirectory::EKind::kPrivate, error,
                                             (dir_ / "TEMP").string());
        ASSERT_TRUE(session_) << error;
    }

    CPackageExtraction Extract(const fs::path& package, const CPackageLimits& limits = {}) {
        front_end_.messages.clear();
        return ExtractPackage(front_end_, package.string(), *session_, limits);
    }
    std::map<std::string, std::string> Extracted() const { return Contents(session_->GetPath()); }

    fs::path dir_;
    std::unique_ptr<CPackageDirectory> session_;
    CRecordingFrontEnd front_end_;
};

using Files = std::map<std::string, std::string>;
using Messages = std::vector<std::string>;

TEST_F(PackageTest, ExtractsFlatWithoutPropertiesAndANewPackageReplacesTheLast) {
    WritePackage(dir_ / "a.zpk", {{"meta/PROPERTIES.TXT", "name=cast"},
                                  {"cal/spr0117.cal", "INSTRUMENT SPR\n", true},
                                  {"nav0001.tdf", "INSTRUMENT NAV\n", false}});
    CPackageExtraction a = Extract(dir_ / "a.zpk");
    EXPECT_TRUE(a.opened);
    EXPECT_EQ(a.FirstEntry(), "cal/spr0117.cal");
    EXPECT_EQ(front_end_.messages, Messages{});
    EXPECT_EQ(Extracted(),
              (Files{{"spr0117.cal", "INSTRUMENT SPR\n"}, {"nav0001.tdf", "INSTRUMENT NAV\n"}}));

    // Only the properties: nothing extracted, and the last package's files gone.
    WritePackage(dir_ / "b.zpk", {{"properties.txt", "x"}});
    CPackageExtraction b = Extract(dir_ / "b.zpk");
    EXPECT_TRUE(b.opened);
    EXPECT_EQ(b.FirstEntry(), "");
    EXPECT_EQ(front_end_.messages, Messages{});
    EXPECT_EQ(Extracted(), Files{});

    // A package in the folder itself is read before the folder is emptied.
    WritePackage(fs::path(session_->GetPath()) / "inner.zpk", {{"x.cal", "X"}});
    EXPECT_EQ(Extract(fs::path(session_->GetPath()) / "inner.zpk").FirstEntry(), "x.cal");
    EXPECT_EQ(Extracted(), (Files{{"x.cal", "X"}}));
}

TEST_F(PackageTest, LaterEntriesOfAnExtractedFileNameAreRefused) {
    WritePackage(dir_ / "p.zpk", {{"a/x.cal", "first"},
                                  {"b/x.cal", "second"},
                                  {"x.cal", "third"},
                                  {"b/Properties.txt", "a second properties entry is a file"}});
    CPackageExtraction p = Extract(dir_ / "p.zpk");
    EXPECT_EQ(p.FirstEntry(), "a/x.cal");
    EXPECT_EQ(front_end_.messages, (Messages{EntryMessage("b/x.cal"), EntryMessage("x.cal")}));
    EXPECT_EQ(Extracted(), (Files{{"x.cal", "first"}}));
    // Only the first "Properties.txt" is the package's properties.
    WritePackage(dir_ / "q.zpk", {{"Properties.txt", "p"}, {"b/Properties.txt", "q"}});
    Extract(dir_ / "q.zpk");
    EXPECT_EQ(Extracted(), (Files{{"Properties.txt", "q"}}));
}

TEST_F(PackageTest, HostileNamesAndLinksNeverReachOutsideTheFolder) {
    WritePackage(dir_ / "h.zpk", {{"../../escape.cal", "E"},
                                  {"/abs/absolute.cal", "A"},
                                  {"..", "dots"},
                                  {"a/..", "dots"},
                                  {".", "dot"},
                                  {"folder/", ""},
                                  {"C:\\cal\\win.cal", "W"},
                                  {"nulXname.cal", "N"},
                                  {"tab\tname.cal", "T"},
                                  {"link.cal", "/etc/passwd", false, S_IFLNK | 0777},
                                  {"fifo.cal", "", false, S_IFIFO | 0644},
                                  {"dosdir.cal", "", false, 0, 0x10},  // a DOS folder
                                  {"dosfile.cal", "F", false, 0, 0x20},
                                  {"plain.cal", "P", false, S_IFREG | 0644}});
    // A NUL inside a stored name (in the local and the central header).
    std::string bytes = ReadAll(dir_ / "h.zpk");
    for (std::size_t at; (at = bytes.find("nulXname")) != std::string::npos;) bytes[at + 3] = '\0';
    WriteAll(dir_ / "h.zpk", bytes);

    CPackageExtraction h = Extract(dir_ / "h.zpk");
    EXPECT_TRUE(h.opened);
    EXPECT_EQ(h.FirstEntry(), "../../escape.cal");
    EXPECT_EQ(front_end_.messages,
              (Messages{EntryMessage(".."), EntryMessage("a/.."), EntryMessage("."),
                        EntryMessage("folder/"), EntryMessage("nul name.cal"),
                        EntryMessage("tab\tname.cal"), EntryMessage("link.cal"),
                        EntryMessage("fifo.cal"), EntryMessage("dosdir.cal")}));
    EXPECT_EQ(Extracted(), (Files{{"escape.cal", "E"},
                                  {"absolute.cal", "A"},
                                  {"win.cal", "W"},
                                  {"dosfile.cal", "F"},
                                  {"plain.cal", "P"}}));
    // The listing names the same files, in entry order.
    std::vector<CPackageEntry> listed;
    ASSERT_TRUE(ListPackageEntries((dir_ / "h.zpk").string(), listed));
    std::vector<std::string> names;
    for (const CPackageEntry& e : listed) names.push_back(e.file_name);
    EXPECT_EQ(names,
              (std::vector<std::string>{"escape.cal", "absolute.cal", "win.cal", "dosfile.cal",
                                        "plain.cal"}));

    // Nothing beside the session folder, nor above it.
    const std::string session = fs::path(session_->GetPath()).parent_path().filename().string();
    EXPECT_EQ(Contents(dir_), (Files{{"TEMP", "<folder>"}, {"h.zpk", bytes}}));
    EXPECT_EQ(Contents(dir_ / "TEMP"), (Files{{session, "<folder>"}, {session + ".lock", ""}}));
}

TEST_F(PackageTest, DamagedArchivesAndEntries) {
    WritePackage(dir_ / "good.zpk",
                 {{"a.cal", std::string(5000, 'a')}, {"b.cal", "bbbbbbbb", false}, {"c.cal", "c"}});
    const std::string good = ReadAll(dir_ / "good.zpk");
    const std::size_t central = good.find("PK\1\2");
    ASSERT_NE(central, std::string::npos);

    struct Case {
        const char* what;
        std::string bytes;
    };
    std::string bad_directory = good;
    bad_directory[central + 1] = 'X';
    const Case unreadable[] = {{"truncated", good.substr(0, good.size() / 2)},
                               {"central directory", bad_directory},
                               {"empty file", ""},
                               {"not an archive", "INSTRUMENT SPR\n"}};
    for (const Case& c : unreadable) {
        WriteAll(fs::path(session_->GetPath()) / "old.cal", "from the last package");
        WriteAll(dir_ / "bad.zpk", c.bytes);
        const CPackageExtraction r = Extract(dir_ / "bad.zpk");
        EXPECT_FALSE(r.opened) << c.what;
        EXPECT_EQ(r.FirstEntry(), "") << c.what;
        EXPECT_EQ(
            front_end_.messages,
            Messages{"The Instrument Package file: " + (dir_ / "bad.zpk").string() + kOpenFailed})
            << c.what;
        EXPECT_EQ(Extracted(), Files{}) << c.what;
    }
    EXPECT_FALSE(Extract(dir_ / "missing.zpk").opened);
    EXPECT_FALSE(Extract(dir_).opened);  // a folder

    // A damaged byte in the stored entry: its check sum fails at the end of
    // the data, and no partial file stays.
    std::string crc = good;
    const std::size_t stored = crc.find("bbbbbbbb");
    ASSERT_NE(stored, std::string::npos);
    crc[stored + 3] = 'X';
    WriteAll(dir_ / "crc.zpk", crc);
    const CPackageExtraction r = Extract(dir_ / "crc.zpk");
    EXPECT_TRUE(r.opened);
    EXPECT_EQ(front_end_.messages, Messages{EntryMessage("b.cal")});
    EXPECT_EQ(Extracted(), (Files{{"a.cal", std::string(5000, 'a')}, {"c.cal", "c"}}));
}

// A 65 MiB entry that claims 1 KiB, and an honest one: both refused once
// 64 MiB are inflated, whatever the headers say, with the entries around
// them extracted.
TEST_F(PackageTest, AnEntryBeyondTheLimitIsRefusedWhateverItClaims) {
    const std::string zeros(65u << 20, '\0');
    WritePackage(dir_ / "bomb.zpk", {{"before.cal", "B"},
                                     {"bomb.cal", zeros},
                                     {"honest.cal", zeros},
                                     {"after.cal", "A"}});
    std::string bytes = ReadAll(dir_ / "bomb.zpk");
    EXPECT_LT(bytes.size(), 1u << 20);
    ClaimSize(bytes, "bomb.cal", 1024);
    WriteAll(dir_ / "bomb.zpk", bytes);
    const CPackageExtraction r = Extract(dir_ / "bomb.zpk");
    EXPECT_TRUE(r.opened);
    EXPECT_EQ(front_end_.messages,
              (Messages{EntryMessage("bomb.cal"), EntryMessage("honest.cal")}));
    EXPECT_EQ(Extracted(), (Files{{"before.cal", "B"}, {"after.cal", "A"}}));
}

// Asked to stop (here by the message of a refused entry), an extraction
// keeps nothing of the package and shows nothing more.
TEST_F(PackageTest, AStoppedExtractionLeavesTheFolderEmpty) {
    WritePackage(dir_ / "p.zpk", {{"a.cal", "A"}, {"..", "refused"}, {"b.cal", "B"}});
    struct CStopper : CRecordingFrontEnd {
        std::stop_source source;
        void ShowMessage(const std::string& text) override {
            CRecordingFrontEnd::ShowMessage(text);
            source.request_stop();
        }
    } stopper;
    const CPackageExtraction r =
        ExtractPackage(stopper, (dir_ / "p.zpk").string(), *session_, {}, stopper.source.get_token());
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(r.FirstEntry(), "");
    EXPECT_EQ(stopper.messages, Messages{EntryMessage("..")});
    EXPECT_EQ(Extracted(), Files{});
}

TEST_F(PackageTest, LimitsOfTheWholePackage) {
    // Entries of 1 MiB: the entry limit is inclusive, and the package is
    // refused as a whole once its entries inflate beyond the package limit.
    const std::string mib(1 << 20, 'z');
    WritePackage(dir_ / "big.zpk",
                 {{"1.cal", mib}, {"2.cal", mib}, {"3.cal", mib}, {"4.cal", mib}});
    CPackageLimits limits;
    limits.entry_bytes = 1 << 20;
    limits.package_bytes = 3 << 20;
    const CPackageExtraction r = Extract(dir_ / "big.zpk", limits);
    EXPECT_FALSE(r.opened);
    EXPECT_EQ(r.FirstEntry(), "");
    EXPECT_EQ(front_end_.messages,
              (Messages{EntryMessage("4.cal"), "The Instrument Package file: " +
                                                   (dir_ / "big.zpk").string() + kOpenFailed}));
    EXPECT_EQ(Extracted(), Files{});

    limits.package_bytes = 4 << 20;
    EXPECT_EQ(Extract(dir_ / "big.zpk", limits).files.size(), 4u);
    limits.entries = 3;
    EXPECT_FALSE(Extract(dir_ / "big.zpk", limits).opened);
    std::vector<CPackageEntry> listed;
    EXPECT_FALSE(ListPackageEntries((dir_ / "big.zpk").string(), listed, limits));
}

// 65535 entries, the most a package may hold, are written without a ZIP64
// record, their count standing as 0xFFFF in the end record.
TEST_F(PackageTest, APackageOfTheMostEntriesOpens) {
    std::vector<Item> items;
    for (int i = 0; i < 65535; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "f%05d.cal", i);
        items.emplace_back(name, "x", false);
    }
    WritePackage(dir_ / "most.zpk", items);
    std::vector<CPackageEntry> listed;
    ASSERT_TRUE(ListPackageEntries((dir_ / "most.zpk").string(), listed));
    EXPECT_EQ(listed.size(), 65535u);
}

// Sessions of running programs keep their files; those of ended programs are
// removed, except the desktop program's newest, which the next one takes over.
TEST(PackageDirectoryTest, SessionsOfOtherProgramsAreLeftOrTakenOverWhenTheyEnded) {
    const fs::path root = ScratchDir("sessions") / "TEMP";
    std::string error;
    using EKind = CPackageDirectory::EKind;
    auto window = CPackageDirectory::Create(EKind::kWindow, error, root.string());
    ASSERT_TRUE(window) << error;
    EXPECT_EQ((fs::status(root).permissions() & fs::perms::all), fs::perms::owner_all);
    WriteAll(fs::path(window->GetPath()) / "w.cal", "W");

    // An ended command-line run: its lock file is not held.
    fs::create_directories(root / "run-1-dead");
    WriteAll(root / "run-1-dead" / "r.cal", "R");
    WriteAll(root / "run-1-dead.lock", "");
    // A running one: its lock is held (here by this process).
    fs::create_directories(root / "run-2-alive");
    WriteAll(root / "run-2-alive" / "r.cal", "R");
    WriteAll(root / "run-2-alive.lock", "");
    const int held = ::open((root / "run-2-alive.lock").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);

    auto run = CPackageDirectory::Create(EKind::kPrivate, error, root.string());
    ASSERT_TRUE(run) << error;
    EXPECT_TRUE(run->RemoveFiles());
    EXPECT_EQ(Contents(window->GetPath()), (Files{{"w.cal", "W"}}));
    EXPECT_FALSE(fs::exists(root / "run-1-dead"));
    EXPECT_FALSE(fs::exists(root / "run-1-dead.lock"));
    EXPECT_EQ(Contents(root / "run-2-alive"), (Files{{"r.cal", "R"}}));
    const std::string run_path = run->GetPath();
    run.reset();
    EXPECT_FALSE(fs::exists(run_path));

    // The desktop program ends; a command-line run leaves its files, the
    // next desktop program takes them over.
    const std::string window_path = window->GetPath();
    window.reset();
    run = CPackageDirectory::Create(EKind::kPrivate, error, root.string());
    run.reset();
    EXPECT_EQ(Contents(window_path), (Files{{"w.cal", "W"}}));
    auto next = CPackageDirectory::Create(EKind::kWindow, error, root.string());
    ASSERT_TRUE(next) << error;
    EXPECT_NE(next->GetPath(), window_path);
    EXPECT_EQ(Contents(next->GetPath()), (Files{{"w.cal", "W"}}));
    EXPECT_FALSE(fs::exists(window_path));
    ::close(held);
    const std::string next_name = fs::path(next->GetPath()).parent_path().filename().string();
    EXPECT_EQ(Contents(root), (Files{{next_name, "<folder>"},
                                     {next_name + ".lock", ""},
                                     {"run-2-alive", "<folder>"},
                                     {"run-2-alive.lock", ""}}));
}

TEST(PackageDirectoryTest, TheDesktopProgramExtractsOnlyIntoItsCacheFolder) {
    const fs::path cache = ScratchDir("cache");
    ::setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    EXPECT_EQ(PackageTempRoot(), cache.string() + "/Quillfern/Dravik/TEMP/");
    ::setenv("XDG_CACHE_HOME", "relative", 1);
    ::setenv("HOME", cache.c_str(), 1);
    EXPECT_EQ(PackageTempRoot(), cache.string() + "/.cache/Quillfern/Dravik/TEMP/");
    ::setenv("XDG_CACHE_HOME", cache.c_str(), 1);

    const std::string dir = InstrumentPackageDirectory();
    EXPECT_EQ(dir.rfind(cache.string() + "/Quillfern/Dravik/TEMP/window-", 0), 0u) << dir;
    WritePackage(cache / "p.zpk", {{"Properties.txt", ""}, {"a.cal", "A"}});
    CRecordingFrontEnd front_end;
    EXPECT_EQ(ExtractInstrumentPackage(front_end, (cache / "p.zpk").string(), dir), "a.cal");
    EXPECT_EQ(Contents(dir), (Files{{"a.cal", "A"}}));

    // Any other folder is refused before anything in it is touched.
    WriteAll(cache / "mine.cal", "M");
    EXPECT_EQ(ExtractInstrumentPackage(front_end, (cache / "p.zpk").string(), cache.string()), "");
    ASSERT_EQ(front_end.messages.size(), 1u);
    EXPECT_EQ(ReadAll(cache / "mine.cal"), "M");
    EXPECT_EQ(Contents(dir), (Files{{"a.cal", "A"}}));
}

}  // namespace
}  // namespace dravik

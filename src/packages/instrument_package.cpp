#include "packages/instrument_package.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <system_error>
#include <utility>

#include "settings/program_dir.h"
#include "platform/text.h"

namespace dravik {

namespace {

constexpr const char* kOpenMessage = "The Instrument Package file: %s \r\ncould not be opened.";
constexpr const char* kEntryMessage =
    "The file %s\r\ncould not be extractedfrom the Instrument Package file.";
constexpr const char* kNoDirectoryMessage =
    "The temporary directory for Instrument Package files could not be prepared:\r\n%s";
constexpr const char* kPropertiesName = "Properties.txt";
constexpr std::size_t kBufferSize = 65536;

struct ArchiveDiscard {
    void operator()(zip_t* archive) const noexcept { zip_discard(archive); }
};
using Archive = std::unique_ptr<zip_t, ArchiveDiscard>;

struct EntryClose {
    void operator()(zip_file_t* file) const noexcept { zip_fclose(file); }
};
using Entry = std::unique_ptr<zip_file_t, EntryClose>;

class CUniqueFd {
  public:
    explicit CUniqueFd(int fd = -1) noexcept : m_fd(fd) {}
    ~CUniqueFd() { Reset(); }
    CUniqueFd(const CUniqueFd&) = delete;
    CUniqueFd& operator=(const CUniqueFd&) = delete;
    int Get() const noexcept { return m_fd; }
    int Release() noexcept { return std::exchange(m_fd, -1); }
    // Closes the descriptor; false when the close reported an error (for a
    // written file: data that did not reach the disk).
    bool Reset() noexcept {
        const int fd = std::exchange(m_fd, -1);
        return fd < 0 || ::close(fd) == 0;
    }

  private:
    int m_fd;
};

std::uint64_t Little(const unsigned char* p, int bytes) {
    std::uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | p[i];
    return value;
}

bool ReadAt(int fd, unsigned char* buffer, std::size_t size, std::uint64_t offset) {
    while (size > 0) {
        const ssize_t got = ::pread(fd, buffer, size, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        buffer += got;
        size -= static_cast<std::size_t>(got);
        offset += static_cast<std::uint64_t>(got);
    }
    return true;
}

// Which stored names hold a NUL byte, in entry order. The archive reader
// hands names out as C strings with every NUL turned into a blank, so the
// central directory's own bytes are read here. False when the directory does
// not agree with what the archive reader found.
bool FindNamesWithNul(int fd, std::uint64_t count, std::vector<bool>& with_nul) {
    struct stat st;
    if (::fstat(fd, &st) != 0) return false;
    const std::uint64_t size = static_cast<std::uint64_t>(st.st_size);
    // End of central directory record: 22 bytes and a comment of up to
    // 65535, preceded by the 20-byte locator of a ZIP64 record.
    const std::uint64_t tail_size = std::min<std::uint64_t>(size, 22 + 65535 + 20);
    std::vector<unsigned char> tail(tail_size);
    if (!ReadAt(fd, tail.data(), tail.size(), size - tail_size)) return false;
    std::size_t end = std::string::npos;
    for (std::size_t p = tail_size >= 22 ? tail_size - 22 + 1 : 0; p-- > 0;) {
        if (std::memcmp(&tail[p], "PK\5\6", 4) == 0 &&
            p + 22 + Little(&tail[p + 20], 2) <= tail_size) {
            end = p;
            break;
        }
    }
    if (end == std::string::npos) return false;
    std::uint64_t entries = Little(&tail[end + 10], 2);
    std::uint64_t offset = Little(&tail[end + 16], 4);
    // A count of exactly 65535 may stand as it is, without a ZIP64 record.
    const bool zip64_locator = end >= 20 && std::memcmp(&tail[end - 20], "PK\6\7", 4) == 0;
    if ((entries == 0xFFFF || offset == 0xFFFFFFFF) && zip64_locator) {
        unsigned char record[56];
        if (!ReadAt(fd, record, sizeof record, Little(&tail[end - 20 + 8], 8)) ||
            std::memcmp(record, "PK\6\6", 4) != 0)
            return false;
        entries = Little(record + 32, 8);
        offset = Little(record + 48, 8);
    }
    if (entries != count) return false;
    with_nul.assign(count, false);
    std::vector<unsigned char> name(65535);
    for (std::uint64_t i = 0; i < count; ++i) {
        unsigned char header[46];
        if (!ReadAt(fd, header, sizeof header, offset) || std::memcmp(header, "PK\1\2", 4) != 0)
            return false;
        const std::size_t name_size = Little(header + 28, 2);
        if (!ReadAt(fd, name.data(), name_size, offset + 46)) return false;
        with_nul[i] = std::memchr(name.data(), 0, name_size) != nullptr;
        offset += 46 + name_size + Little(header + 30, 2) + Little(header + 32, 2);
    }
    return true;
}

// An archive opened read-only with consistency checks, and what was learnt
// about its names.
struct COpenPackage {
    Archive archive;
    std::uint64_t count = 0;
    std::vector<bool> with_nul;
    std::int64_t properties = -1;  // index of "Properties.txt", or -1
    std::string problem;           // why it could not be opened, when known
};

std::string SystemText(int error) {
    return std::generic_category().message(error) + ".";
}

bool OpenPackage(const std::string& path, const CPackageLimits& limits, COpenPackage& package) {
    // Non-blocking, so that a named pipe given as a package cannot hang the
    // program; only a regular file is read.
    CUniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat st;
    if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0) {
        package.problem = SystemText(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        package.problem = S_ISDIR(st.st_mode) ? SystemText(EISDIR) : "It is not a regular file.";
        return false;
    }
    CUniqueFd reader(::fcntl(fd.Get(), F_DUPFD_CLOEXEC, 0));
    if (reader.Get() < 0) {
        package.problem = SystemText(errno);
        return false;
    }
    int error = 0;
    package.archive.reset(zip_fdopen(reader.Get(), ZIP_RDONLY | ZIP_CHECKCONS, &error));
    if (!package.archive) {
        zip_error_t e;
        zip_error_init_with_code(&e, error);
        package.problem =
            std::string("It is not a readable ZIP archive: ") + zip_error_strerror(&e) + ".";
        zip_error_fini(&e);
        return false;
    }
    reader.Release();  // the archive owns it now
    const zip_int64_t count = zip_get_num_entries(package.archive.get(), 0);
    if (count < 0 || static_cast<std::uint64_t>(count) > limits.entries) {
        package.problem = "It holds more entries than an instrument package may.";
        return false;
    }
    package.count = static_cast<std::uint64_t>(count);
    if (!FindNamesWithNul(fd.Get(), package.count, package.with_nul)) return false;
    for (std::uint64_t i = 0; i < package.count && package.properties < 0; ++i) {
        const char* name = zip_get_name(package.archive.get(), i, 0);
        if (name != nullptr && EqualsIgnoreCase(PackageEntryFileName(name), kPropertiesName))
            package.properties = static_cast<std::int64_t>(i);
    }
    return true;
}

bool SafeFileName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (const char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
    }
    return true;
}

// The stored name of entry `index` and the file name it may be extracted
// under; the file name is empty when the entry is refused whatever the
// other entries are.
CPackageEntry Examine(const COpenPackage& package, std::uint64_t index) {
    CPackageEntry entry;
    zip_t* archive = package.archive.get();
    const char* name = zip_get_name(archive, index, 0);
    if (name == nullptr) return entry;
    entry.stored_name = name;
    if (package.with_nul[index]) return entry;
    const std::string file_name = PackageEntryFileName(entry.stored_name);
    if (!SafeFileName(file_name)) return entry;

    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(archive, index, 0, &st) != 0) return entry;
    if (!(st.valid & ZIP_STAT_COMP_METHOD) ||
        (st.comp_method != ZIP_CM_STORE && st.comp_method != ZIP_CM_DEFLATE))
        return entry;
    if (!(st.valid & ZIP_STAT_ENCRYPTION_METHOD) || st.encryption_method != ZIP_EM_NONE)
        return entry;

    // Only plain files: a symbolic link, a folder or a device recorded by a
    // Unix archiver, or a folder recorded by a DOS one, is not an
    // instrument file and is never made.
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) != 0)
        return entry;
    if (system == ZIP_OPSYS_UNIX) {
        const zip_uint32_t type = (attributes >> 16) & S_IFMT;
        if (type != 0 && type != S_IFREG) return entry;
    } else if (system == ZIP_OPSYS_DOS && (attributes & 0x10) != 0) {
        return entry;
    }
    entry.file_name = file_name;
    return entry;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t put = ::write(fd, data, size);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        data += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

// Gives a complete file its name, never replacing a file that already has
// it (on a case-insensitive file system two names may meet).
bool RenameNoReplace(int dir_fd, const std::string& from, const std::string& to) {
    if (::renameat2(dir_fd, from.c_str(), dir_fd, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the flag: a hard link fails on an existing name.
    if (::linkat(dir_fd, from.c_str(), dir_fd, to.c_str(), 0) != 0) return false;
    ::unlinkat(dir_fd, from.c_str(), 0);
    return true;
}

enum class EExtracted { kDone, kFailed, kPackageTooLarge, kStopped };

class CExtractor {
  public:
    CExtractor(const COpenPackage& package, int dir_fd, const CPackageLimits& limits,
               std::stop_token stop)
        : m_package(package),
          m_dir_fd(dir_fd),
          m_limits(limits),
          m_stop(std::move(stop)),
          m_buffer(kBufferSize) {}

    EExtracted Extract(std::uint64_t index, const std::string& file_name) {
        Entry entry(zip_fopen_index(m_package.archive.get(), index, 0));
        if (!entry) return EExtracted::kFailed;
        std::string temp;
        CUniqueFd out(CreateTemporary(temp));
        if (out.Get() < 0) return EExtracted::kFailed;
        const EExtracted result = Copy(entry.get(), out.Get());
        const bool closed = out.Reset();
        if (result == EExtracted::kDone && closed && RenameNoReplace(m_dir_fd, temp, file_name)) {
            return EExtracted::kDone;
        }
        ::unlinkat(m_dir_fd, temp.c_str(), 0);
        return result == EExtracted::kDone ? EExtracted::kFailed : result;
    }

  private:
    // A new file under a name no entry is being extracted to; its final name
    // is given only once it is complete.
    int CreateTemporary(std::string& name) {
        for (int attempt = 0; attempt < 1000; ++attempt) {
            name = ".extracting-" + std::to_string(attempt);
            const int fd = ::openat(m_dir_fd, name.c_str(),
                                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd >= 0 || errno != EEXIST) return fd;
        }
        return -1;
    }

    // Inflates to the end, which is where the check sum is verified.
    EExtracted Copy(zip_file_t* entry, int out) {
        std::uint64_t entry_bytes = 0;
        for (;;) {
            if (m_stop.stop_requested()) return EExtracted::kStopped;
            const zip_int64_t got = zip_fread(entry, m_buffer.data(), m_buffer.size());
            if (got < 0) return EExtracted::kFailed;
            if (got == 0) return EExtracted::kDone;
            const auto n = static_cast<std::uint64_t>(got);
            entry_bytes += n;
            m_package_bytes += n;
            if (m_package_bytes > m_limits.package_bytes) return EExtracted::kPackageTooLarge;
            if (entry_bytes > m_limits.entry_bytes) return EExtracted::kFailed;
            if (!WriteAll(out, m_buffer.data(), static_cast<std::size_t>(n)))
                return EExtracted::kFailed;
        }
    }

    const COpenPackage& m_package;
    int m_dir_fd;
    const CPackageLimits& m_limits;
    std::stop_token m_stop;
    std::vector<char> m_buffer;
    std::uint64_t m_package_bytes = 0;
};

}  // namespace

const std::string& CPackageExtraction::FirstEntry() const {
    static const std::string none;
    return files.empty() ? none : files.front().stored_name;
}

std::string PackageEntryFileName(const std::string& stored_name) {
    const std::size_t slash = stored_name.find_last_of("/\\");
    return slash == std::string::npos ? stored_name : stored_name.substr(slash + 1);
}

CPackageExtraction ExtractPackage(CFrontEnd& front_end, const std::string& package_path,
                                  CPackageDirectory& directory, const CPackageLimits& limits,
                                  std::stop_token stop) {
    CPackageExtraction result;
    // The package is opened before the folder is emptied, so that a package
    // that lies in the folder itself is read, not deleted first.
    COpenPackage package;
    const bool opened = OpenPackage(package_path, limits, package);
    directory.RemoveFiles();
    if (!opened) {
        front_end.ShowMessage(FillMessage(kOpenMessage, {package_path}));
        if (!package.problem.empty()) front_end.ShowDetail(package.problem);
        return result;
    }
    CExtractor extractor(package, directory.GetDescriptor(), limits, stop);
    std::set<std::string> names;
    for (std::uint64_t i = 0; i < package.count; ++i) {
        if (static_cast<std::int64_t>(i) == package.properties) continue;
        CPackageEntry entry = Examine(package, i);
        EExtracted done = stop.stop_requested() ? EExtracted::kStopped : EExtracted::kFailed;
        if (done != EExtracted::kStopped && !entry.file_name.empty() &&
            names.count(entry.file_name) == 0) {
            done = extractor.Extract(i, entry.file_name);
        }
        if (done == EExtracted::kStopped) {
            // Whoever stopped it wants none of this package: no half of it stays.
            directory.RemoveFiles();
            result.files.clear();
            result.stopped = true;
            return result;
        }
        if (done == EExtracted::kDone) {
            names.insert(entry.file_name);
            result.files.push_back(std::move(entry));
            continue;
        }
        front_end.ShowMessage(FillMessage(kEntryMessage, {entry.stored_name}));
        if (done == EExtracted::kPackageTooLarge) {
            // A package this large is no instrument package: none of it is kept.
            directory.RemoveFiles();
            result.files.clear();
            front_end.ShowMessage(FillMessage(kOpenMessage, {package_path}));
            front_end.ShowDetail("It holds more data than an instrument package may.");
            return result;
        }
    }
    result.opened = true;
    return result;
}

bool ListPackageEntries(const std::string& package_path, std::vector<CPackageEntry>& entries,
                        const CPackageLimits& limits, std::string* problem) {
    entries.clear();
    COpenPackage package;
    if (!OpenPackage(package_path, limits, package)) {
        if (problem != nullptr) *problem = package.problem;
        return false;
    }
    std::set<std::string> names;
    for (std::uint64_t i = 0; i < package.count; ++i) {
        if (static_cast<std::int64_t>(i) == package.properties) continue;
        CPackageEntry entry = Examine(package, i);
        if (entry.file_name.empty() || !names.insert(entry.file_name).second) continue;
        entries.push_back(std::move(entry));
    }
    return true;
}

std::string InstrumentPackageDirectory() {
    const CPackageDirectory* directory = ProcessPackageDirectory();
    return directory != nullptr ? directory->GetPath() : std::string();
}

std::string ExtractInstrumentPackage(CFrontEnd& front_end, const std::string& package_path,
                                     const std::string& directory, std::stop_token stop) {
    std::string error;
    CPackageDirectory* own = ProcessPackageDirectory(&error);
    if (own == nullptr) {
        front_end.ShowMessage(FillMessage(kNoDirectoryMessage, {error}));
        return {};
    }
    // Only the program's own folder is ever emptied: a wrong path from a
    // caller must not cost the user the files of another folder.
    if (WithTrailingSlash(directory) != own->GetPath()) {
        front_end.ShowMessage(FillMessage(kNoDirectoryMessage, {directory}));
        return {};
    }
    return ExtractPackage(front_end, package_path, *own, {}, std::move(stop)).FirstEntry();
}

}  // namespace dravik

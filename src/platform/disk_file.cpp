#include "platform/disk_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <iterator>
#include <system_error>
#include <utility>

namespace dravik {

int FileErrorCauseFromErrno(int err) noexcept {
    switch (err) {
        case 0:
            return kFileNone;
        case ENOENT:
            return kFileNotFound;
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
        case EISDIR:
            return kFileBadPath;
        case EMFILE:
        case ENFILE:
            return kFileTooManyOpen;
        case EACCES:
        case EPERM:
        case EROFS:
            return kFileAccessDenied;
        case EBADF:
            return kFileInvalid;
        case EBUSY:
            return kFileRemoveCurrentDir;
        case ESPIPE:
        case EOVERFLOW:
            return kFileBadSeek;
        case EIO:
            return kFileHardIO;
        case EWOULDBLOCK:
            return kFileSharingViolation;
        case EDEADLK:
        case ENOLCK:
            return kFileLockViolation;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return kFileDiskFull;
        default:
            return kFileGeneric;
    }
}

std::string FileErrorText(int cause, FileErrorWording wording) {
    static constexpr const char* kTexts[] = {
        "No error occurred.",
        "An unspecified error occurred.",
        "The file could not be found.",
        "All or part of the path is invalid.",
        "The permitted number of open files was exceeded.",
        "The file could not be accessed.",
        "There was an attempt to use an invalid file handle.",
        "The current working directory cannot be removed.",
        "There are no more directory entries.",
        "There was an error trying to set the file pointer.",
        "There was a hardware error.",
        "SHARE.EXE was not loaded, or a shared region was locked.",
        "There was an attempt to lock a region that was already locked.",
        "The disk is full.",
        "The end of file was reached.",
    };
    std::string text;
    if (wording == FileErrorWording::kConversion && cause == kFileSharingViolation) {
        text = "A sharing violation occured, or a shared region was locked.";
    } else if (cause >= 0 && cause < static_cast<int>(std::size(kTexts))) {
        text = kTexts[cause];
    } else if (wording == FileErrorWording::kResource) {
        text = "An unknown file error occured.";
    } else if (wording == FileErrorWording::kMessage) {
        text = "An unknown file error occurred.";
    } else {
        text = "An unknown file error orrured.";
    }
    if (wording == FileErrorWording::kInstrument || wording == FileErrorWording::kResource) {
        text += "\r\n";
    }
    return text;
}

namespace {

CFileIdentity IdentityOf(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

std::string FullPath(const std::string& path) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) != nullptr) return resolved;
    if (!path.empty() && path[0] == '/') return path;
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd) == nullptr) return path;
    std::string full = cwd;
    if (full.empty() || full.back() != '/') full += '/';
    return full + path;
}

}  // namespace

bool GetFileIdentity(const std::string& path, CFileIdentity& identity) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return false;
    identity = IdentityOf(st);
    return true;
}

CDiskFile::~CDiskFile() noexcept {
    Close();
}

CDiskFile::CDiskFile(CDiskFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)),
      m_path(std::move(other.m_path)),
      m_error(std::exchange(other.m_error, 0)) {}

CDiskFile& CDiskFile::operator=(CDiskFile&& other) noexcept {
    if (this != &other) {
        Close();
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
        m_error = std::exchange(other.m_error, 0);
    }
    return *this;
}

int CDiskFile::Fail(int err) const noexcept {
    m_error = err;
    return FileErrorCauseFromErrno(err);
}

std::string CDiskFile::GetSystemErrorText() const {
    if (m_error == 0) return {};
    // The lock of another open: the system's "Resource temporarily
    // unavailable" would say nothing about what to do.
    if (m_error == EWOULDBLOCK) return "Another conversion or program has the file open.";
    return std::generic_category().message(m_error) + ".";
}

int CDiskFile::Open(const std::string& path, Mode mode, bool exclusive,
                    std::span<const CFileIdentity> refused) {
    Close();
    m_error = 0;
    if (path.empty()) return kFileBadPath;
    int flags = O_CLOEXEC;
    switch (mode) {
        case Mode::kRead:
            flags |= O_RDONLY;
            break;
        // No O_TRUNC: the file is emptied only once the lock is ours.
        case Mode::kCreate:
            flags |= O_WRONLY | O_CREAT;
            break;
        case Mode::kAppend:
            flags |= O_WRONLY | O_CREAT | O_APPEND;
            break;
        case Mode::kCreateNew:
            flags |= O_WRONLY | O_CREAT | O_EXCL;
            break;
    }
    int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) {
        const int err = errno;
        // A file being created can only be missing a directory on its path.
        if (err == ENOENT && mode != Mode::kRead) {
            m_error = err;
            return kFileBadPath;
        }
        return Fail(err);
    }
    return Adopt(fd, FullPath(path), exclusive, refused, mode == Mode::kCreate);
}

int CDiskFile::OpenStandardStream(Mode mode, bool exclusive,
                                  std::span<const CFileIdentity> refused) {
    Close();
    const int stream = mode == Mode::kRead ? STDIN_FILENO : STDOUT_FILENO;
    // A copy of the descriptor, so that closing this file leaves the
    // process's own stream alone.
    m_error = 0;
    const int fd = fcntl(stream, F_DUPFD_CLOEXEC, 3);
    if (fd < 0) return Fail(errno);
    return Adopt(fd, mode == Mode::kRead ? "standard input" : "standard output", exclusive,
                 refused, false);
}

int CDiskFile::Adopt(int fd, std::string path, bool exclusive,
                     std::span<const CFileIdentity> refused, bool truncate) {
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        int err = errno;
        ::close(fd);
        return Fail(err);
    }
    if (S_ISDIR(st.st_mode)) {
        ::close(fd);
        m_error = EISDIR;
        return kFileAccessDenied;
    }
    if (exclusive && S_ISREG(st.st_mode) && flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int err = errno;
        ::close(fd);
        return Fail(err);
    }
    for (const CFileIdentity& other : refused) {
        if (IdentityOf(st) == other) {
            ::close(fd);
            return kFileSharingViolation;
        }
    }
    if (truncate && S_ISREG(st.st_mode) && ftruncate(fd, 0) != 0) {
        int err = errno;
        ::close(fd);
        return Fail(err);
    }
    m_fd = fd;
    m_path = std::move(path);
    return kFileNone;
}

void CDiskFile::Close() noexcept {
    if (m_fd >= 0) {
        ::close(m_fd);  // also releases the lock
        m_fd = -1;
    }
    m_path.clear();
}

bool CDiskFile::GetIdentity(CFileIdentity& identity) const {
    struct stat st {};
    if (m_fd < 0 || fstat(m_fd, &st) != 0) return false;
    identity = IdentityOf(st);
    return true;
}

int CDiskFile::GetPosition(std::uint64_t& position) const {
    if (m_fd < 0) return kFileInvalid;
    off_t pos = lseek(m_fd, 0, SEEK_CUR);
    if (pos < 0) return FileErrorCauseFromErrno(errno);
    position = static_cast<std::uint64_t>(pos);
    return kFileNone;
}

int CDiskFile::Seek(std::uint64_t position) {
    if (m_fd < 0) return kFileInvalid;
    if (position > static_cast<std::uint64_t>(INT64_MAX)) return kFileBadSeek;
    if (lseek(m_fd, static_cast<off_t>(position), SEEK_SET) < 0)
        return FileErrorCauseFromErrno(errno);
    return kFileNone;
}

int CDiskFile::SeekToEnd(std::uint64_t& length) {
    if (m_fd < 0) return kFileInvalid;
    off_t pos = lseek(m_fd, 0, SEEK_END);
    if (pos < 0) return FileErrorCauseFromErrno(errno);
    length = static_cast<std::uint64_t>(pos);
    return kFileNone;
}

int CDiskFile::GetLength(std::uint64_t& length) const {
    if (m_fd < 0) return kFileInvalid;
    struct stat st {};
    if (fstat(m_fd, &st) != 0) return FileErrorCauseFromErrno(errno);
    length = static_cast<std::uint64_t>(st.st_size);
    return kFileNone;
}

int CDiskFile::Read(void* buffer, std::size_t size, std::size_t& got) {
    got = 0;
    while (got < size) {
        std::size_t n = 0;
        if (const int cause = ReadSome(static_cast<char*>(buffer) + got, size - got, n); cause != 0)
            return cause;
        if (n == 0) break;
        got += n;
    }
    return kFileNone;
}

int CDiskFile::ReadSome(void* buffer, std::size_t size, std::size_t& got) {
    got = 0;
    if (m_fd < 0) return kFileInvalid;
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, size);
        if (n >= 0) {
            got = static_cast<std::size_t>(n);
            return kFileNone;
        }
        if (errno != EINTR) return Fail(errno);
    }
}

int CDiskFile::Write(const void* data, std::size_t size) {
    if (m_fd < 0) return kFileInvalid;
    const auto* in = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(m_fd, in, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Fail(errno);
        }
        in += n;
        size -= static_cast<std::size_t>(n);
    }
    return kFileNone;
}

}  // namespace dravik

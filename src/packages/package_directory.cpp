#include "packages/package_directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <vector>

#include "settings/program_dir.h"

namespace dravik {

namespace {

constexpr const char* kLockSuffix = ".lock";
constexpr const char* kWindowPrefix = "window-";
constexpr const char* kPrivatePrefix = "run-";

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string SystemError(const std::string& what, const std::string& path, int err) {
    return what + " " + path + ": " + std::strerror(err);
}

void CloseFd(int& fd) noexcept {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// Names in an open folder, "." and ".." left out.
std::vector<std::string> ListNames(int dir_fd) {
    std::vector<std::string> names;
    const int fd = ::fcntl(dir_fd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return names;
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return names;
    }
    ::rewinddir(dir);  // the duplicate shares the read position of `dir_fd`
    while (const dirent* e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.emplace_back(e->d_name);
    }
    ::closedir(dir);
    return names;
}

// Removes the files of a folder, never following a link: unlinking a
// symbolic link removes the link, not what it names.
bool RemoveFilesIn(int dir_fd) {
    bool ok = true;
    for (const std::string& name : ListNames(dir_fd)) {
        if (::unlinkat(dir_fd, name.c_str(), 0) != 0 && errno != EISDIR && errno != ENOENT)
            ok = false;
    }
    return ok;
}

// Removes a session folder under the root, with its files.
void RemoveSessionFolder(int root_fd, const std::string& name) {
    const int fd = ::openat(root_fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    RemoveFilesIn(fd);
    ::close(fd);
    ::unlinkat(root_fd, name.c_str(), AT_REMOVEDIR);
}

// True while `name` under the root still refers to the open file `fd`.
bool StillNamed(int root_fd, const std::string& name, int fd) {
    struct stat by_fd, by_name;
    return ::fstat(fd, &by_fd) == 0 &&
           ::fstatat(root_fd, name.c_str(), &by_name, AT_SYMLINK_NOFOLLOW) == 0 &&
           by_fd.st_dev == by_name.st_dev && by_fd.st_ino == by_name.st_ino;
}

// Creates `path` and its missing parents with mode 0700.
int MakeFolders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    }
    return 0;
}

std::string RandomHex() {
    std::random_device device;
    std::uint64_t value = (std::uint64_t{device()} << 32) ^ device();
    char text[17];
    for (int i = 15; i >= 0; --i, value >>= 4) text[i] = "0123456789abcdef"[value & 15];
    text[16] = '\0';
    return text;
}

// A stale session whose lock this process holds.
struct Stale {
    std::string name;
    int lock_fd = -1;
    struct timespec modified {};
};

// Takes the lock of every other session whose owner has ended and whose
// name begins with one of `prefixes`.
std::vector<Stale> TakeStaleSessions(int root_fd, const std::string& own_lock,
                                     const std::vector<std::string>& prefixes) {
    std::vector<Stale> stale;
    for (const std::string& lock_name : ListNames(root_fd)) {
        if (lock_name == own_lock || !EndsWith(lock_name, kLockSuffix)) continue;
        bool wanted = false;
        for (const std::string& p : prefixes) wanted = wanted || lock_name.rfind(p, 0) == 0;
        if (!wanted) continue;
        int fd = ::openat(root_fd, lock_name.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || !StillNamed(root_fd, lock_name, fd)) {
            ::close(fd);
            continue;
        }
        Stale s;
        s.name = lock_name.substr(0, lock_name.size() - std::strlen(kLockSuffix));
        s.lock_fd = fd;
        struct stat st;
        if (::fstatat(root_fd, s.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
            s.modified = st.st_mtim;
        stale.push_back(std::move(s));
    }
    return stale;
}

bool Newer(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

}  // namespace

std::string PackageTempRoot() {
    std::string base;
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache != nullptr && cache[0] == '/') {
        base = cache;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] != '/') {
            const passwd* pw = ::getpwuid(::getuid());
            home = pw != nullptr ? pw->pw_dir : nullptr;
        }
        if (home == nullptr || home[0] != '/') return {};
        base = WithTrailingSlash(home) + ".cache";
    }
    return WithTrailingSlash(base) + "Quillfern/Dravik/TEMP/";
}

std::unique_ptr<CPackageDirectory> CPackageDirectory::Create(EKind kind, std::string& error,
                                                             const std::string& root_path) {
    const std::string root = root_path.empty() ? PackageTempRoot() : WithTrailingSlash(root_path);
    if (root.empty()) {
        error = "There is no home folder for the temporary directory.";
        return nullptr;
    }
    if (const int err = MakeFolders(root)) {
        error = SystemError("Cannot create the temporary directory", root, err);
        return nullptr;
    }
    std::unique_ptr<CPackageDirectory> dir(new CPackageDirectory());
    dir->m_kind = kind;
    dir->m_root_fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (dir->m_root_fd < 0 || ::fstat(dir->m_root_fd, &st) != 0) {
        error = SystemError("Cannot open the temporary directory", root, errno);
        return nullptr;
    }
    // Extracted files are the user's own: nobody else may own or see them.
    if (st.st_uid != ::getuid()) {
        error = SystemError("Cannot use the temporary directory", root, EPERM);
        return nullptr;
    }
    if ((st.st_mode & 077) != 0) ::fchmod(dir->m_root_fd, 0700);

    // A fresh, locked lock file; its folder is made once it is ours.
    const std::string prefix = kind == EKind::kWindow ? kWindowPrefix : kPrivatePrefix;
    std::string lock_name;
    for (int attempt = 0; attempt < 100 && dir->m_lock_fd < 0; ++attempt) {
        dir->m_name = prefix + std::to_string(::getpid()) + "-" + RandomHex();
        lock_name = dir->m_name + kLockSuffix;
        const int fd = ::openat(dir->m_root_fd, lock_name.c_str(),
                                O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            error = SystemError("Cannot create a lock file in", root, errno);
            return nullptr;
        }
        if (::flock(fd, LOCK_EX) == 0 && StillNamed(dir->m_root_fd, lock_name, fd)) {
            dir->m_lock_fd = fd;
        } else {
            ::close(fd);
        }
    }
    if (dir->m_lock_fd < 0) {
        error = SystemError("Cannot lock a session in", root, EAGAIN);
        return nullptr;
    }

    // Sessions of programs that have ended: a desktop program takes over the
    // newest desktop folder and removes the others; command-line sessions
    // are removed by anyone. A command-line run leaves desktop folders
    // alone, so that the desktop program still finds its files.
    std::vector<std::string> sweep{kPrivatePrefix};
    if (kind == EKind::kWindow) sweep.emplace_back(kWindowPrefix);
    std::vector<Stale> stale = TakeStaleSessions(dir->m_root_fd, lock_name, sweep);
    Stale* adopt = nullptr;
    if (kind == EKind::kWindow) {
        for (Stale& s : stale) {
            if (s.name.rfind(kWindowPrefix, 0) == 0 &&
                (adopt == nullptr || Newer(s.modified, adopt->modified)))
                adopt = &s;
        }
    }
    bool made = false;
    if (adopt != nullptr &&
        ::renameat(dir->m_root_fd, adopt->name.c_str(), dir->m_root_fd, dir->m_name.c_str()) == 0) {
        made = true;
    }
    for (Stale& s : stale) {
        if (!made || &s != adopt) RemoveSessionFolder(dir->m_root_fd, s.name);
        ::unlinkat(dir->m_root_fd, (s.name + kLockSuffix).c_str(), 0);
        CloseFd(s.lock_fd);
    }
    if (!made && ::mkdirat(dir->m_root_fd, dir->m_name.c_str(), 0700) != 0) {
        error = SystemError("Cannot create the folder", root + dir->m_name, errno);
        ::unlinkat(dir->m_root_fd, lock_name.c_str(), 0);
        return nullptr;
    }
    dir->m_dir_fd = ::openat(dir->m_root_fd, dir->m_name.c_str(),
                             O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir->m_dir_fd < 0) {
        error = SystemError("Cannot open the folder", root + dir->m_name, errno);
        ::unlinkat(dir->m_root_fd, dir->m_name.c_str(), AT_REMOVEDIR);
        ::unlinkat(dir->m_root_fd, lock_name.c_str(), 0);
        return nullptr;
    }
    dir->m_path = root + dir->m_name + "/";
    return dir;
}

CPackageDirectory::~CPackageDirectory() {
    if (m_kind == EKind::kPrivate && m_dir_fd >= 0) {
        RemoveFilesIn(m_dir_fd);
        ::unlinkat(m_root_fd, m_name.c_str(), AT_REMOVEDIR);
        ::unlinkat(m_root_fd, (m_name + kLockSuffix).c_str(), 0);
    }
    // Closing the lock file releases the lock: the folder of a desktop
    // program is then free for the next one to take over.
    CloseFd(m_dir_fd);
    CloseFd(m_lock_fd);
    CloseFd(m_root_fd);
}

bool CPackageDirectory::RemoveFiles() {
    return RemoveFilesIn(m_dir_fd);
}

CPackageDirectory* ProcessPackageDirectory(std::string* error) {
    static std::mutex mutex;
    static std::unique_ptr<CPackageDirectory> directory;
    std::lock_guard<std::mutex> lock(mutex);
    if (!directory) {
        std::string text;
        directory = CPackageDirectory::Create(CPackageDirectory::EKind::kWindow, text);
        if (error != nullptr) *error = text;
    }
    return directory.get();
}

}  // namespace dravik

#include "frontend/file_listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <utility>

#include "settings/program_dir.h"

namespace dravik {

namespace {

// Owns one open directory stream.
class CDirStream {
  public:
    explicit CDirStream(int fd) : m_dir(fd >= 0 ? ::fdopendir(fd) : nullptr) {
        if (fd >= 0 && !m_dir) ::close(fd);
    }
    ~CDirStream() {
        if (m_dir) ::closedir(m_dir);
    }
    CDirStream(const CDirStream&) = delete;
    CDirStream& operator=(const CDirStream&) = delete;

    DIR* get() const noexcept { return m_dir; }

  private:
    DIR* m_dir;
};

using DirId = std::pair<dev_t, ino_t>;

class CLister {
  public:
    CLister(std::string_view filter, bool recursive, std::stop_token stop,
            std::vector<CListedFile>& out)
        : m_filter(filter), m_recursive(recursive), m_stop(std::move(stop)), m_out(out) {}

    // Lists the directory open as `fd` (taking it over), whose names carry
    // `prefix` ("" for the working directory, "sub/" below it).
    void List(int fd, const std::string& prefix) {
        struct stat st {};
        if (fd < 0) return;
        if (::fstat(fd, &st) != 0 || !m_seen.insert(DirId{st.st_dev, st.st_ino}).second) {
            ::close(fd);
            return;
        }
        CDirStream dir(fd);
        if (!dir.get()) return;
        const int dfd = ::dirfd(dir.get());
        std::vector<std::string> subfolders;
        while (const dirent* entry = ::readdir(dir.get())) {
            if (m_stop.stop_requested()) return;
            const char* name = entry->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
            bool real_dir = entry->d_type == DT_DIR;
            if (entry->d_type == DT_UNKNOWN &&
                ::fstatat(dfd, name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
                real_dir = S_ISDIR(st.st_mode);
            }
            if (real_dir) {
                if (m_recursive) subfolders.emplace_back(name);
                continue;
            }
            if (!MatchesFileFilter(name, m_filter)) continue;
            // Links to files are followed for their size and time; a dangling
            // link or anything but a regular file is no file to convert.
            if (::fstatat(dfd, name, &st, 0) != 0 || !S_ISREG(st.st_mode)) continue;
            m_out.push_back(CListedFile{
                prefix + name, static_cast<std::uint64_t>(st.st_size),
                static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec});
        }
        for (const std::string& sub : subfolders) {
            List(::openat(dfd, sub.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC),
                 prefix + sub + "/");
        }
    }

  private:
    std::string m_filter;
    bool m_recursive;
    std::stop_token m_stop;
    std::vector<CListedFile>& m_out;
    std::set<DirId> m_seen;
};

bool Matches(const std::string& name, const std::string& pattern) {
    return ::fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD) == 0;
}

}  // namespace

bool MatchesFileFilter(std::string_view name, std::string_view filter) {
    const std::string n(name);
    const std::string f(filter);
    if (Matches(n, f)) return true;
    // "name.*" also stands for a name without extension, as "*.*" always has.
    return f.size() >= 2 && f.compare(f.size() - 2, 2, ".*") == 0 &&
           n.find('.') == std::string::npos && Matches(n, f.substr(0, f.size() - 2));
}

std::vector<CListedFile> ListFiles(const std::string& directory, std::string_view filter,
                                   bool recursive, std::stop_token stop) {
    std::vector<CListedFile> files;
    if (directory.empty()) return files;
    CLister lister(filter, recursive, std::move(stop), files);
    lister.List(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), "");
    return files;
}

std::optional<std::string> ValidDirectory(std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::string directory = WithTrailingSlash(std::string(text));
    DIR* dir = ::opendir(directory.c_str());
    if (!dir) return std::nullopt;
    ::closedir(dir);
    return directory;
}

}  // namespace dravik

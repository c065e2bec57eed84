// The temporary directory that instrument packages are extracted into.
//
// Packages are extracted under the per-user cache folder,
//   $XDG_CACHE_HOME/Quillfern/Dravik/TEMP/   (~/.cache/... when unset),
// created with mode 0700, because the program's own directory is not
// writable. Each running program extracts into its own session folder below
// it, so that a second program of the same user, emptying its folder before a
// new package, never deletes the instrument file a first program is still
// converting with:
//
//   TEMP/window-<pid>-<random>/       the desktop program's extracted files
//   TEMP/window-<pid>-<random>.lock   held with flock(LOCK_EX) while it runs
//   TEMP/run-<pid>-<random>/          a command-line conversion's files
//   TEMP/run-<pid>-<random>.lock
//
// The lock file says whether the owner still runs: the kernel drops the lock
// when the process ends, however it ends (crash and SIGKILL included), and a
// reused process id does not matter. Whenever a session starts, it takes the
// lock of every other session it can; those owners are gone, so their
// folders are removed. The desktop program's folder survives its exit, and
// the next desktop program takes over the newest one left behind (a rename),
// so that an Instrument list that showed a package's files still shows them
// after a restart. A command-line session removes its folder when it ends.
//
// A lock file is only trusted while its name still refers to the file that
// was locked: a sweeper that deleted a stale session between another
// program's open and flock would otherwise leave that program locking a
// file nobody can see.
#pragma once

#include <memory>
#include <string>

namespace dravik {

// "$XDG_CACHE_HOME/Quillfern/Dravik/TEMP/" (a relative or empty
// XDG_CACHE_HOME is ignored, as the base directory rules say), or
// "$HOME/.cache/Quillfern/Dravik/TEMP/"; empty when there is no home.
std::string PackageTempRoot();

class CPackageDirectory {
  public:
    enum class EKind {
        kWindow,   // kept at exit; the next desktop program takes it over
        kPrivate,  // removed when the object is destroyed; never taken over
    };

    // Creates a session folder under `root` (PackageTempRoot() when empty),
    // creating the missing folders of `root` with mode 0700. Null on failure,
    // with `error` naming the folder and the system's reason.
    static std::unique_ptr<CPackageDirectory> Create(EKind kind, std::string& error,
                                                     const std::string& root = {});
    ~CPackageDirectory();
    CPackageDirectory(const CPackageDirectory&) = delete;
    CPackageDirectory& operator=(const CPackageDirectory&) = delete;

    // Absolute path of the session folder, ending in "/".
    const std::string& GetPath() const noexcept { return m_path; }
    // The open session folder: files are created relative to it, so a
    // renamed or replaced path can never redirect them.
    int GetDescriptor() const noexcept { return m_dir_fd; }
    // Removes every file of the folder (subfolders, which Dravik never
    // creates, are left). False when one could not be removed.
    bool RemoveFiles();

  private:
    CPackageDirectory() = default;

    EKind m_kind = EKind::kPrivate;
    std::string m_path;
    std::string m_name;  // session folder name under the root
    int m_root_fd = -1;
    int m_dir_fd = -1;
    int m_lock_fd = -1;
};

// The desktop program's session folder, created on first use and kept for
// the life of the process; null (with `error` set when given) when it cannot
// be created. A later call tries again.
CPackageDirectory* ProcessPackageDirectory(std::string* error = nullptr);

}  // namespace dravik

// A move-only owner of one open file descriptor, with the file error causes
// the rest of the program reports (0 none ... 14 end of file).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace dravik {

// File error causes, as every layer reports them.
enum FileErrorCause : int {
    kFileNone = 0,
    kFileGeneric = 1,
    kFileNotFound = 2,
    kFileBadPath = 3,
    kFileTooManyOpen = 4,
    kFileAccessDenied = 5,
    kFileInvalid = 6,
    kFileRemoveCurrentDir = 7,
    kFileDirectoryFull = 8,
    kFileBadSeek = 9,
    kFileHardIO = 10,
    kFileSharingViolation = 11,
    kFileLockViolation = 12,
    kFileDiskFull = 13,
    kFileEndOfFile = 14,
};

// Maps an errno value onto a file error cause.
int FileErrorCauseFromErrno(int err) noexcept;

// How a file error cause is put in words where it is reported. The texts are
// the same everywhere but for their line end, the sharing violation of the
// conversion engine and the text of an unknown cause.
enum class FileErrorWording {
    kInstrument,  // the instrument loader: CR LF ended, "An unknown file error orrured."
    kResource,    // a file resource: CR LF ended, "An unknown file error occured."
    kConversion,  // the conversion engine: no line end, its own sharing violation
                  // text, "An unknown file error orrured."
    kMessage,     // a one-line message: no line end, "An unknown file error occurred."
};

// The text of a file error cause (0 to 14; any other is unknown) in `wording`.
std::string FileErrorText(int cause, FileErrorWording wording);

// What a file is, whatever name or link leads to it: two names (or a name and
// an open file) stand for the same file exactly when their identities are equal.
struct CFileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const CFileIdentity&) const = default;
};

// The identity of the file `path` names, links followed; false when there is
// no such file.
bool GetFileIdentity(const std::string& path, CFileIdentity& identity);

class CDiskFile {
  public:
    enum class Mode {
        kRead,       // existing file, read only
        kCreate,     // created anew (emptied when it exists), write only
        kAppend,     // opened for writing at its end, created when missing
        kCreateNew,  // created; an existing file is left alone and the open fails
    };

    CDiskFile() = default;
    ~CDiskFile() noexcept;
    CDiskFile(CDiskFile&& other) noexcept;
    CDiskFile& operator=(CDiskFile&& other) noexcept;
    CDiskFile(const CDiskFile&) = delete;
    CDiskFile& operator=(const CDiskFile&) = delete;

    // Opens the file; returns 0 or the file error cause. With `exclusive` an
    // exclusive lock is taken on a regular file right after opening and before
    // anything is emptied, so a file that another open holds fails with cause
    // 11 and is left as it was. A pipe, a FIFO or a device is shared by nature
    // and takes no lock. A file that turns out to be one of `refused` (a file the
    // caller reads, reached through another name or a link) fails with cause
    // 11 too, checked on the open file before anything is emptied, so no
    // name swapped in meanwhile can make it empty one of them.
    int Open(const std::string& path, Mode mode, bool exclusive = true,
             std::span<const CFileIdentity> refused = {});
    // The same for the process's standard input (kRead) or standard output
    // (any other mode), named "standard input" or "standard output". Nothing
    // is emptied: what the shell made of the output (a new file, one appended
    // to, a pipe) stays as it is.
    int OpenStandardStream(Mode mode, bool exclusive = true,
                           std::span<const CFileIdentity> refused = {});
    void Close() noexcept;

    bool IsOpen() const noexcept { return m_fd >= 0; }
    int GetDescriptor() const noexcept { return m_fd; }
    // Full path of the open file (absolute, as given when it cannot be resolved).
    const std::string& GetFilePath() const noexcept { return m_path; }
    // The identity of the open file; false when none is open.
    bool GetIdentity(CFileIdentity& identity) const;

    // Each returns 0 or a file error cause.
    int GetPosition(std::uint64_t& position) const;
    int Seek(std::uint64_t position);
    int SeekToEnd(std::uint64_t& length);
    int GetLength(std::uint64_t& length) const;
    // Reads up to `size` bytes; `got` is 0 only at the end of the file.
    int Read(void* buffer, std::size_t size, std::size_t& got);
    // Reads what comes with one read, up to `size` bytes (a pipe gives what
    // its writer has written so far); `got` is 0 only at the end of the data.
    int ReadSome(void* buffer, std::size_t size, std::size_t& got);
    // Writes every byte or fails.
    int Write(const void* data, std::size_t size);

    // What the system said about the last failure of this file, in its own
    // words ("No such file or directory", "Permission denied"), for a line
    // after the message that reports the failure; empty when it said
    // nothing (no failure since Open, or one the file decided itself).
    std::string GetSystemErrorText() const;

  private:
    // Takes `fd` as this file once it passes the checks that come before
    // anything is emptied; `truncate` empties a regular file. Closes `fd` on
    // failure.
    int Adopt(int fd, std::string path, bool exclusive, std::span<const CFileIdentity> refused,
              bool truncate);
    // Keeps `err` (an errno value) for GetSystemErrorText; its cause.
    int Fail(int err) const noexcept;

    int m_fd = -1;
    std::string m_path;
    mutable int m_error = 0;  // errno of the last failure, 0 for none
};

}  // namespace dravik

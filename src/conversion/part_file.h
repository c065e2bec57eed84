// An output file written under a temporary name, OUT.part, and given its own
// name only when the conversion completes: a conversion that fails or is
// cancelled never leaves a file that looks complete, and never destroys an
// earlier OUT.
//
// While the output is written, an existing OUT is held open with the same
// exclusive lock a text output takes, so that the same files are refused: one
// another conversion is writing, the files the conversion reads, a folder.
// An OUT that is a link is replaced where it points; one that is no regular
// file (a device such as /dev/null, a pipe) is written directly, as a text
// output is, since it cannot be replaced and is no file that looks complete;
// so is "-", standard output.
#pragma once

#include <span>
#include <string>

#include "platform/disk_file.h"

namespace dravik {

class CPartFile {
  public:
    CPartFile() = default;
    // Removes OUT.part unless it was committed or kept.
    ~CPartFile();
    CPartFile(const CPartFile&) = delete;
    CPartFile& operator=(const CPartFile&) = delete;

    // Checks that `path` may be replaced and creates (or empties) OUT.part,
    // open and locked; 0 or the file error cause.
    int Open(const std::string& path, std::span<const CFileIdentity> refused);
    const std::string& PartPath() const noexcept { return m_part_path; }
    // OUT is written directly (it is no regular file).
    bool IsDirect() const noexcept { return m_direct; }
    // Writes to OUT.part; 0 or the file error cause.
    int Write(const char* data, std::size_t size);
    // The open OUT.part. A writer that opens the file by name itself (a
    // library) closes it first: the name stays reserved all the same.
    CDiskFile& File() noexcept { return m_part; }

    // Gives OUT.part the name OUT; 0 or the cause of the failure (OUT.part is
    // then removed).
    int Commit();
    // Leaves OUT.part where it is, as an incomplete output.
    void Keep();
    // Removes OUT.part.
    void Abandon() noexcept;

    // What the system said about the last failure, for a line after the
    // message that reports it (CDiskFile::GetSystemErrorText).
    const std::string& GetSystemErrorText() const noexcept { return m_detail; }

  private:
    std::string m_path;
    std::string m_part_path;
    CDiskFile m_part;
    CDiskFile m_existing;  // OUT, when it exists: held until it is replaced
    bool m_pending = false;
    bool m_direct = false;
    std::string m_detail;
};

}  // namespace dravik

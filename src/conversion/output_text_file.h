// The output file of a conversion: created anew, held with an exclusive lock,
// written through a large buffer so that a conversion costs few system calls,
// and written as text, every "\n" reaching the disk as CR LF.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "platform/disk_file.h"

namespace dravik {

class COutputTextFile {
  public:
    static constexpr std::size_t kBufferSize = 64 * 1024;

    COutputTextFile() = default;
    // Closes the file; what is still buffered is written (a failure there is
    // lost, so callers that care call Close and look at its result).
    ~COutputTextFile() noexcept;
    COutputTextFile(const COutputTextFile&) = delete;
    COutputTextFile& operator=(const COutputTextFile&) = delete;

    // Creates (or empties) the file, or takes standard output for "-"; 0 or
    // the file error cause. The lock is
    // taken before the file is emptied, so a file that another open holds
    // (the log file being converted, say) fails with cause 11 and stays as it was,
    // and so does one of the `refused` files (the files the conversion reads).
    int Open(const std::string& path, std::span<const CFileIdentity> refused = {});
    bool IsOpen() const noexcept { return m_file.IsOpen(); }
    // What the system said about the last failure (CDiskFile::GetSystemErrorText).
    std::string GetSystemErrorText() const { return m_file.GetSystemErrorText(); }

    // Appends text; 0, 6 when the file is not open, or the cause of a failed
    // write. When the buffer fills it is written out; a failure is reported by
    // the Write that met it, and everything the disk accepted before stays.
    int Write(std::string_view text);
    // The same for text built in place, so that a row is not built in one
    // string and then copied into the buffer: append the text to the string
    // BeginText returns (only append, never change what was there), then call
    // EndText, which makes CR LF of every "\n" appended and answers as Write.
    // A file that is not open hands out a string that EndText then empties.
    std::string& BeginText() noexcept {
        m_text_start = m_buffer.size();
        return m_buffer;
    }
    int EndText();
    // Writes out the buffer; 0 or the cause of the failure.
    int Flush();
    // Flushes and closes; 0 or the cause of the failure of the last flush.
    // Closing a file that is not open answers 0.
    int Close() noexcept;

  private:
    CDiskFile m_file;
    std::string m_buffer;
    std::size_t m_text_start = 0;
};

}  // namespace dravik

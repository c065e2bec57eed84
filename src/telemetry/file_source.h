// The log file of a file resource, read in chunks of the buffer size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace dravik {

class CDiskFile;

// The text of a file error cause as a file resource reports it, ended by CR LF.
std::string FileResourceErrorText(int cause);

// Reads the log from the position it had when the reading began up to the
// length it had then: bytes appended since are left for the next reading (a
// file that keeps growing, or a device that never ends, would otherwise be
// read forever), and a file that ends before that length was cut short
// underneath, which is a read error (cause 14), not the end of the data.
//
// A frame cut near the end of the bytes read so far needs the bytes behind it
// (its time tag); Peek reads them ahead. What it reads is handed out by the
// next Read as if it were read only then, so whatever the reader says about
// a chunk (its end of the file, its error) is said at the same moment as
// without the read-ahead.
class CFileSource {
  public:
    // One read of the file: the bytes it got, the file error cause (14 for a
    // file shorter than its length), and the file position after it.
    struct Chunk {
        std::size_t got = 0;
        int cause = 0;
        std::uint64_t position = 0;
    };

    // Takes the open file (which stays the caller's) and measures it; 0 or a
    // file error cause.
    int Open(CDiskFile* file, std::size_t buffer_size);
    // Forgets the file: nothing is read from it any more.
    void Release() noexcept { m_file = nullptr; }
    bool HasFile() const noexcept { return m_file != nullptr; }
    bool IsOpen() const noexcept;
    std::uint64_t Length() const noexcept { return m_length; }

    // Room Read needs for the next chunk.
    std::size_t NextChunkSize() const noexcept;
    // The next chunk into `dest`: the one read ahead, if any, else read now.
    Chunk Read(std::uint8_t* dest);
    // `got` bytes of the last chunk were handed on.
    void Advance(std::size_t got) noexcept { m_handed += got; }
    // Bytes handed on so far, and the file offset of the first of them.
    std::uint64_t Handed() const noexcept { return m_handed; }
    std::uint64_t Origin() const noexcept { return m_origin; }
    // Nothing is left to hand on.
    bool AtEnd() const noexcept { return m_ahead.empty() && m_origin + m_handed >= m_length; }
    // The first `want` bytes after those handed on (fewer where the data
    // ends), reading ahead as needed; 0 or the file error cause that stopped
    // the reading.
    int Peek(std::uint8_t* out, std::size_t want, std::size_t& got);

    // What the resource reports: the end of the file reached, and the cause
    // of the last failed read; each is reset by taking it.
    int end_of_file = 0;
    int error_cause = 0;
    int TakeEndOfFile() noexcept;
    int TakeErrorCause() noexcept;

  private:
    struct Ahead {
        std::vector<std::uint8_t> bytes;
        Chunk chunk;
    };
    Chunk ReadFile(std::uint8_t* dest, std::size_t size);
    bool EndsData(const Chunk& chunk) const noexcept {
        return chunk.cause != 0 || chunk.got == 0 || chunk.position >= m_length;
    }

    CDiskFile* m_file = nullptr;
    std::size_t m_buffer_size = 0;
    std::uint64_t m_length = 0;
    std::uint64_t m_origin = 0;
    std::uint64_t m_handed = 0;
    std::deque<Ahead> m_ahead;
};

}  // namespace dravik

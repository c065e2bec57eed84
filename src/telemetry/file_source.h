// The log of a file resource, read in chunks of the buffer size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace dravik {

class CLogSource;

// Reads the log from where the reading began. A regular file is read up to
// the length it had then: bytes appended since are left for the next reading
// (a file that keeps growing would otherwise be read forever), and a file
// that ends before that length was cut short underneath, which is a read
// error (cause 14), not the end of the data. A stream (a pipe, standard
// input, a compressed log) has no length ahead: it ends where it says so.
// Offsets count from where the reading began.
//
// A frame cut near the end of the bytes read so far needs the bytes behind it
// (its time tag); Peek reads them ahead. What it reads is handed out by the
// next Read as if it were read only then, so whatever the reader says about
// a chunk (its end of the data, its error) is said at the same moment as
// without the read-ahead.
class CFileSource {
  public:
    // One read of the log: the bytes it got, the file error cause (14 for a
    // file shorter than its length), and whether the data ends with it.
    struct Chunk {
        std::size_t got = 0;
        int cause = 0;
        bool end = false;
    };

    // Takes the open log (which stays the caller's).
    void Open(CLogSource* source, std::size_t buffer_size);
    // Forgets the log: nothing is read from it any more.
    void Release() noexcept { m_source = nullptr; }
    bool HasFile() const noexcept { return m_source != nullptr; }
    bool IsOpen() const noexcept;

    // Room Read needs for the next chunk.
    std::size_t NextChunkSize() const noexcept;
    // The next chunk into `dest`: the one read ahead, if any, else read now.
    Chunk Read(std::uint8_t* dest);
    // `got` bytes of the last chunk were handed on.
    void Advance(std::size_t got) noexcept { m_handed += got; }
    // Bytes handed on so far.
    std::uint64_t Handed() const noexcept { return m_handed; }
    // Nothing is left to hand on.
    bool AtEnd() const noexcept;
    // The first `want` bytes after those handed on (fewer where the data
    // ends), reading ahead as needed; 0 or the file error cause that stopped
    // the reading.
    int Peek(std::uint8_t* out, std::size_t want, std::size_t& got);

    // What the resource reports: the end of the data reached, and the cause
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
    Chunk ReadSource(std::uint8_t* dest, std::size_t size);
    static bool EndsData(const Chunk& chunk) noexcept {
        return chunk.cause != 0 || chunk.got == 0 || chunk.end;
    }
    // The size of a chunk read `at` bytes from the start.
    std::size_t ChunkSizeAt(std::uint64_t at) const noexcept;

    CLogSource* m_source = nullptr;
    std::size_t m_buffer_size = 0;
    bool m_has_length = false;
    std::uint64_t m_length = 0;
    std::uint64_t m_handed = 0;
    std::uint64_t m_read = 0;     // bytes read from the log, those ahead included
    bool m_source_ended = false;  // a stream said it ended
    std::deque<Ahead> m_ahead;
};

}  // namespace dravik

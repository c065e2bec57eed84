// Where the bytes of a log come from: a regular file, a pipe, a FIFO or
// standard input, and a compressed log of any of these, decompressed on the
// way. A compressed log is known by its first bytes, whatever its name, and
// those bytes are looked at without being lost, so a stream that cannot be
// read twice is recognised too.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/disk_file.h"

namespace dravik {

// The name that stands for standard input (as a log) or standard output (as
// an output) on a command line.
inline constexpr std::string_view kStandardStreamName = "-";
inline bool IsStandardStream(std::string_view path) noexcept {
    return path == kStandardStreamName;
}

enum class ECompression { kNone, kGzip, kBzip2, kXz, kZstd };

// "gzip", "bzip2", "xz", "zstd"; empty for none.
const char* CompressionName(ECompression compression) noexcept;

// The compression whose signature `head` (the first bytes of a log) begins
// with; kNone when the bytes are too few to tell.
ECompression DetectCompression(const std::uint8_t* head, std::size_t size) noexcept;

// The length of the log at `path` when it is known before it is read (an
// uncompressed regular file); false for a stream or a compressed log, which
// tell their length only at their end. Reads nothing from a stream.
bool GetLengthAhead(const std::string& path, std::uint64_t& length);

// The raw bytes of an open file, in order and once: a regular file is read
// straight into the caller's buffer; a stream (pipe, FIFO, socket) through a
// buffer of its own, waiting for it in slices so that an interruption is
// seen. The first bytes can be looked at before they are read.
class CRawInput {
  public:
    static constexpr std::size_t kBlockSize = 64 * 1024;

    // Reads `file` (which stays the caller's) from its position on.
    void Start(CDiskFile* file, bool stream);
    // Up to `want` bytes from the next one on, left to be read (fewer only
    // where the data ends); 0 or the file error cause.
    int Peek(std::size_t want, const std::uint8_t*& bytes, std::size_t& got);
    // Fills `dest` with `size` bytes, fewer only where the data ends.
    int Read(std::uint8_t* dest, std::size_t size, std::size_t& got);
    // The next bytes, as many as come at once (none only at the end of the
    // data), valid until the next call.
    int Next(const std::uint8_t*& bytes, std::size_t& got);
    // Nothing follows what was handed out; known only once a read met the end.
    bool Ended() const noexcept { return m_ended && m_begin == m_end; }
    // Any thread: a wait for a stream's next bytes ends as the end of the data.
    void Interrupt() noexcept { m_interrupted.store(true); }
    bool Interrupted() const noexcept { return m_interrupted.load(); }

  private:
    // Adds whatever comes at once to the buffered bytes (from a regular
    // file, no more than `at_most`).
    int Fill(std::size_t at_most);
    // Waits until the stream has bytes (or has ended); false when interrupted.
    bool WaitReadable();

    CDiskFile* m_file = nullptr;
    bool m_stream = false;
    bool m_ended = false;
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_begin = 0, m_end = 0;  // buffered bytes not yet handed out
    std::atomic<bool> m_interrupted{false};
};

// Turns compressed bytes into the log's own bytes.
class CDecoder {
  public:
    virtual ~CDecoder() = default;
    // Fills `dest` with up to `size` decompressed bytes: none only at the end
    // of the data. 0 or a file error cause, with the bytes decoded before the
    // failure; a damaged stream gives kFileGeneric and says why in `why`.
    virtual int Decode(std::uint8_t* dest, std::size_t size, std::size_t& got,
                       std::string& why) = 0;
};

class CLogSource {
  public:
    CLogSource();
    ~CLogSource();
    CLogSource(const CLogSource&) = delete;
    CLogSource& operator=(const CLogSource&) = delete;

    // Opens the log at `path`, or standard input for "-", and recognises its
    // compression. `exclusive` locks a regular file as CDiskFile does. 0 or
    // the file error cause; a log that cannot be read as one (a terminal, a
    // device, a compression this build cannot read) gives kFileAccessDenied
    // or kFileGeneric and says why in GetFailureDetail.
    int Open(const std::string& path, bool exclusive = true);
    void Close() noexcept;

    bool IsOpen() const noexcept { return m_file.IsOpen(); }
    // The full path, or "standard input".
    const std::string& GetName() const noexcept { return m_file.GetFilePath(); }
    bool GetIdentity(CFileIdentity& identity) const { return m_file.GetIdentity(identity); }
    ECompression GetCompression() const noexcept { return m_compression; }
    // The bytes from where the reading starts to the end, known ahead for an
    // uncompressed regular file only; a stream or a compressed log tells its
    // end when it gets there.
    bool HasLength() const noexcept { return m_has_length; }
    std::uint64_t GetLength() const noexcept { return m_length; }

    // One read: up to `size` bytes, fewer only where the data ends or a read
    // fails. `end` says that no byte follows these (an uncompressed regular
    // file says so only by its length, which is the reader's to compare).
    struct CRead {
        std::size_t got = 0;
        int cause = 0;
        bool end = false;
    };
    CRead Read(std::uint8_t* dest, std::size_t size);
    // Any thread: a read waiting for a stream's bytes ends as the end of the
    // data, so that a conversion can be cancelled while a writer is silent.
    void Interrupt() noexcept { m_raw.Interrupt(); }
    // What was wrong in plain words, when the cause alone does not say it
    // (a damaged compressed log, a terminal); empty otherwise.
    const std::string& GetFailureDetail() const noexcept { return m_detail; }
    // The same, or else what the system said about the last failure
    // (CDiskFile::GetSystemErrorText), for a line after the message.
    std::string GetSystemErrorText() const;

  private:
    int Fail(int cause, std::string detail);
    // Decodes the next block into the buffer of decoded bytes, noting the
    // end of the data or a failure.
    void Refill();

    CDiskFile m_file;
    CRawInput m_raw;
    ECompression m_compression = ECompression::kNone;
    bool m_has_length = false;
    std::uint64_t m_length = 0;
    std::unique_ptr<CDecoder> m_decoder;
    // Decoded bytes not yet handed out: a decoder runs a block ahead, so
    // that the end of the data is known with the last bytes.
    std::vector<std::uint8_t> m_decoded;
    std::size_t m_begin = 0, m_end = 0;
    bool m_decoder_ended = false;
    int m_failure = 0;  // to be told once the bytes decoded before it are handed out
    std::string m_detail;
};

}  // namespace dravik

#include "platform/log_source.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/log_decoders.h"

namespace dravik {

namespace {

// Enough for the longest signature (bzip2's, with its block magic).
constexpr std::size_t kSignatureBytes = 10;

// How long a wait for a stream's bytes lasts before it looks whether it was
// interrupted.
constexpr int kWaitSliceMs = 100;

bool Begins(const std::uint8_t* head, std::size_t size, std::initializer_list<int> signature) {
    if (size < signature.size()) return false;
    std::size_t i = 0;
    for (int byte : signature) {
        if (head[i++] != byte) return false;
    }
    return true;
}

}  // namespace

const char* CompressionName(ECompression compression) noexcept {
    switch (compression) {
        case ECompression::kGzip:
            return "gzip";
        case ECompression::kBzip2:
            return "bzip2";
        case ECompression::kXz:
            return "xz";
        case ECompression::kZstd:
            return "zstd";
        case ECompression::kNone:
            break;
    }
    return "";
}

ECompression DetectCompression(const std::uint8_t* head, std::size_t size) noexcept {
    // Each signature is long enough that no instrument's frames begin with it:
    // gzip's magic with its only compression method, the xz stream header,
    // the zstd frame magic, and bzip2's "BZh", a block size and the magic of
    // a first block (or of the end of an empty stream).
    if (Begins(head, size, {0x1f, 0x8b, 0x08})) return ECompression::kGzip;
    if (Begins(head, size, {0xfd, '7', 'z', 'X', 'Z', 0x00})) return ECompression::kXz;
    if (Begins(head, size, {0x28, 0xb5, 0x2f, 0xfd})) return ECompression::kZstd;
    if (size >= kSignatureBytes && Begins(head, size, {'B', 'Z', 'h'}) && head[3] >= '1' &&
        head[3] <= '9' &&
        (Begins(head + 4, size - 4, {0x31, 0x41, 0x59, 0x26, 0x53, 0x59}) ||
         Begins(head + 4, size - 4, {0x17, 0x72, 0x45, 0x38, 0x50, 0x90}))) {
        return ECompression::kBzip2;
    }
    return ECompression::kNone;
}

bool GetLengthAhead(const std::string& path, std::uint64_t& length) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    CDiskFile file;
    std::uint8_t head[kSignatureBytes];
    std::size_t got = 0;
    if (file.Open(path, CDiskFile::Mode::kRead, false) != 0 ||
        file.Read(head, sizeof head, got) != 0 ||
        DetectCompression(head, got) != ECompression::kNone) {
        return false;
    }
    length = static_cast<std::uint64_t>(st.st_size);
    return true;
}

// ---------------------------------------------------------------------------
// Raw input

void CRawInput::Start(CDiskFile* file, bool stream) {
    m_file = file;
    m_stream = stream;
    m_ended = false;
    m_begin = m_end = 0;
    m_buffer.assign(kBlockSize, 0);
    m_interrupted.store(false);
}

bool CRawInput::WaitReadable() {
    pollfd waiting{m_file->GetDescriptor(), POLLIN, 0};
    for (;;) {
        if (m_interrupted.load()) return false;
        const int ready = ::poll(&waiting, 1, kWaitSliceMs);
        // Readable, closed by the writer or failed: the read tells which.
        if (ready > 0) return true;
        if (ready < 0 && errno != EINTR) return true;
    }
}

int CRawInput::Fill(std::size_t at_most) {
    if (m_begin == m_end) m_begin = m_end = 0;
    if (m_end == m_buffer.size() && m_begin > 0) {
        std::memmove(m_buffer.data(), m_buffer.data() + m_begin, m_end - m_begin);
        m_end -= m_begin;
        m_begin = 0;
    }
    std::uint8_t* const at = m_buffer.data() + m_end;
    const std::size_t room = m_buffer.size() - m_end;
    if (m_ended || room == 0) return 0;
    if (!m_stream) {
        // A regular file is read no further than asked: the rest is read
        // when the reader gets there, as it stands then.
        const std::size_t want = std::min(room, at_most);
        std::size_t got = 0;
        const int cause = m_file->Read(at, want, got);
        m_end += got;
        if (cause == 0 && got < want) m_ended = true;
        return cause;
    }
    if (!WaitReadable()) {
        m_ended = true;
        return 0;
    }
    std::size_t got = 0;
    const int cause = m_file->ReadSome(at, room, got);
    m_end += got;
    if (cause == 0 && got == 0) m_ended = true;
    return cause;
}

int CRawInput::Peek(std::size_t want, const std::uint8_t*& bytes, std::size_t& got) {
    want = std::min(want, m_buffer.size());
    while (m_end - m_begin < want && !m_ended) {
        if (const int cause = Fill(want - (m_end - m_begin)); cause != 0) return cause;
    }
    bytes = m_buffer.data() + m_begin;
    got = std::min(want, m_end - m_begin);
    return 0;
}

int CRawInput::Read(std::uint8_t* dest, std::size_t size, std::size_t& got) {
    got = std::min(size, m_end - m_begin);
    if (got > 0) std::memcpy(dest, m_buffer.data() + m_begin, got);
    m_begin += got;
    if (got < size && !m_stream && !m_ended) {
        // A regular file is read straight into the caller's buffer.
        std::size_t direct = 0;
        const int cause = m_file->Read(dest + got, size - got, direct);
        got += direct;
        if (cause == 0 && got < size) m_ended = true;
        return cause;
    }
    while (got < size && !m_ended) {
        if (const int cause = Fill(kBlockSize); cause != 0) return cause;
        const std::size_t n = std::min(size - got, m_end - m_begin);
        std::memcpy(dest + got, m_buffer.data() + m_begin, n);
        m_begin += n;
        got += n;
    }
    return 0;
}

int CRawInput::Next(const std::uint8_t*& bytes, std::size_t& got) {
    if (m_begin == m_end) {
        if (const int cause = Fill(kBlockSize); cause != 0) return cause;
    }
    bytes = m_buffer.data() + m_begin;
    got = m_end - m_begin;
    m_begin = m_end;
    return 0;
}

// ---------------------------------------------------------------------------
// Log source

CLogSource::CLogSource() = default;
CLogSource::~CLogSource() = default;

std::string CLogSource::GetSystemErrorText() const {
    return m_detail.empty() ? m_file.GetSystemErrorText() : m_detail;
}

int CLogSource::Fail(int cause, std::string detail) {
    Close();
    m_detail = std::move(detail);
    return cause;
}

int CLogSource::Open(const std::string& path, bool exclusive) {
    Close();
    m_detail.clear();
    int cause = IsStandardStream(path)
                    ? m_file.OpenStandardStream(CDiskFile::Mode::kRead, exclusive)
                    : m_file.Open(path, CDiskFile::Mode::kRead, exclusive);
    if (cause != 0) return cause;
    struct stat st {};
    if (fstat(m_file.GetDescriptor(), &st) != 0) return Fail(FileErrorCauseFromErrno(errno), {});
    if (S_ISCHR(st.st_mode)) {
        // A terminal would wait for typing, and a device such as /dev/zero
        // never ends; neither holds a log.
        if (isatty(m_file.GetDescriptor())) {
            return Fail(kFileAccessDenied,
                        "It is a terminal. Name the log file, or send the log to the program "
                        "through a pipe.");
        }
        return Fail(kFileAccessDenied, "It is a device, not a log file.");
    }
    const bool stream = S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode);
    if (!stream) {
        // Read from where the file stands (standard input may have been
        // read from already) up to its length now.
        std::uint64_t start = 0, end = 0;
        cause = m_file.GetPosition(start);
        if (cause == 0) cause = m_file.SeekToEnd(end);
        if (cause == 0) cause = m_file.Seek(start);
        if (cause != 0) return Fail(cause, {});
        m_length = end > start ? end - start : 0;
    }
    m_raw.Start(&m_file, stream);
    const std::uint8_t* head = nullptr;
    std::size_t got = 0;
    if (cause = m_raw.Peek(kSignatureBytes, head, got); cause != 0) return Fail(cause, {});
    m_compression = DetectCompression(head, got);
    if (m_compression == ECompression::kNone) {
        m_has_length = !stream;
        return 0;
    }
    std::string why;
    m_decoder = MakeDecoder(m_compression, m_raw, why);
    if (!m_decoder) return Fail(kFileGeneric, why);
    m_has_length = false;
    m_length = 0;
    m_decoded.assign(CRawInput::kBlockSize, 0);
    return 0;
}

void CLogSource::Close() noexcept {
    m_decoder.reset();
    m_file.Close();
    m_compression = ECompression::kNone;
    m_has_length = false;
    m_length = 0;
    m_decoded.clear();
    m_decoded.shrink_to_fit();
    m_begin = m_end = 0;
    m_decoder_ended = false;
    m_failure = 0;
}

void CLogSource::Refill() {
    std::size_t got = 0;
    std::string why;
    const int cause = m_decoder->Decode(m_decoded.data(), m_decoded.size(), got, why);
    m_begin = 0;
    m_end = got;
    if (cause != 0) {
        // A cancel cuts the compressed stream off; that is no damage.
        if (m_raw.Interrupted()) {
            m_decoder_ended = true;
        } else {
            m_failure = cause;
            m_detail = std::move(why);
        }
    } else if (got == 0) {
        m_decoder_ended = true;
    }
}

CLogSource::CRead CLogSource::Read(std::uint8_t* dest, std::size_t size) {
    CRead read;
    if (!m_file.IsOpen()) {
        read.cause = kFileInvalid;
        return read;
    }
    if (!m_decoder) {
        read.cause = m_raw.Read(dest, size, read.got);
        // A stream says where it ends with its last bytes, so a log that ends
        // on a chunk boundary ends with that chunk as a file's does.
        if (read.cause == 0 && !m_has_length) {
            const std::uint8_t* next = nullptr;
            std::size_t more = 0;
            read.cause = m_raw.Peek(1, next, more);
            read.end = read.cause == 0 && more == 0;
        }
        return read;
    }
    // What was decoded before a failure is handed out first; the failure
    // comes with the read after. Once `size` bytes are handed, one more block
    // is decoded ahead, so that the end of the data comes with its last bytes.
    for (;;) {
        if (m_begin == m_end && !m_decoder_ended && m_failure == 0) Refill();
        if (m_begin == m_end) {
            if (m_failure != 0 && read.got == 0) {
                read.cause = std::exchange(m_failure, 0);
                m_decoder_ended = true;
            }
            break;
        }
        if (read.got == size) break;
        const std::size_t n = std::min(size - read.got, m_end - m_begin);
        std::memcpy(dest + read.got, m_decoded.data() + m_begin, n);
        m_begin += n;
        read.got += n;
    }
    read.end = read.cause == 0 && m_failure == 0 && m_decoder_ended && m_begin == m_end;
    return read;
}

}  // namespace dravik

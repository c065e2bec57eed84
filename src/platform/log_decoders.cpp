#include "platform/log_decoders.h"

#include <archive.h>
#include <archive_entry.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>

namespace dravik {

namespace {

// gzip, member after member as gzip itself reads them. Bytes after a member
// that do not begin another one are left alone, as gzip leaves them (tape
// padding, say); a member that ends early is a log cut short.
class CGzipDecoder : public CDecoder {
  public:
    explicit CGzipDecoder(CRawInput& raw) : m_raw(raw) {}
    ~CGzipDecoder() override {
        if (m_started) inflateEnd(&m_zip);
    }

    bool Start() {
        // 16 + the largest window: a gzip wrapper, whose CRC-32 and length
        // zlib checks at the end of each member.
        m_started = inflateInit2(&m_zip, 16 + MAX_WBITS) == Z_OK;
        return m_started;
    }

    int Decode(std::uint8_t* dest, std::size_t size, std::size_t& got, std::string& why) override {
        const auto room = static_cast<uInt>(std::min<std::size_t>(size, UINT_MAX));
        m_zip.next_out = dest;
        m_zip.avail_out = room;
        const int cause = Inflate(why);
        // The bytes decoded before a failure go with it.
        got = room - m_zip.avail_out;
        return cause;
    }

  private:
    // Inflates until the output is full or the data ends.
    int Inflate(std::string& why) {
        while (m_zip.avail_out > 0 && !m_finished) {
            if (m_zip.avail_in == 0) {
                const std::uint8_t* bytes = nullptr;
                std::size_t count = 0;
                if (const int cause = m_raw.Next(bytes, count); cause != 0) return cause;
                if (count == 0) {
                    if (m_between_members) {
                        m_finished = true;
                        break;
                    }
                    why =
                        "The gzip data ends in the middle of its last member: the file was "
                        "cut short.";
                    return kFileGeneric;
                }
                m_zip.next_in = const_cast<Bytef*>(bytes);
                m_zip.avail_in = static_cast<uInt>(count);
            }
            if (m_between_members) {
                // Another member, or whatever trails the last one.
                if (m_zip.next_in[0] != 0x1f) {
                    m_finished = true;
                    break;
                }
                inflateReset(&m_zip);
                m_between_members = false;
            }
            const int result = inflate(&m_zip, Z_NO_FLUSH);
            if (result == Z_STREAM_END) {
                m_between_members = true;
            } else if (result != Z_OK && result != Z_BUF_ERROR) {
                why = std::string("The gzip data is damaged: ") +
                      (m_zip.msg != nullptr ? m_zip.msg : "it cannot be decompressed") + ".";
                return kFileGeneric;
            }
        }
        return 0;
    }

    CRawInput& m_raw;
    z_stream m_zip{};
    bool m_started = false;
    bool m_between_members = false;  // a member ended; another may follow
    bool m_finished = false;
};

// bzip2, xz and zstd through the archive library, which reads the
// compressed bytes from the raw input through a callback.
class CArchiveDecoder : public CDecoder {
  public:
    CArchiveDecoder(CRawInput& raw, ECompression compression)
        : m_raw(raw), m_compression(compression) {}
    ~CArchiveDecoder() override {
        if (m_archive != nullptr) archive_read_free(m_archive);
    }

    bool Start(std::string& why) {
        m_archive = archive_read_new();
        if (m_archive == nullptr) {
            why = "There is not enough memory to decompress it.";
            return false;
        }
        // Only the filter the first bytes named: a log is never taken for
        // some other kind of data.
        int code = ARCHIVE_FILTER_NONE;
        int supported = ARCHIVE_FATAL;
        switch (m_compression) {
            case ECompression::kBzip2:
                code = ARCHIVE_FILTER_BZIP2;
                supported = archive_read_support_filter_bzip2(m_archive);
                break;
            case ECompression::kXz:
                code = ARCHIVE_FILTER_XZ;
                supported = archive_read_support_filter_xz(m_archive);
                break;
            case ECompression::kZstd:
                code = ARCHIVE_FILTER_ZSTD;
                supported = archive_read_support_filter_zstd(m_archive);
                break;
            default:
                break;
        }
        const std::string kind = CompressionName(m_compression);
        // An external program standing in for a missing library is not used.
        if (supported != ARCHIVE_OK) {
            why = "This build of the program cannot decompress " + kind + " data.";
            return false;
        }
        archive_read_support_format_raw(m_archive);
        archive_entry* entry = nullptr;
        if (archive_read_open(m_archive, this, nullptr, &CArchiveDecoder::ReadCallback, nullptr) !=
                ARCHIVE_OK ||
            archive_read_next_header(m_archive, &entry) != ARCHIVE_OK) {
            why = Damaged();
            return false;
        }
        if (archive_filter_code(m_archive, 0) != code) {
            why = "Its first bytes say " + kind + ", but it is no " + kind + " data.";
            return false;
        }
        return true;
    }

    int Decode(std::uint8_t* dest, std::size_t size, std::size_t& got, std::string& why) override {
        got = 0;
        const la_ssize_t n = archive_read_data(m_archive, dest, size);
        if (n >= 0) {
            got = static_cast<std::size_t>(n);
            return 0;
        }
        if (m_read_cause != 0) return m_read_cause;
        why = Damaged();
        return kFileGeneric;
    }

  private:
    static la_ssize_t ReadCallback(archive* a, void* self, const void** buffer) {
        auto* decoder = static_cast<CArchiveDecoder*>(self);
        const std::uint8_t* bytes = nullptr;
        std::size_t got = 0;
        decoder->m_read_cause = decoder->m_raw.Next(bytes, got);
        if (decoder->m_read_cause != 0) {
            archive_set_error(a, EIO, "read error");
            return ARCHIVE_FATAL;
        }
        *buffer = bytes;
        return static_cast<la_ssize_t>(got);
    }

    std::string Damaged() const {
        const char* detail = archive_error_string(m_archive);
        return "The " + std::string(CompressionName(m_compression)) +
               " data is damaged or cut short" +
               (detail != nullptr ? std::string(": ") + detail : std::string()) + ".";
    }

    CRawInput& m_raw;
    ECompression m_compression;
    archive* m_archive = nullptr;
    int m_read_cause = 0;
};

}  // namespace

std::unique_ptr<CDecoder> MakeDecoder(ECompression compression, CRawInput& raw, std::string& why) {
    if (compression == ECompression::kGzip) {
        auto gzip = std::make_unique<CGzipDecoder>(raw);
        if (gzip->Start()) return gzip;
        why = "There is not enough memory to decompress it.";
        return nullptr;
    }
    auto decoder = std::make_unique<CArchiveDecoder>(raw, compression);
    if (decoder->Start(why)) return decoder;
    return nullptr;
}

}  // namespace dravik

#include "conversion/output_text_file.h"

#include <algorithm>
#include <cstring>

namespace dravik {

COutputTextFile::~COutputTextFile() noexcept {
    Close();
}

int COutputTextFile::Open(const std::string& path, std::span<const CFileIdentity> refused) {
    Close();
    // "-" is standard output, written as it stands.
    int cause = path == "-" ? m_file.OpenStandardStream(CDiskFile::Mode::kCreate, true, refused)
                            : m_file.Open(path, CDiskFile::Mode::kCreate, true, refused);
    if (cause == 0) {
        m_buffer.clear();
        m_buffer.reserve(kBufferSize + 1024);
    }
    return cause;
}

int COutputTextFile::Write(std::string_view text) {
    if (!m_file.IsOpen()) return kFileInvalid;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t nl = text.find('\n', start);
        if (nl == std::string_view::npos) {
            m_buffer.append(text.substr(start));
            break;
        }
        m_buffer.append(text.substr(start, nl - start));
        m_buffer.append("\r\n", 2);
        start = nl + 1;
    }
    if (m_buffer.size() >= kBufferSize) return Flush();
    return kFileNone;
}

int COutputTextFile::EndText() {
    const std::size_t start = std::min(m_text_start, m_buffer.size());
    if (!m_file.IsOpen()) {
        m_buffer.resize(start);
        return kFileInvalid;
    }
    // Text mode: a CR goes in before every LF of the new text. Rows hold
    // one LF at most, at their end, so the LFs are found with memchr and
    // only the bytes from the first LF on are moved, from the back.
    const std::size_t end = m_buffer.size();
    const char* const text = m_buffer.data();
    const auto* first = static_cast<const char*>(std::memchr(text + start, '\n', end - start));
    if (first != nullptr) {
        const std::size_t first_lf = static_cast<std::size_t>(first - text);
        std::size_t count = 0;
        for (const char* p = first; p != nullptr;
             p = static_cast<const char*>(std::memchr(p + 1, '\n', text + end - p - 1))) {
            ++count;
        }
        m_buffer.resize(end + count);
        char* const moved = m_buffer.data();
        std::size_t to = end + count;
        for (std::size_t from = end; from > first_lf;) {
            const char c = moved[--from];
            moved[--to] = c;
            if (c == '\n') moved[--to] = '\r';
        }
    }
    if (m_buffer.size() >= kBufferSize) return Flush();
    return kFileNone;
}

int COutputTextFile::Flush() {
    if (!m_file.IsOpen()) return kFileInvalid;
    if (m_buffer.empty()) return kFileNone;
    int cause = m_file.Write(m_buffer.data(), m_buffer.size());
    // On a failure the part the disk took stays in the file; the rest cannot
    // be written any more and is dropped so that it is not retried forever.
    m_buffer.clear();
    return cause;
}

int COutputTextFile::Close() noexcept {
    if (!m_file.IsOpen()) return kFileNone;
    int cause = kFileNone;
    try {
        cause = Flush();
    } catch (...) {
        cause = kFileGeneric;
    }
    m_file.Close();
    m_buffer.clear();
    return cause;
}

}  // namespace dravik

// The generator's output: a file or a descriptor written through one large
// buffer, so that a gigabyte of frames costs a thousand writes.
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "log_generator.h"

namespace dravik {

namespace {
constexpr std::size_t kSinkBufferSize = 1 << 20;
}  // namespace

CLogSink::~CLogSink() {
    Close();
}

int CLogSink::Open(const std::string& path) {
    m_buffer.resize(kSinkBufferSize);
    m_error = m_file.Open(path, CDiskFile::Mode::kCreate, true);
    return m_error;
}

int CLogSink::OpenDescriptor(int fd) {
    m_buffer.resize(kSinkBufferSize);
    m_fd = fd;
    m_error = 0;
    return 0;
}

int CLogSink::WriteOut(const char* data, std::size_t size) {
    if (m_file.IsOpen()) return m_file.Write(data, size);
    if (m_fd < 0) return kFileInvalid;
    while (size > 0) {
        const ssize_t n = ::write(m_fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return FileErrorCauseFromErrno(errno);
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

int CLogSink::Write(std::string_view bytes) {
    if (m_error != 0) return m_error;
    if (!m_file.IsOpen() && m_fd < 0) return m_error = kFileInvalid;
    if (m_used + bytes.size() > m_buffer.size()) {
        if (int cause = Flush()) return cause;
        if (bytes.size() >= m_buffer.size()) {
            m_error = WriteOut(bytes.data(), bytes.size());
            if (m_error == 0) m_written += bytes.size();
            return m_error;
        }
    }
    std::memcpy(m_buffer.data() + m_used, bytes.data(), bytes.size());
    m_used += bytes.size();
    m_written += bytes.size();
    return 0;
}

int CLogSink::Flush() {
    if (m_error != 0) return m_error;
    if (m_used > 0) {
        m_error = WriteOut(m_buffer.data(), m_used);
        m_used = 0;
    }
    return m_error;
}

int CLogSink::Close() {
    const int cause = (m_file.IsOpen() || m_fd >= 0) ? Flush() : m_error;
    m_file.Close();
    m_fd = -1;  // a descriptor handed in stays open: its owner closes it
    return cause;
}

}  // namespace dravik

#include "conversion/part_file.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/log_source.h"

namespace dravik {

CPartFile::~CPartFile() {
    Abandon();
}

int CPartFile::Open(const std::string& path, std::span<const CFileIdentity> refused) {
    Abandon();
    m_detail.clear();
    if (IsStandardStream(path)) {
        // Standard output takes the output as it comes.
        m_path = m_part_path = path;
        m_direct = true;
        const int cause = m_part.OpenStandardStream(CDiskFile::Mode::kCreate, true, refused);
        m_detail = m_part.GetSystemErrorText();
        return cause;
    }
    namespace fs = std::filesystem;
    std::error_code ec;
    m_path = fs::is_symlink(path, ec) ? fs::weakly_canonical(path, ec).string() : path;
    if (m_path.empty()) m_path = path;
    m_part_path = m_path + ".part";
    m_direct = fs::exists(m_path, ec) && !fs::is_regular_file(m_path, ec);
    if (m_direct) {
        m_part_path = m_path;
        const int cause = m_part.Open(m_path, CDiskFile::Mode::kCreate, true, refused);
        m_detail = m_part.GetSystemErrorText();
        return cause;
    }
    if (fs::exists(m_path, ec)) {
        // Opened for appending, so nothing in it changes until it is replaced.
        const int cause = m_existing.Open(m_path, CDiskFile::Mode::kAppend, true, refused);
        if (cause != 0) {
            m_detail = m_existing.GetSystemErrorText();
            return cause;
        }
    }
    const int cause = m_part.Open(m_part_path, CDiskFile::Mode::kCreate, true, refused);
    if (cause != 0) {
        m_detail = m_part.GetSystemErrorText();
        m_existing.Close();
        return cause;
    }
    m_pending = true;
    return kFileNone;
}

int CPartFile::Write(const char* data, std::size_t size) {
    const int cause = m_part.Write(data, size);
    if (cause != 0) m_detail = m_part.GetSystemErrorText();
    return cause;
}

int CPartFile::Commit() {
    if (m_direct) {
        m_part.Close();
        return kFileNone;
    }
    if (!m_pending) return kFileInvalid;
    m_part.Close();
    if (std::rename(m_part_path.c_str(), m_path.c_str()) != 0) {
        const int err = errno;
        const int cause = FileErrorCauseFromErrno(err);
        m_detail = std::generic_category().message(err) + ".";
        Abandon();
        return cause;
    }
    m_pending = false;
    m_existing.Close();
    return kFileNone;
}

void CPartFile::Keep() {
    m_part.Close();
    m_existing.Close();
    m_pending = false;
}

void CPartFile::Abandon() noexcept {
    m_part.Close();
    m_existing.Close();
    if (m_pending) std::remove(m_part_path.c_str());
    m_pending = false;
}

}  // namespace dravik

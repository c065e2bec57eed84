#include "conversion/conversion_log_file.h"

#include <cstdio>

#include "platform/disk_file.h"
#include "settings/parameters.h"
#include "settings/settings.h"

namespace dravik {

namespace {

std::string OpenFailureText(const std::string& path, int cause) {
    return "An error occured while opening the conversion log file\r\n\"" + path + "\".\r\n" +
           FileErrorText(cause, FileErrorWording::kConversion) +
           "\r\nNo conversion log file will be recorded.";
}

}  // namespace

std::string CConversionLogFile::NormalizeDirectory(const std::string& directory) {
    if (directory.empty() || directory.back() == '/') return directory;
    return directory + "/";
}

std::string CConversionLogFile::MakeName(const std::string& directory, int number) {
    char name[64];
    if (number < 2) {
        std::snprintf(name, sizeof name, "%s.%s", kBaseName, kExtension);
    } else {
        std::snprintf(name, sizeof name, "%s%01d.%s", kBaseName, number, kExtension);
    }
    return NormalizeDirectory(directory) + name;
}

std::string CConversionLogFile::GetDirectory() const {
    std::size_t slash = m_path.find_last_of('/');
    return slash == std::string::npos ? std::string() : m_path.substr(0, slash + 1);
}

int CConversionLogFile::OpenPath(const std::string& path, const std::vector<std::string>& in_use) {
    Close();
    // The files in use are compared with the file actually opened, before it
    // is emptied: a link to one of them under another name is caught too.
    std::vector<CFileIdentity> refused;
    for (const std::string& other : in_use) {
        CFileIdentity identity;
        if (GetFileIdentity(other, identity)) refused.push_back(identity);
    }
    int cause = m_file.Open(path, CDiskFile::Mode::kCreate, true, refused);
    if (cause == 0) m_path = path;
    return cause;
}

std::string CConversionLogFile::OpenInDirectory(const std::string& directory,
                                                const std::vector<std::string>& in_use) {
    std::string path = MakeName(directory, 1);
    int cause = OpenPath(path, in_use);
    // Another program run holds the plain name: take the next free number, so
    // that two runs never write into (or empty) each other's log.
    for (int number = 2; cause != 0; ++number) {
        if (cause != kFileSharingViolation && cause != kFileAccessDenied) {
            return OpenFailureText(path, cause);
        }
        if (number > kMaxNumber) {
            return "The maximum number of available conversion log files has been exceeded. No "
                   "conversion log file will be recorded.";
        }
        path = MakeName(directory, number);
        cause = OpenPath(path, in_use);
    }
    return {};
}

std::string CConversionLogFile::OpenNamed(const std::string& path,
                                          const std::vector<std::string>& in_use) {
    int cause = OpenPath(path, in_use);
    return cause == 0 ? std::string() : OpenFailureText(path, cause);
}

std::string CConversionLogFile::Open(const CAppSettings& settings, const CDravikParameters& params,
                                     const std::vector<std::string>& in_use) {
    if (params.has_conversion_log_option) {
        if (IsOpen()) return {};
        return OpenNamed(params.conversion_log_option_file, in_use);
    }
    const std::string directory = NormalizeDirectory(settings.conversion_log_directory);
    if (IsOpen()) {
        if (GetDirectory() == directory) return {};
        Close();
    }
    if (!settings.conversion_log) return {};
    return OpenInDirectory(directory, in_use);
}

std::string CConversionLogFile::Append(std::string_view text) {
    if (!IsOpen()) return {};
    const int cause = Write(text);
    if (cause == 0) return {};
    const std::string path = m_path;
    Close();
    return "An error occured writing to the conversion log file:\r\n\"" + path + "\".\r\n" +
           FileErrorText(cause, FileErrorWording::kConversion) + "\r\nConversion log aborted.";
}

int CConversionLogFile::Write(std::string_view text) {
    if (!m_file.IsOpen()) return kFileInvalid;
    return m_file.Write(text.data(), text.size());
}

void CConversionLogFile::Close() noexcept {
    m_file.Close();
    m_path.clear();
}

}  // namespace dravik

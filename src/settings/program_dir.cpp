#include "settings/program_dir.h"

#include <filesystem>
#include <system_error>

namespace dravik {

std::string WithTrailingSlash(std::string directory) {
    if (directory.empty() || directory.back() != '/') directory.push_back('/');
    return directory;
}

std::string ProgramDirectory() {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec || !exe.is_absolute()) return "/";
    return WithTrailingSlash(exe.parent_path().string());
}

std::string DataFileDirectory(std::string_view name, const std::string& program_directory) {
    namespace fs = std::filesystem;
    const fs::path beside(program_directory);
    const fs::path installed = (beside / ".." / "share" / "dravik" / "").lexically_normal();
    std::error_code ec;
    if (!fs::exists(beside / name, ec) && fs::exists(installed / name, ec)) {
        return WithTrailingSlash(installed.string());
    }
    return program_directory;
}

std::string StartupWorkingDirectory() {
    // No length limit: a deep current directory is still the right default.
    std::error_code ec;
    std::filesystem::path cwd = std::filesystem::current_path(ec);
    if (ec || cwd.empty()) return "/";
    return WithTrailingSlash(cwd.string());
}

}  // namespace dravik

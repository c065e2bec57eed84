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

std::string StartupWorkingDirectory() {
    // No length limit: a deep current directory is still the right default.
    std::error_code ec;
    std::filesystem::path cwd = std::filesystem::current_path(ec);
    if (ec || cwd.empty()) return "/";
    return WithTrailingSlash(cwd.string());
}

}  // namespace dravik

// Helpers shared by the fuzz targets: a private scratch folder per fuzzing
// process and whole-file writes, so that targets taking file names can be
// fed from memory without two workers ever sharing a file.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace dravik::fuzz {

namespace fs = std::filesystem;

// The scratch folder of this process, on a memory file system when there is
// one (a fuzzer writes its input many thousand times a second), removed at exit.
inline const fs::path& ScratchDir() {
    static const struct Dir {
        fs::path path;
        Dir() {
            std::error_code ec;
            fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm")
                                                              : fs::temp_directory_path();
            path = base / ("dravik_fuzz_" + std::to_string(getpid()));
            fs::create_directories(path, ec);
        }
        ~Dir() {
            std::error_code ignored;
            fs::remove_all(path, ignored);
        }
    } dir;
    return dir.path;
}

inline std::string WriteScratch(const std::string& name, std::string_view bytes) {
    const fs::path path = ScratchDir() / name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path.string();
}

// Splits the input at a separator: the way several texts (options, an
// instrument file, a log) are drawn from one fuzzer input.
inline std::vector<std::string_view> Split(std::string_view data, std::string_view separator,
                                           std::size_t max_parts) {
    std::vector<std::string_view> parts;
    while (parts.size() + 1 < max_parts) {
        const std::size_t at = data.find(separator);
        if (at == std::string_view::npos) break;
        parts.push_back(data.substr(0, at));
        data.remove_prefix(at + separator.size());
    }
    parts.push_back(data);
    return parts;
}

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

}  // namespace dravik::fuzz

// The command line programs run as a user runs them: separate processes with
// their own standard streams, exit status, working folder and settings folder.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace dravik_cli_test {

namespace fs = std::filesystem;

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

inline std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = 0; (at = text.find(part, at)) != std::string::npos; ++at) ++count;
    return count;
}

inline void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// The lines of a text with CR LF line ends.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

// A setup for StartWith: no file may grow past 64 KiB, as with "ulimit -f 64";
// the signal that limit sends is left as a shell leaves it.
inline void FileSizeLimit64K(const fs::path&) {
    struct rlimit limit {
        64 * 1024, 64 * 1024
    };
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(77);
}

class CliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() /
               (std::string("dravik-cli-") + info->name() + "-" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "config");
        // A private copy of the examples: a conversion holds its log file
        // exclusively, so tests running side by side must never open the same
        // log.
        fs::copy(DRAVIK_EXAMPLES_DIR, dir_ / "examples", fs::copy_options::recursive);
        examples_ = (dir_ / "examples").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Starts `program` with `args` in the test folder, standard input from
    // `input` (/dev/null: no question can be answered), standard output and
    // error into files, and the settings and the cache (instrument packages)
    // in the test folder. -1 on failure.
    pid_t Start(const std::string& program, const std::vector<std::string>& args,
                const std::string& input = "/dev/null") {
        return StartWith(nullptr, program, args, input);
    }
    // The same, with `setup` run in the new process before the program
    // replaces it (a file size limit, a mount namespace of its own); a setup
    // that fails ends the process with status 77.
    pid_t StartWith(void (*setup)(const fs::path& dir), const std::string& program,
                    const std::vector<std::string>& args, const std::string& input = "/dev/null") {
        std::vector<std::string> env_text;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string_view var(*e);
            if (var.rfind("XDG_CONFIG_HOME=", 0) != 0 && var.rfind("XDG_CACHE_HOME=", 0) != 0)
                env_text.emplace_back(*e);
        }
        env_text.push_back("XDG_CONFIG_HOME=" + (dir_ / "config").string());
        env_text.push_back("XDG_CACHE_HOME=" + (dir_ / "cache").string());
        std::vector<std::string> argv_text{program};
        argv_text.insert(argv_text.end(), args.begin(), args.end());
        std::vector<char*> env, argv;
        for (auto& e : env_text) env.push_back(e.data());
        for (auto& a : argv_text) argv.push_back(a.data());
        env.push_back(nullptr);
        argv.push_back(nullptr);

        const pid_t pid = fork();
        if (pid != 0) return pid;
        const int in = ::open(input.c_str(), O_RDONLY);
        const int o = ::open((dir_ / "stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int e = ::open((dir_ / "stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || o < 0 || e < 0) _exit(77);
        if (setup != nullptr) setup(dir_);
        if (::chdir(dir_.c_str()) != 0) _exit(77);
        ::dup2(in, 0);
        ::dup2(o, 1);
        ::dup2(e, 2);
        for (int fd : {in, o, e}) {
            if (fd > 2) ::close(fd);
        }
        ::execve(program.c_str(), argv.data(), env.data());
        _exit(127);
    }
    // Waits for a started program and collects its exit status and output.
    Result Finish(pid_t pid) {
        Result result;
        if (pid > 0) {
            int status = 0;
            waitpid(pid, &status, 0);
            result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        result.out = ReadFile(dir_ / "stdout.txt");
        result.err = ReadFile(dir_ / "stderr.txt");
        return result;
    }
    Result Run(const std::string& program, const std::vector<std::string>& args,
               const std::string& input = "/dev/null") {
        return Finish(Start(program, args, input));
    }
    Result Convert(const std::vector<std::string>& args, const std::string& input = "/dev/null") {
        return Run(DRAVIK_CONVERT, args, input);
    }
    // The converter with a terminal on standard input, on which `typed` has
    // been typed ahead.
    Result ConvertOnTerminal(const std::vector<std::string>& args, const std::string& typed) {
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
            ::write(master, typed.data(), typed.size()) != static_cast<ssize_t>(typed.size())) {
            ADD_FAILURE() << "no pseudo-terminal";
        }
        const Result result = Convert(args, ::ptsname(master));
        ::close(master);
        return result;
    }
    Result Loggen(const std::vector<std::string>& args) { return Run(DRAVIK_LOGGEN, args); }
    Result Log(const std::vector<std::string>& args) { return Run(DRAVIK_LOG, args); }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    fs::path dir_;
    std::string examples_;  // the examples, copied into dir_
};

}  // namespace dravik_cli_test

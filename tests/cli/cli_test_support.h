// The command line programs run as a user runs them: separate processes with
// their own standard streams, exit status, working folder and settings folder.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
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

inline const std::string kExamples = DRAVIK_EXAMPLES_DIR;

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
        const fs::path out = dir_ / "stdout.txt";
        const fs::path err = dir_ / "stderr.txt";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addchdir_np(&actions, dir_.c_str());

        std::vector<std::string> env_text;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string_view var(*e);
            if (var.rfind("XDG_CONFIG_HOME=", 0) != 0 && var.rfind("XDG_CACHE_HOME=", 0) != 0)
                env_text.emplace_back(*e);
        }
        env_text.push_back("XDG_CONFIG_HOME=" + (dir_ / "config").string());
        env_text.push_back("XDG_CACHE_HOME=" + (dir_ / "cache").string());
        std::vector<char*> env;
        for (auto& e : env_text) env.push_back(e.data());
        env.push_back(nullptr);

        std::vector<std::string> argv_text{program};
        argv_text.insert(argv_text.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : argv_text) argv.push_back(a.data());
        argv.push_back(nullptr);

        pid_t pid = -1;
        if (setup != nullptr) {
            posix_spawn_file_actions_destroy(&actions);
            pid = fork();
            if (pid == 0) {
                const int in = ::open(input.c_str(), O_RDONLY);
                const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                if (in < 0 || o < 0 || e < 0) _exit(77);
                setup(dir_);
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
            return pid;
        }
        if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), env.data()) != 0) {
            pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        return pid;
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
    Result Loggen(const std::vector<std::string>& args) { return Run(DRAVIK_LOGGEN, args); }
    Result Log(const std::vector<std::string>& args) { return Run(DRAVIK_LOG, args); }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    fs::path dir_;
};

}  // namespace dravik_cli_test

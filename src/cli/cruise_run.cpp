#include "cli/cruise_run.h"

#include <sched.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string_view>
#include <thread>
#include <utility>

#include "frontend/file_naming.h"
#include "packages/instrument_package.h"
#include "packages/package_directory.h"
#include "settings/parameters.h"
#include "settings/program_dir.h"
#include "settings/settings.h"
#include "cli/terminal_front_end.h"
#include "frontend/conversion_log_blocks.h"
#include "conversion/conversion_log_file.h"
#include "conversion/dravik_doc.h"
#include "conversion/file_error_text.h"
#include "platform/text.h"

namespace dravik {

const char* const kEachUsage =
    "Usage: dravik-convert --each [options] LOG... [--instrument INSTRUMENT]...\n"
    "                      [--output-dir DIR] [--extension EXT] [--jobs N]\n"
    "\n"
    "Converts every LOG with every INSTRUMENT (the instruments of one log one\n"
    "after another, then the next log), or, without --instrument, converts the\n"
    "header records of every LOG. The options above apply to every conversion.\n"
    "  --instrument FILE  an instrument file, or a package .zpk standing for every\n"
    "                     instrument file it holds; once per file\n"
    "  --output-dir DIR   where the outputs go (default: the current directory)\n"
    "  --extension EXT    extension of the outputs (default: dat; empty: none)\n"
    "  --jobs N           conversions at the same time (default: one per core)\n"
    "Outputs are named LOGTITLE-INSTRUMENTTITLE.EXT, or LOGTITLE.EXT for header\n"
    "conversions, where a title is the file name without its extension. The\n"
    "conversion log holds each conversion's messages as one block, in the order\n"
    "above. Existing outputs: without a terminal on standard input none is\n"
    "overwritten unless /ow=yes is given; on a terminal one question covers the\n"
    "whole run. A progress line shows the files done, the speed and the time\n"
    "left; a table of every conversion ends the run on standard output. Ctrl-C\n"
    "stops every conversion, and the table tells which outputs are complete.\n"
    "Exit status: 0 every conversion complete, 1 any conversion failed, was\n"
    "skipped or was cancelled, 2 invalid command line.\n";

namespace {

constexpr int kExitComplete = 0;
constexpr int kExitFailed = 1;
constexpr int kExitInvalidCommandLine = 2;
constexpr int kMaxJobs = 256;

using Clock = std::chrono::steady_clock;

// ---------------------------------------------------------------------------
// Command line

struct CEachCommand {
    std::vector<std::string> logs;
    std::vector<std::string> instruments;  // empty: header conversions
    std::string output_dir;                // empty: the current directory
    std::string extension = "dat";
    int jobs = 0;  // 0: one per processor core
    CDravikParameters params;
};

// Parses the arguments after "--each"; the error message, or nothing.
std::optional<std::string> ParseEachCommand(const std::vector<std::string>& args,
                                            CEachCommand& command) {
    int accepted = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.rfind("--", 0) == 0) {
            const std::size_t equals = arg.find('=');
            const std::string name = arg.substr(0, equals);
            if (name != "--instrument" && name != "--output-dir" && name != "--extension" &&
                name != "--jobs") {
                return "Unknown option \"" + arg + "\".";
            }
            std::string value;
            if (equals != std::string::npos) {
                value = arg.substr(equals + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                return "The option " + name + " needs a value.";
            }
            if (name == "--extension") {
                // "--extension .txt" means the same as "--extension txt".
                if (!value.empty() && value.front() == '.') value.erase(0, 1);
                command.extension = value;
            } else if (value.empty()) {
                return "The option " + name + " needs a value.";
            } else if (name == "--instrument") {
                command.instruments.push_back(value);
            } else if (name == "--output-dir") {
                command.output_dir = value;
            } else {
                int jobs = 0;
                const auto [end, ec] =
                    std::from_chars(value.data(), value.data() + value.size(), jobs);
                if (ec != std::errc() || end != value.data() + value.size() || jobs < 1 ||
                    jobs > kMaxJobs) {
                    return "The option --jobs takes a number of conversions from 1 to " +
                           std::to_string(kMaxJobs) + ".";
                }
                command.jobs = jobs;
            }
        } else if (IsOptionArgument(arg)) {
            if (!command.params.ParseOption(arg)) {
                char text[96];
                std::snprintf(text, sizeof text,
                              "Invalid command line parameters.\r\nParameters parsed: %d",
                              accepted);
                return std::string(text);
            }
        } else if (arg.empty()) {
            return "An empty log file name was given.";
        } else {
            command.logs.push_back(arg);
        }
        ++accepted;
    }
    if (command.logs.empty()) return "There is no log file to convert after --each.";
    return std::nullopt;
}

// ---------------------------------------------------------------------------
// The run

struct CPair {
    std::size_t log = 0;
    std::optional<std::size_t> instrument;  // none: a header conversion
    std::string output;                     // as given to the document; empty: no name
    std::uint64_t log_size = 0;
    std::size_t log_key = 0;  // pairs with the same key read the same file
    bool overwrite = false;   // an existing output may be overwritten

    // Results.
    bool started = false;
    EConversionOutcome outcome = EConversionOutcome::kFailed;
    CConversionStatus status;
    bool counter_sensor = false;
    bool check_sum_sensor = false;
};

class CRun;

// The front end of one document of the run: messages and questions go to the
// run's terminal, the overwrite question is answered from the run's one
// decision, and each refresh passes the conversion's progress to the run and
// asks for a cancel after Ctrl-C.
class CJobFrontEnd : public CFrontEnd {
  public:
    CJobFrontEnd(CRun& run, std::size_t pair, std::atomic<std::uint64_t>& bytes)
        : m_run(run), m_pair(pair), m_bytes(bytes) {}

    void ShowMessage(const std::string& text) override;
    bool AskYesNo(const std::string& text) override;
    EOverwriteAnswer AskOverwrite(const std::string& text, bool yes_to_all_enabled) override;
    bool CreateProgress() override { return true; }
    void InitProgress(const CProgressSetup&) override {}
    bool RefreshProgress(const CProgressReport& report) override {
        m_bytes.store(report.status.bytes_consumed, std::memory_order_relaxed);
        return !CTerminalFrontEnd::CancelRequested();
    }
    void CloseProgress() override {}

  private:
    CRun& m_run;
    std::size_t m_pair;
    std::atomic<std::uint64_t>& m_bytes;
};

class CRun {
  public:
    CRun(CEachCommand& command, CSettingsStore& store, bool verbose)
        : m_command(command), m_store(store), m_verbose(verbose) {
        m_settings = CAppSettings(StartupWorkingDirectory());
        m_settings.Read(m_store);
    }

    int Run();

    // For the job front ends.
    void Message(std::size_t pair, const std::string& text);
    bool AskOnce(const std::string& text);
    bool MayOverwrite(std::size_t pair) const { return m_pairs[pair].overwrite; }

  private:
    std::string Label(std::size_t pair) const;
    void Say(const std::string& text);
    // Replaces every instrument package by the instrument files extracted
    // from it; false after a message when a package gives none.
    bool ExpandPackages();
    // Fills the pairs and their output names; the invalid command line
    // message, or nothing.
    std::optional<std::string> Plan();
    // Decides about existing outputs; false when the run is cancelled.
    bool DecideOverwrites();
    void OpenConversionLog();
    void WriteLog(std::string_view text);
    void Job(std::size_t slot);
    // The next pair to convert, or none when every pair has been taken or a
    // cancel was asked for.
    std::optional<std::size_t> TakePair();
    void ReleasePair(std::size_t index);
    void Convert(std::size_t index, std::size_t slot);
    void ShowProgress(Clock::time_point start);
    void PrintTable() const;

    CEachCommand& m_command;
    CSettingsStore& m_store;
    // Private folders of the extracted packages, removed at the end.
    std::vector<std::unique_ptr<CPackageDirectory>> m_package_folders;
    bool m_verbose;
    CAppSettings m_settings;
    std::vector<CPair> m_pairs;

    // The terminal: messages, questions and the progress line.
    std::mutex m_console_lock;
    CTerminalFrontEnd m_console;
    std::set<std::string> m_messages_shown;
    std::map<std::string, bool> m_answers;

    CConversionLogFile m_log_file;  // written only by the blocks writer, one call at a time
    std::unique_ptr<CConversionLogBlocks> m_log;

    // A log file is read with exclusive sharing, so two conversions of one
    // log cannot run at the same time: a pair waits while its log is busy.
    std::mutex m_schedule_lock;
    std::condition_variable m_log_released;
    std::size_t m_first_untaken = 0;
    std::vector<bool> m_taken;
    std::set<std::size_t> m_busy_logs;
    std::vector<std::atomic<std::uint64_t>> m_job_bytes;
    std::atomic<std::uint64_t> m_finished_bytes{0};
    std::atomic<std::size_t> m_finished_pairs{0};
    std::mutex m_jobs_lock;
    std::condition_variable m_jobs_done;
    std::size_t m_jobs_running = 0;
};

void CJobFrontEnd::ShowMessage(const std::string& text) {
    m_run.Message(m_pair, text);
}

bool CJobFrontEnd::AskYesNo(const std::string& text) {
    return m_run.AskOnce(text);
}

EOverwriteAnswer CJobFrontEnd::AskOverwrite(const std::string&, bool) {
    // The run asked its one question before the first conversion; an output
    // that appeared since then was not covered by it and is kept.
    return m_run.MayOverwrite(m_pair) ? EOverwriteAnswer::kYes : EOverwriteAnswer::kNo;
}

std::string NamePart(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string CRun::Label(std::size_t pair) const {
    const CPair& p = m_pairs[pair];
    std::string label = NamePart(m_command.logs[p.log]);
    if (p.instrument) label += " with " + NamePart(m_command.instruments[*p.instrument]);
    return label;
}

void CRun::Say(const std::string& text) {
    std::lock_guard<std::mutex> lock(m_console_lock);
    m_console.PrintText(text);
}

void CRun::Message(std::size_t pair, const std::string& text) {
    std::lock_guard<std::mutex> lock(m_console_lock);
    // Warnings about an instrument file come once per conversion; once is
    // enough on the terminal (the conversion log has them all).
    if (!m_messages_shown.insert(text).second) return;
    m_console.PrintText(Label(pair) + ":\r\n" + text);
}

bool CRun::AskOnce(const std::string& text) {
    // The conversions with the same instrument file ask the same question;
    // the first answer holds for all of them.
    std::lock_guard<std::mutex> lock(m_console_lock);
    const auto known = m_answers.find(text);
    if (known != m_answers.end()) return known->second;
    const bool answer = m_console.AskYesNo(text);
    m_answers.emplace(text, answer);
    return answer;
}

bool CRun::ExpandPackages() {
    std::vector<std::string> instruments;
    for (const std::string& path : m_command.instruments) {
        const bool package =
            path.size() > 4 &&
            EqualsIgnoreCase(std::string_view(path).substr(path.size() - 4), ".zpk");
        if (!package) {
            instruments.push_back(path);
            continue;
        }
        // Each package has a folder of its own: two packages may hold files
        // of the same name.
        std::string error;
        auto folder = CPackageDirectory::Create(CPackageDirectory::EKind::kPrivate, error);
        if (!folder) {
            Say(error);
            return false;
        }
        const CPackageExtraction extraction = ExtractPackage(m_console, path, *folder);
        if (extraction.files.empty()) {
            // A package that could not be opened has had its message already.
            if (extraction.opened) {
                Say(FillMessage(
                    "No instrument file was extracted from the Instrument Package file: %s",
                    {path}));
            }
            return false;
        }
        for (const CPackageEntry& entry : extraction.files) {
            instruments.push_back(folder->GetPath() + entry.file_name);
        }
        m_package_folders.push_back(std::move(folder));
    }
    m_command.instruments = std::move(instruments);
    return true;
}

std::optional<std::string> CRun::Plan() {
    namespace fs = std::filesystem;
    std::error_code ec;
    std::string directory;
    if (!m_command.output_dir.empty()) {
        if (!fs::is_directory(m_command.output_dir, ec)) {
            return "The output directory \"" + m_command.output_dir + "\" does not exist.";
        }
        directory = WithTrailingSlash(m_command.output_dir);
    }
    CFileNaming instrument_naming(NamingKind::kInstrument);
    CFileNaming header_naming(NamingKind::kHeader);
    for (CFileNaming* naming : {&instrument_naming, &header_naming}) {
        naming->Settings().file_mode = kNamingFileTitles;
        naming->Settings().file_extension = m_command.extension;
    }

    // The files read by the run: none of them may be an output.
    std::set<std::pair<dev_t, ino_t>> inputs;
    auto identity = [](const std::string& path) -> std::optional<std::pair<dev_t, ino_t>> {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) return std::nullopt;
        return std::make_pair(st.st_dev, st.st_ino);
    };
    for (const auto* list : {&m_command.logs, &m_command.instruments}) {
        for (const std::string& path : *list) {
            if (auto id = identity(path)) inputs.insert(*id);
        }
    }

    std::map<std::string, std::size_t> outputs;  // normalized path -> pair
    std::map<std::pair<dev_t, ino_t>, std::size_t> log_keys;
    const std::size_t per_log = std::max<std::size_t>(m_command.instruments.size(), 1);
    for (std::size_t log = 0; log < m_command.logs.size(); ++log) {
        std::uint64_t size = 0;
        struct stat st {};
        if (::stat(m_command.logs[log].c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            size = static_cast<std::uint64_t>(st.st_size);
        }
        // The same file under two names is one log to the scheduler.
        std::size_t key = log;
        if (auto id = identity(m_command.logs[log])) key = log_keys.emplace(*id, log).first->second;
        for (std::size_t k = 0; k < per_log; ++k) {
            CPair pair;
            pair.log = log;
            pair.log_size = size;
            pair.log_key = key;
            if (!m_command.instruments.empty()) pair.instrument = k;
            const std::string instrument = pair.instrument ? m_command.instruments[k] : "";
            const auto name = (pair.instrument ? instrument_naming : header_naming)
                                  .GenerateName(m_command.logs[log], instrument);
            if (name) {
                pair.output = directory + *name;
                const auto [it, fresh] = outputs.emplace(
                    fs::absolute(pair.output, ec).lexically_normal().string(), m_pairs.size());
                if (!fresh) {
                    return "The conversions of " + Label(it->second) + " and of " +
                           NamePart(m_command.logs[log]) +
                           (pair.instrument ? " with " + NamePart(instrument) : "") +
                           " would both write \"" + pair.output + "\".";
                }
                const auto id = identity(pair.output);
                if (id && inputs.count(*id) != 0) {
                    return "The output file \"" + pair.output +
                           "\" is one of the files to convert or an instrument file.";
                }
            }
            m_pairs.push_back(std::move(pair));
        }
    }
    return std::nullopt;
}

bool CRun::DecideOverwrites() {
    const CDravikParameters& params = m_command.params;
    const bool prompt =
        params.has_overwrite_option ? params.overwrite_option_prompt : m_settings.overwrite_prompt;
    std::vector<std::size_t> existing;
    for (std::size_t i = 0; i < m_pairs.size(); ++i) {
        std::error_code ec;
        m_pairs[i].overwrite = !prompt;
        if (prompt && !m_pairs[i].output.empty() &&
            std::filesystem::exists(m_pairs[i].output, ec)) {
            existing.push_back(i);
        }
    }
    if (existing.empty()) return true;

    std::string list;
    constexpr std::size_t kListed = 10;
    for (std::size_t n = 0; n < existing.size() && n < kListed; ++n) {
        list += "\t" + m_pairs[existing[n]].output + "\r\n";
    }
    if (existing.size() > kListed) {
        list += "\tand " + std::to_string(existing.size() - kListed) + " more\r\n";
    }
    const std::string count = std::to_string(existing.size()) +
                              (existing.size() == 1 ? " output file already exists:\r\n"
                                                    : " output files already exist:\r\n");
    if (!m_console.IsInteractive()) {
        Say(count + list +
            "They are not overwritten (their conversions are skipped): standard input is not a "
            "terminal.\r\nGive the option /ow=yes to overwrite existing output files without a "
            "question.");
        return true;
    }
    // One question for the whole run: Yes and Yes to All overwrite every
    // existing output, No keeps them all and skips their conversions.
    const EOverwriteAnswer answer = m_console.AskOverwrite(
        count + list + "Do you wish to overwrite these files and continue the conversions?", true);
    if (answer == EOverwriteAnswer::kCancel) return false;
    if (answer == EOverwriteAnswer::kNo) return true;
    for (std::size_t i : existing) m_pairs[i].overwrite = true;
    return true;
}

void CRun::OpenConversionLog() {
    // The conversion log is chosen once for the whole run, by the rules of a
    // single conversion; it must never be one of the files the run reads.
    std::vector<std::string> in_use;
    const std::string start = StartupWorkingDirectory();
    auto full = [&](const std::string& path) { return path.front() == '/' ? path : start + path; };
    for (const std::string& path : m_command.logs) in_use.push_back(full(path));
    for (const std::string& path : m_command.instruments) in_use.push_back(full(path));
    if (m_command.instruments.empty()) {
        in_use.push_back(ProgramDirectory() + CDravikDoc::kHeaderDefinitionName);
    }
    std::string warning;
    if (m_command.params.has_conversion_log_option) {
        warning = m_log_file.OpenNamed(m_command.params.conversion_log_option_file, in_use);
    } else if (m_settings.conversion_log) {
        warning = m_log_file.OpenInDirectory(
            CConversionLogFile::NormalizeDirectory(m_settings.conversion_log_directory), in_use);
    }
    if (!warning.empty()) Say(warning);
}

void CRun::WriteLog(std::string_view text) {
    if (m_verbose) Say(std::string(text));
    if (!m_log_file.IsOpen()) return;
    const int cause = m_log_file.Write(text);
    if (cause != 0) {
        const std::string path = m_log_file.GetPath();
        m_log_file.Close();
        Say("An error occured writing to the conversion log file:\r\n\"" + path + "\".\r\n" +
            GetFileErrorText(cause) + "\r\nConversion log aborted.");
    }
}

void CRun::Convert(std::size_t index, std::size_t slot) {
    CPair& pair = m_pairs[index];
    pair.started = true;
    if (pair.output.empty()) {
        Message(index, "No output file name can be made from the names of these files.");
        m_log->Finish(index);
        m_finished_bytes.fetch_add(pair.log_size);
        m_finished_pairs.fetch_add(1);
        return;
    }
    {
        CJobFrontEnd front_end(*this, index, m_job_bytes[slot]);
        // Each conversion has a document of its own, as a single conversion
        // has: nothing of one conversion can leak into the next.
        CDravikDoc doc(front_end);
        doc.SetConversionLogSink(
            [this, index](std::string_view text) { m_log->Append(index, text); });
        doc.SetAppSettings(m_settings);
        doc.GetParameters() = m_command.params;
        doc.SetLogFilePath(m_command.logs[pair.log]);
        doc.SetOutputFilePath(pair.output);
        doc.SetInstrumentFilePath(pair.instrument ? m_command.instruments[*pair.instrument] : "");
        CDravikDoc::CRunOptions options;
        options.multiple = true;  // No skips this output, Yes to All exists
        options.run_total = static_cast<int>(m_pairs.size());
        options.run_current = static_cast<int>(index) + 1;
        pair.outcome = doc.RunConversion(options);
        pair.status = doc.GetConversionStatus();
        pair.counter_sensor = doc.GetFrameCounterSensorIndex() >= 0;
        pair.check_sum_sensor = doc.GetCheckSumSensorIndex() >= 0;
    }
    // The document is gone, and with it its control: its text is complete.
    m_log->Finish(index);
    m_finished_bytes.fetch_add(pair.log_size);
    m_job_bytes[slot].store(0);
    m_finished_pairs.fetch_add(1);
}

std::optional<std::size_t> CRun::TakePair() {
    std::unique_lock<std::mutex> lock(m_schedule_lock);
    for (;;) {
        if (CTerminalFrontEnd::CancelRequested()) return std::nullopt;
        while (m_first_untaken < m_pairs.size() && m_taken[m_first_untaken]) ++m_first_untaken;
        if (m_first_untaken == m_pairs.size()) return std::nullopt;
        // The first pair in run order whose log is free.
        for (std::size_t i = m_first_untaken; i < m_pairs.size(); ++i) {
            if (m_taken[i] || m_busy_logs.count(m_pairs[i].log_key) != 0) continue;
            m_taken[i] = true;
            m_busy_logs.insert(m_pairs[i].log_key);
            return i;
        }
        // Every pair left reads a log that is being converted; one of them
        // is released soon. The time-out only lets a cancel be seen.
        m_log_released.wait_for(lock, std::chrono::milliseconds(100));
    }
}

void CRun::ReleasePair(std::size_t index) {
    {
        std::lock_guard<std::mutex> lock(m_schedule_lock);
        m_busy_logs.erase(m_pairs[index].log_key);
    }
    m_log_released.notify_all();
}

void CRun::Job(std::size_t slot) {
    while (const auto index = TakePair()) {
        Convert(*index, slot);
        ReleasePair(*index);
    }
    std::lock_guard<std::mutex> lock(m_jobs_lock);
    --m_jobs_running;
    m_jobs_done.notify_all();
}

// The processors this process may run on (a taskset or a container may allow
// fewer than the machine has).
unsigned ProcessorCount() {
    cpu_set_t set;
    if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) {
        return static_cast<unsigned>(CPU_COUNT(&set));
    }
    return std::max(1u, std::thread::hardware_concurrency());
}

std::string Duration(double seconds) {
    const long s = static_cast<long>(seconds + 0.5);
    char text[32];
    if (s >= 3600) {
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    } else {
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    }
    return text;
}

void CRun::ShowProgress(Clock::time_point start) {
    std::uint64_t total = 0;
    for (const CPair& pair : m_pairs) total += pair.log_size;
    std::uint64_t done = m_finished_bytes.load();
    for (const auto& bytes : m_job_bytes) done += bytes.load(std::memory_order_relaxed);
    done = std::min(done, total);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0.0;
    char text[160];
    int n = std::snprintf(text, sizeof text, "Files %zu/%zu  %.1f MiB/s", m_finished_pairs.load(),
                          m_pairs.size(), rate / (1024.0 * 1024.0));
    if (rate > 0 && n > 0) {
        std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n), "  %s left",
                      Duration(static_cast<double>(total - done) / rate).c_str());
    }
    std::lock_guard<std::mutex> lock(m_console_lock);
    m_console.ShowStatusLine(text);
}

const char* OutcomeText(const CPair& pair) {
    if (!pair.started) return "not started";
    if (pair.output.empty()) return "no output name";
    switch (pair.outcome) {
        case EConversionOutcome::kComplete:
            return "complete";
        case EConversionOutcome::kSkipped:
            return "skipped: output exists";
        case EConversionOutcome::kAborted:
            return "cancelled: incomplete";
        case EConversionOutcome::kFailed:
            break;
    }
    if (pair.status.not_found && pair.status.done) return "failed: not found";
    if (pair.status.buffer_overrun) return "failed: buffer overrun";
    return "failed";
}

void CRun::PrintTable() const {
    const std::vector<std::string> heads = {
        "Log",     "Instrument",     "Output",           "Frames",
        "Resyncs", "Counter errors", "Check sum errors", "Outcome"};
    std::vector<std::vector<std::string>> rows;
    for (const CPair& p : m_pairs) {
        const bool counts =
            p.started && !p.output.empty() && p.outcome != EConversionOutcome::kSkipped;
        auto count = [&](bool shown, unsigned value) {
            return counts && shown ? std::to_string(value) : std::string("-");
        };
        rows.push_back({NamePart(m_command.logs[p.log]),
                        p.instrument ? NamePart(m_command.instruments[*p.instrument])
                                     : std::string("(header)"),
                        p.output.empty() ? std::string("-") : NamePart(p.output),
                        count(true, p.status.frames_processed),
                        count(true, p.status.resynchronizations),
                        count(p.counter_sensor, p.status.frame_counter_errors),
                        count(p.check_sum_sensor, p.status.check_sum_errors), OutcomeText(p)});
    }
    std::vector<std::size_t> widths;
    for (const std::string& head : heads) widths.push_back(head.size());
    for (const auto& row : rows) {
        for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
    }
    auto print = [&](const std::vector<std::string>& row) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c) {
            // Names on the left, counts on the right; the last column unpadded.
            const std::size_t pad = widths[c] - row[c].size();
            const bool number = c >= 3 && c <= 6;
            if (number) line.append(pad, ' ');
            line += row[c];
            if (c + 1 < row.size()) {
                if (!number) line.append(pad, ' ');
                line += "  ";
            }
        }
        std::puts(line.c_str());
    };
    print(heads);
    for (const auto& row : rows) print(row);
    std::fflush(stdout);
}

int CRun::Run() {
    if (!ExpandPackages()) {
        Say("No conversion was started.");
        return kExitFailed;
    }
    if (auto error = Plan()) {
        Say(*error);
        return kExitInvalidCommandLine;
    }
    if (!DecideOverwrites()) {
        Say("No conversion was started.");
        return kExitFailed;
    }
    OpenConversionLog();
    m_log = std::make_unique<CConversionLogBlocks>(
        m_pairs.size(), [this](std::string_view text) { WriteLog(text); });

    unsigned jobs = m_command.jobs > 0 ? static_cast<unsigned>(m_command.jobs) : ProcessorCount();
    jobs = static_cast<unsigned>(std::min<std::size_t>(jobs, m_pairs.size()));
    m_job_bytes = std::vector<std::atomic<std::uint64_t>>(jobs);
    m_taken.assign(m_pairs.size(), false);
    m_jobs_running = jobs;
    const Clock::time_point start = Clock::now();
    std::vector<std::thread> threads;
    for (unsigned slot = 0; slot < jobs; ++slot) threads.emplace_back([this, slot] { Job(slot); });
    {
        std::unique_lock<std::mutex> lock(m_jobs_lock);
        while (!m_jobs_done.wait_for(lock, std::chrono::milliseconds(250),
                                     [this] { return m_jobs_running == 0; })) {
            lock.unlock();
            ShowProgress(start);
            lock.lock();
        }
    }
    for (std::thread& thread : threads) thread.join();
    {
        std::lock_guard<std::mutex> lock(m_console_lock);
        m_console.ClearStatusLine();
    }
    // Pairs that never started after a cancel still close their (empty)
    // place in the conversion log, so that nothing waits behind them.
    for (std::size_t i = 0; i < m_pairs.size(); ++i) m_log->Finish(i);
    m_log_file.Close();
    m_settings.Write(m_store, m_command.params);

    PrintTable();
    std::size_t complete = 0;
    for (const CPair& pair : m_pairs) {
        if (pair.started && !pair.output.empty() && pair.outcome == EConversionOutcome::kComplete) {
            ++complete;
        }
    }
    if (CTerminalFrontEnd::CancelRequested()) {
        Say("Interrupted: " + std::to_string(complete) + " of " + std::to_string(m_pairs.size()) +
            " outputs are complete (marked \"complete\"); the others are incomplete or were not "
            "written.");
    }
    return complete == m_pairs.size() ? kExitComplete : kExitFailed;
}

}  // namespace

int RunEach(const std::vector<std::string>& args, bool verbose, CSettingsStore& store) {
    CEachCommand command;
    if (auto error = ParseEachCommand(args, command)) {
        CTerminalFrontEnd console;
        console.ShowMessage(*error);
        return kExitInvalidCommandLine;
    }
    CRun run(command, store, verbose);
    return run.Run();
}

}  // namespace dravik

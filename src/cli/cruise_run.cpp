#include "cli/cruise_run.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "cli/each_command.h"
#include "cli/each_console.h"
#include "cli/each_progress.h"
#include "cli/each_table.h"
#include "cli/run_report.h"
#include "conversion/conversion_log_file.h"
#include "conversion/dravik_doc.h"
#include "frontend/batch_command_line.h"
#include "frontend/conversion_log_blocks.h"
#include "frontend/exit_status.h"
#include "frontend/file_naming.h"
#include "frontend/run_plan.h"
#include "frontend/run_scheduler.h"
#include "packages/batch_package.h"
#include "packages/instrument_package.h"
#include "packages/package_directory.h"
#include "platform/log_source.h"
#include "platform/text.h"
#include "settings/program_dir.h"
#include "settings/settings.h"

namespace dravik {

namespace {

class CRun;

// The front end of one document of the run: messages and questions go to the
// run's terminal, the overwrite question is answered from the run's one
// decision, and each refresh passes the conversion's progress to the run and
// asks for a cancel after Ctrl-C.
class CJobFrontEnd : public CFrontEnd {
  public:
    CJobFrontEnd(CRun& run, std::size_t index, unsigned worker)
        : m_run(run), m_index(index), m_worker(worker) {}
    ~CJobFrontEnd() override { ShowHeld(); }

    void ShowMessage(const std::string& text) override;
    void ShowDetail(const std::string& text) override;
    bool AskYesNo(const std::string& text) override;
    EOverwriteAnswer AskOverwrite(const std::string& text, bool yes_to_all_enabled) override;
    bool CreateProgress() override { return true; }
    void InitProgress(const CProgressSetup&) override {}
    bool RefreshProgress(const CProgressReport& report) override;
    void CloseProgress() override {}

  private:
    // A message is held until its detail has come, so that the two are
    // shown together, whatever the other conversions print meanwhile.
    void ShowHeld();

    CRun& m_run;
    std::size_t m_index;
    unsigned m_worker;
    std::string m_held;
};

class CRun {
  public:
    CRun(CEachCommand& command, CSettingsStore& store, const CEachOptions& options)
        : m_command(command), m_store(store), m_verbose(options.verbose), m_report(options.report) {
        m_settings = CAppSettings(StartupWorkingDirectory());
        m_settings.Read(m_store);
    }

    int Run();

    // For the job front ends.
    void Message(std::size_t index, const std::string& text) {
        m_console.Message(m_plan->Label(index), text);
    }
    bool AskOnce(const std::string& text) { return m_console.AskOnce(text); }
    bool MayOverwrite(std::size_t index) const { return m_overwrite[index]; }
    CEachProgress& Progress() { return *m_progress; }

  private:
    // Replaces every instrument package by the instrument files extracted
    // from it; false after a message when a package gives none.
    bool ExpandPackages();
    // The message that refuses a report file that is one of the files of
    // the run, or nothing.
    std::optional<std::string> ReportClash(bool with_outputs) const;
    // Writes the report, when one was asked for; the exit status.
    int Finish(int status);
    // Plans the pairs and names their outputs; the invalid command line
    // message, or nothing.
    std::optional<std::string> Plan();
    // Decides about existing outputs; false when the run is cancelled.
    bool DecideOverwrites();
    void OpenConversionLog();
    // A warning of the conversion log file, with what the system said.
    void SayLogWarning(const std::string& warning);
    void WriteLog(std::string_view text);
    void Convert(std::size_t index, unsigned worker);
    // The sizes of the logs of every pair, for the progress line.
    std::vector<std::optional<std::uint64_t>> LogSizes() const;

    CEachCommand& m_command;
    CSettingsStore& m_store;
    // Private folders of the extracted packages, removed at the end.
    std::vector<std::unique_ptr<CPackageDirectory>> m_package_folders;
    // Per instrument file: the package it came from, or empty.
    std::vector<std::string> m_packages;
    bool m_verbose;
    std::string m_report;
    CAppSettings m_settings;
    CEachConsole m_console;

    std::optional<CRunPlan> m_plan;
    std::vector<bool> m_overwrite;  // per pair: an existing output may be overwritten
    std::vector<std::optional<std::uint64_t>> m_log_sizes;  // none: not known ahead
    std::vector<CEachResult> m_results;
    std::optional<CEachProgress> m_progress;

    CConversionLogFile m_log_file;  // written only by the blocks writer, one call at a time
    std::unique_ptr<CConversionLogBlocks> m_log;
};

void CJobFrontEnd::ShowMessage(const std::string& text) {
    ShowHeld();
    m_held = text;
}

void CJobFrontEnd::ShowDetail(const std::string& text) {
    m_held += (m_held.empty() ? "" : "\r\n") + text;
    ShowHeld();
}

void CJobFrontEnd::ShowHeld() {
    if (m_held.empty()) return;
    m_run.Message(m_index, m_held);
    m_held.clear();
}

bool CJobFrontEnd::AskYesNo(const std::string& text) {
    ShowHeld();
    return m_run.AskOnce(text);
}

EOverwriteAnswer CJobFrontEnd::AskOverwrite(const std::string&, bool) {
    // The run asked its one question before the first conversion; an output
    // that appeared since then was not covered by it and is kept.
    return m_run.MayOverwrite(m_index) ? EOverwriteAnswer::kYes : EOverwriteAnswer::kNo;
}

bool CJobFrontEnd::RefreshProgress(const CProgressReport& report) {
    ShowHeld();
    m_run.Progress().Reading(m_worker, report.status.bytes_consumed);
    return !CTerminalFrontEnd::CancelRequested();
}

bool CRun::ExpandPackages() {
    std::vector<std::string> instruments;
    for (const std::string& path : m_command.instruments) {
        if (!IsPackagePath(path)) {
            instruments.push_back(path);
            m_packages.emplace_back();
            continue;
        }
        // Each package has a folder of its own: two packages may hold files
        // of the same name.
        std::string error;
        auto folder = CPackageDirectory::Create(CPackageDirectory::EKind::kPrivate, error);
        if (!folder) {
            m_console.Say(error);
            return false;
        }
        const CPackageExtraction extraction = ExtractPackage(m_console.Terminal(), path, *folder);
        if (extraction.files.empty()) {
            // A package that could not be opened has had its message already.
            if (extraction.opened) {
                m_console.Say(FillMessage(
                    "No instrument file was extracted from the Instrument Package file: %s",
                    {path}));
            }
            return false;
        }
        for (const CPackageEntry& entry : extraction.files) {
            instruments.push_back(folder->GetPath() + entry.file_name);
            m_packages.push_back(path);
        }
        m_package_folders.push_back(std::move(folder));
    }
    m_command.instruments = std::move(instruments);
    return true;
}

std::optional<std::string> CRun::Plan() {
    std::string directory;
    if (!m_command.output_dir.empty()) {
        std::error_code ec;
        if (!std::filesystem::is_directory(m_command.output_dir, ec)) {
            return "The output directory \"" + m_command.output_dir + "\" does not exist.";
        }
        directory = WithTrailingSlash(m_command.output_dir);
    }
    const NamingKind kind =
        m_command.instruments.empty() ? NamingKind::kHeader : NamingKind::kInstrument;
    CFileNaming naming(kind);
    naming.Settings().file_mode = kNamingFileTitles;
    naming.Settings().file_extension = m_command.extension;
    m_plan.emplace(kind, m_command.logs, m_command.instruments);
    return m_plan->NameAll(naming, directory);
}

bool CRun::DecideOverwrites() {
    const CDravikParameters& params = m_command.params;
    const bool prompt =
        params.has_overwrite_option ? params.overwrite_option_prompt : m_settings.overwrite_prompt;
    m_overwrite.assign(m_plan->Size(), !prompt);
    std::vector<std::size_t> existing;
    for (std::size_t i = 0; i < m_plan->Size(); ++i) {
        std::error_code ec;
        const std::string& output = m_plan->OutputPath(i);
        if (prompt && !output.empty() && std::filesystem::exists(output, ec)) {
            existing.push_back(i);
        }
    }
    if (existing.empty()) return true;

    std::string list;
    constexpr std::size_t kListed = 10;
    for (std::size_t n = 0; n < existing.size() && n < kListed; ++n) {
        list += "\t" + m_plan->OutputPath(existing[n]) + "\r\n";
    }
    if (existing.size() > kListed) {
        list += "\tand " + std::to_string(existing.size() - kListed) + " more\r\n";
    }
    const std::string count = std::to_string(existing.size()) +
                              (existing.size() == 1 ? " output file already exists:\r\n"
                                                    : " output files already exist:\r\n");
    CTerminalFrontEnd& terminal = m_console.Terminal();
    if (!terminal.IsInteractive()) {
        m_console.Say(count + list +
                      "They are not overwritten (their conversions are skipped): standard input "
                      "is not a terminal.\r\nGive the option /ow=yes to overwrite existing output "
                      "files without a question.");
        return true;
    }
    // One question for the whole run: Yes and Yes to All overwrite every
    // existing output, No keeps them all and skips their conversions.
    const EOverwriteAnswer answer = terminal.AskOverwrite(
        count + list + "Do you wish to overwrite these files and continue the conversions?", true);
    if (answer == EOverwriteAnswer::kCancel) return false;
    if (answer == EOverwriteAnswer::kNo) return true;
    for (std::size_t i : existing) m_overwrite[i] = true;
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
        in_use.push_back(DataFileDirectory(CDravikDoc::kHeaderDefinitionName) +
                         CDravikDoc::kHeaderDefinitionName);
    }
    SayLogWarning(m_log_file.Open(m_settings, m_command.params, in_use));
}

void CRun::SayLogWarning(const std::string& warning) {
    if (warning.empty()) return;
    const std::string detail = m_log_file.GetSystemErrorText();
    m_console.Say(detail.empty() ? warning : warning + "\r\n" + detail);
}

void CRun::WriteLog(std::string_view text) {
    if (m_verbose) m_console.Say(std::string(text));
    SayLogWarning(m_log_file.Append(text));
}

void CRun::Convert(std::size_t index, unsigned worker) {
    CEachResult& result = m_results[index];
    result.started = true;
    const std::string& output = m_plan->OutputPath(index);
    if (output.empty()) {
        Message(index, "No output file name can be made from the names of these files.");
    } else {
        CJobFrontEnd front_end(*this, index, worker);
        // Each conversion has a document of its own, as a single conversion
        // has: nothing of one conversion can leak into the next.
        CDravikDoc doc(front_end);
        doc.SetConversionLogSink(
            [this, index](std::string_view text) { m_log->Append(index, text); });
        doc.SetAppSettings(m_settings);
        doc.GetParameters() = m_command.params;
        doc.SetLogFilePath(m_plan->LogPath(index));
        doc.SetOutputFilePath(output);
        doc.SetInstrumentFilePath(m_plan->InstrumentPath(index));
        CDravikDoc::CRunOptions options;
        options.multiple = true;  // No skips this output, Yes to All exists
        options.run_total = static_cast<int>(m_plan->Size());
        options.run_current = static_cast<int>(index) + 1;
        const auto start = std::chrono::steady_clock::now();
        result.outcome = doc.RunConversion(options);
        result.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        result.status = doc.GetConversionStatus();
        result.counter_sensor = doc.GetFrameCounterSensorIndex() >= 0;
        result.check_sum_sensor = doc.GetCheckSumSensorIndex() >= 0;
    }
    // The document is gone, and with it its control: its text is complete.
    m_log->Finish(index);
    // A log whose length was not known ahead counts with what was read of it.
    m_progress->Finished(worker, m_log_sizes[index].value_or(result.status.bytes_consumed));
}

std::vector<std::optional<std::uint64_t>> CRun::LogSizes() const {
    std::vector<std::optional<std::uint64_t>> sizes(m_plan->Size());
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        std::uint64_t length = 0;
        if (GetLengthAhead(m_plan->LogPath(i), length)) sizes[i] = length;
    }
    return sizes;
}

std::optional<std::string> CRun::ReportClash(bool with_outputs) const {
    if (m_report.empty()) return std::nullopt;
    std::vector<std::string> files = m_command.logs;
    files.insert(files.end(), m_command.instruments.begin(), m_command.instruments.end());
    if (m_command.params.has_conversion_log_option) {
        files.push_back(m_command.params.conversion_log_option_file);
    }
    if (with_outputs) {
        for (std::size_t i = 0; i < m_plan->Size(); ++i) files.push_back(m_plan->OutputPath(i));
    }
    std::string clash = ReportFileClash(m_report, files);
    if (clash.empty()) return std::nullopt;
    return clash;
}

int CRun::Finish(int status) {
    if (m_report.empty()) return status;
    std::vector<CReportRecord> records;
    for (std::size_t i = 0; m_plan && i < m_plan->Size(); ++i) {
        CReportRecord record{m_plan->LogPath(i), {}, {}, m_plan->OutputPath(i), m_results[i]};
        if (const auto instrument = m_plan->At(i).instrument) {
            record.instrument = m_command.instruments[*instrument];
            record.package = m_packages[*instrument];
            // An extracted file is gone after the run: it is named by its entry.
            if (!record.package.empty()) record.instrument = NamePart(record.instrument);
        }
        records.push_back(std::move(record));
    }
    const std::string error = WriteRunReport(m_report, records);
    if (error.empty()) return status;
    m_console.Say(error);
    return kExitFailed;
}

int CRun::Run() {
    if (auto clash = ReportClash(false)) {
        m_console.Say(*clash);
        return kExitInvalidCommandLine;
    }
    if (!ExpandPackages()) {
        m_console.Say("No conversion was started.");
        return Finish(kExitFailed);
    }
    if (auto error = Plan(); error || (error = ReportClash(true))) {
        m_console.Say(*error);
        return kExitInvalidCommandLine;
    }
    const std::size_t count = m_plan->Size();
    m_results.assign(count, CEachResult{});
    if (!DecideOverwrites()) {
        m_console.Say("No conversion was started.");
        return Finish(kExitFailed);
    }
    OpenConversionLog();
    m_log = std::make_unique<CConversionLogBlocks>(
        count, [this](std::string_view text) { WriteLog(text); });
    m_log_sizes = LogSizes();
    // A stream or a compressed log tells its length only at its end: the
    // time left of the run is then not known.
    std::uint64_t total = 0;
    bool total_known = true;
    for (const auto& size : m_log_sizes) {
        total += size.value_or(0);
        total_known = total_known && size.has_value();
    }

    CRunScheduler scheduler(m_plan->LogKeys());
    const unsigned wanted = m_command.jobs > 0 ? m_command.jobs : ProcessorCount();
    m_progress.emplace(count, total_known ? std::optional(total) : std::nullopt,
                       scheduler.Workers(wanted));
    const auto start = CEachProgress::Clock::now();
    scheduler.Run(
        wanted,
        [this](std::size_t index, std::size_t worker) {
            Convert(index, static_cast<unsigned>(worker));
        },
        CTerminalFrontEnd::CancelRequested,
        [&] { m_console.ShowStatusLine(m_progress->Line(CEachProgress::Clock::now() - start)); },
        std::chrono::milliseconds(250));
    m_console.ClearStatusLine();
    // Pairs that never started after a cancel still close their (empty)
    // place in the conversion log, so that nothing waits behind them.
    for (std::size_t i = 0; i < count; ++i) m_log->Finish(i);
    m_log_file.Close();
    m_settings.Write(m_store, m_command.params);

    std::fputs(FormatEachTable(*m_plan, m_results).c_str(), stdout);
    std::fflush(stdout);
    std::size_t complete = 0;
    for (std::size_t i = 0; i < count; ++i) complete += IsComplete(*m_plan, m_results, i);
    if (CTerminalFrontEnd::CancelRequested()) {
        m_console.Say("Interrupted: " + std::to_string(complete) + " of " + std::to_string(count) +
                      " outputs are complete (marked \"complete\"); the others are incomplete or "
                      "were not written.");
    }
    return Finish(ExitStatusOf(complete == count));
}

}  // namespace

int RunEach(const std::vector<std::string>& args, const CEachOptions& options,
            CSettingsStore& store) {
    CEachCommand command;
    CTerminalFrontEnd console;
    if (auto error = ParseEachCommand(args, command)) {
        console.ShowMessage(*error);
        return kExitInvalidCommandLine;
    }
    command.params.command_line = options.command_line;
    if (const std::string notice = TextOptionsNotice(args, command.params); !notice.empty()) {
        console.ShowMessage(notice);
    }
    CRun run(command, store, options);
    return run.Run();
}

}  // namespace dravik

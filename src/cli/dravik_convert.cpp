// dravik-convert: converts one log file without any window, or with --each
// every pair of many log files and instrument files (cli/cruise_run.h).
//
//   dravik-convert LOG OUTPUT [INSTRUMENT] [options]
//   dravik-convert LOG OUTPUT PACKAGE.zpk [--entry NAME] [options]
//   dravik-convert --list-entries PACKAGE.zpk
//   dravik-convert --each [options] LOG... [--instrument INSTRUMENT]...
//
// The command line is the desktop program's batch command line: file names
// first, then options. Messages that the desktop program shows in message
// boxes go to standard error, and the exit status tells scripts how the
// conversion ended: 0 complete, 1 aborted or failed, 2 invalid command line.
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli/cruise_run.h"
#include "cli/each_command.h"
#include "cli/refusal_reasons.h"
#include "cli/run_report.h"
#include "cli/terminal_front_end.h"
#include "conversion/conversion_output.h"
#include "conversion/dravik_doc.h"
#include "frontend/batch_command_line.h"
#include "frontend/exit_status.h"
#include "packages/batch_package.h"
#include "packages/instrument_package.h"
#include "platform/log_source.h"
#include "platform/text.h"
#include "settings/memory_settings.h"
#include "settings/parameters.h"

#ifdef DRAVIK_HAVE_QTSETTINGS
#include "settings/qt/qsettings_store.h"
#endif

#ifndef DRAVIK_VERSION
#define DRAVIK_VERSION "0.0.0"
#endif

namespace {

using dravik::kExitComplete;
using dravik::kExitFailed;
using dravik::kExitInvalidCommandLine;

constexpr const char* kUsage =
    "Usage: dravik-convert LOG OUTPUT [INSTRUMENT] [options]\n"
    "       dravik-convert LOG OUTPUT PACKAGE.zpk [--entry NAME] [options]\n"
    "       dravik-convert --list-entries PACKAGE.zpk\n"
    "\n"
    "Converts the raw telemetry log file LOG into the delimited text file OUTPUT\n"
    "with the instrument file INSTRUMENT (a calibration file .cal or a telemetry\n"
    "definition file .tdf). Without INSTRUMENT the header records of LOG are\n"
    "converted, with the header definition oxahdr1.tdf beside the program (or,\n"
    "installed, in ../share/dravik/ next to the program's folder).\n"
    "File names come first and may not begin with \"-\" or \"/\", except absolute\n"
    "paths such as /data/cast1.raw; options follow them.\n"
    "\n"
    "LOG may be \"-\" for standard input, or a pipe or a FIFO. A log compressed\n"
    "with gzip, bzip2, xz or zstd, known by its first bytes whatever its name, is\n"
    "decompressed as it is read; progress then shows the bytes read. OUTPUT may\n"
    "be \"-\" for standard output, written without a question; messages stay on\n"
    "standard error.\n"
    "\n"
    "An instrument package PACKAGE.zpk in place of INSTRUMENT is extracted into a\n"
    "private temporary folder, removed at exit, and its first instrument file is\n"
    "used, as a package dropped on the desktop program's Instrument list;\n"
    "--entry NAME uses the entry NAME instead (its stored name or its file name).\n"
    "--list-entries prints the stored names of the instrument files of a package,\n"
    "one a line, the first one being the one used by default.\n"
    "\n"
    "Options begin with \"/\" or \"-\"; letters may be in either case.\n"
    "  /bN           read the log file in buffers of N bytes, 1024 to 65535\n"
    "  /c            apply the calibration coefficients\n"
    "  /ci           apply the calibration and the immersion coefficients\n"
    "  /cl=FILE      write the conversion log to FILE (also /conversionlog=FILE)\n"
    "  /dt, /ds      a TAB or a blank between cells\n"
    "  /dX           the delimiter X: one character (/d,) or a text (/d;;)\n"
    "  /ef, /ec      check frame counters, check sums; /efc or /ecf: both\n"
    "  /ew=yes|no    dismiss the progress at the end (also /endwindow=); the\n"
    "                converter never waits, the option is kept for scripts\n"
    "  /ff, /fe, /fg decimal, exponential or best fit numbers\n"
    "  /h            raw integers in hexadecimal\n"
    "  /lN           convert frames up to index N, 0 to 32766 (0: no limit)\n"
    "  /lN-M, /l-M   ... and only one frame in every M, 1 to 32766\n"
    "  /ow=yes|no    overwrite an existing output file without asking (yes),\n"
    "                or ask first (no) (also /overwrite=)\n"
    "  /pN           N digits of precision, 0 to 32766\n"
    "  /s            blank cells instead of non-numerical values\n"
    "  /t, /tf       time tag columns; /tf formats them as dates and times\n"
    "  /wN           cells right-aligned in N characters, 1 to 32766\n"
    "  /x            extra heading lines, units and a frame index column\n"
    "\n"
    "  --help        this text\n"
    "  --version     the version of the program\n"
    "  --verbose     copy every conversion log message to standard error\n"
    "  --entry NAME  the entry of the instrument package to convert with\n"
    "  --format FORMAT  text (the delimited table, the default), csv or netcdf;\n"
    "                CSV and NetCDF carry every value in full precision, so the\n"
    "                options /d /w /p /f /h /s /x do not apply to them\n"
    "  --list-entries PACKAGE.zpk  the instrument files of a package\n"
    "  --no-settings every setting at its default, none read or written, so that\n"
    "                a run depends only on its command line\n"
    "  --report FILE write a record of every conversion into FILE in JSON: its\n"
    "                files, outcome, frames, resynchronizations, frame counter\n"
    "                and check sum errors, bytes read and seconds taken\n"
    "\n"
    "Questions (overwriting an existing output file, using an instrument file\n"
    "with errors) are asked when standard input is a terminal. Otherwise an\n"
    "existing output file is not overwritten (give /ow=yes) and an instrument\n"
    "file with errors is used. Ctrl-C aborts the conversion.\n"
    "\n"
    "Settings (section \"Settings\": Overwrite Prompt, Conversion Log, Conversion\n"
    "Log Directory, ...) come from Quillfern/Dravik.conf in $XDG_CONFIG_HOME\n"
    "(~/.config when it is not set), shared with the desktop program, unless\n"
    "--no-settings is given.\n"
    "\n"
    "Exit status: 0 conversion complete, 1 conversion aborted or failed,\n"
    "2 invalid command line.\n";

extern "C" void OnInterrupt(int) {
    dravik::CTerminalFrontEnd::RequestCancel();
}

// Ctrl-C and termination abort the conversion at the next frame, so the
// output written so far is flushed and the summary still reaches the log.
void CatchInterrupts() {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// The options every mode takes, wherever they stand on the command line.
struct CConvertOptions {
    bool verbose = false;
    bool each = false;
    bool no_settings = false;
    std::string entry;
    std::string report;  // empty: no report
    std::string command_line;  // the whole command, for the outputs' history
};

// The settings shared with the desktop program, or, with --no-settings,
// defaults in memory that go with the run.
std::unique_ptr<dravik::CSettingsStore> MakeSettingsStore(bool no_settings) {
#ifdef DRAVIK_HAVE_QTSETTINGS
    if (!no_settings) return std::make_unique<dravik::CQSettingsStore>();
#else
    (void)no_settings;
#endif
    return std::make_unique<dravik::CMemorySettings>();
}

// Prints the stored names of the instrument files of a package.
int ListEntries(const std::string& package_path) {
    std::vector<dravik::CPackageEntry> entries;
    std::string problem;
    if (!dravik::ListPackageEntries(package_path, entries, {}, &problem)) {
        dravik::CTerminalFrontEnd front_end;
        front_end.ShowMessage(dravik::FillMessage(
            "The Instrument Package file: %s \r\ncould not be opened.", {package_path}));
        if (!problem.empty()) front_end.ShowDetail(problem);
        return kExitFailed;
    }
    for (const dravik::CPackageEntry& e : entries) std::printf("%s\n", e.stored_name.c_str());
    return kExitComplete;
}

// The message that refuses the command line, followed by the line that
// says what was wrong with it.
std::string RefusalWithReason(const std::string& refusal, const std::vector<std::string>& args,
                              const dravik::CCommandLineFiles& files, int options) {
    // The refusals of an output format say what is wrong themselves.
    if (refusal == dravik::kNetcdfHeaderRefusal || refusal == dravik::kNetcdfStreamRefusal) {
        return refusal;
    }
    const std::size_t refused = static_cast<std::size_t>(files.count + options);
    const std::string reason =
        refused < args.size() ? dravik::RefusedArgumentReason(args[refused], files.count, options)
                              : dravik::MissingFileNamesReason(files.count);
    return refusal + "\r\n" + reason;
}

int Run(const std::vector<std::string>& args, const CConvertOptions& options,
        dravik::CSettingsStore& store) {
    dravik::CTerminalFrontEnd front_end;
    // Declared before the document, so that the extracted files outlive it.
    std::unique_ptr<dravik::CPackageDirectory> package_folder;
    dravik::CDravikDoc doc(front_end, &store);
    dravik::CCommandLineFiles files;
    // --format is taken out first, so that a refused argument is counted
    // among the file names and options alone.
    std::vector<std::string> line = args;
    std::string refusal = dravik::TakeFormatOption(line, doc.GetParameters());
    if (!refusal.empty()) {
        front_end.ShowMessage(refusal);
        return kExitInvalidCommandLine;
    }
    refusal = dravik::ReadBatchCommandLine(doc, line, files);
    if (!refusal.empty()) {
        front_end.ShowMessage(
            RefusalWithReason(refusal, line, files, doc.GetParameters().options_parsed));
        return kExitInvalidCommandLine;
    }
    doc.GetParameters().command_line = options.command_line;
    if (const std::string notice = dravik::TextOptionsNotice(args, doc.GetParameters());
        !notice.empty()) {
        front_end.ShowMessage(notice);
    }

    // Rows written to the terminal would be torn by a progress line.
    if (dravik::IsStandardStream(files.output) && ::isatty(STDOUT_FILENO) == 1) {
        front_end.HideProgressLine();
    }
    const bool package = files.count == 3 && dravik::IsPackagePath(doc.GetInstrumentFilePath());
    if (!options.entry.empty() && !package) {
        front_end.ShowMessage(
            "--entry needs an Instrument Package file (.zpk) as the instrument file.");
        return kExitInvalidCommandLine;
    }
    if (!options.report.empty()) {
        const dravik::CDravikParameters& params = doc.GetParameters();
        const std::string clash = dravik::ReportFileClash(
            options.report,
            {files.log, files.output, files.instrument,
             params.has_conversion_log_option ? params.conversion_log_option_file : std::string()});
        if (!clash.empty()) {
            front_end.ShowMessage(clash);
            return kExitInvalidCommandLine;
        }
    }
    dravik::CReportRecord record{files.log,
                                 package ? std::string() : files.instrument,
                                 package ? files.instrument : std::string(),
                                 files.output,
                                 {}};
    record.result.started = true;
    const auto start = std::chrono::steady_clock::now();
    // The report is written whatever the outcome; a report that cannot be
    // written fails the run, which a pipeline would otherwise miss.
    auto finish = [&](int status) {
        record.result.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (options.report.empty()) return status;
        const std::string error = dravik::WriteRunReport(options.report, {record});
        if (error.empty()) return status;
        front_end.ShowMessage(error);
        return static_cast<int>(kExitFailed);
    };

    // Ctrl-C from here on ends the run through its normal end, so that the
    // private folder of a package is removed too.
    CatchInterrupts();
    if (package) {
        if (!dravik::UseInstrumentPackage(doc, front_end, options.entry, package_folder)) {
            return finish(kExitFailed);
        }
        record.instrument = dravik::NamePart(doc.GetInstrumentFilePath());
    }

    // The log text is taken at every refresh even when it is not shown, so
    // that it does not pile up in memory during a long conversion.
    front_end.SetRefreshHook([&] {
        std::string text = doc.TakeLogText();
        if (options.verbose) front_end.PrintText(text);
    });
    const dravik::EConversionOutcome outcome = doc.RunConversion();
    if (options.verbose) front_end.PrintText(doc.TakeLogText());
    // A conversion that ended before its first frame (overwrite refused, a
    // header definition of the wrong shape) still says how it ended.
    if (front_end.ProgressStarted() && front_end.FinalStatus().empty() &&
        outcome != dravik::EConversionOutcome::kComplete) {
        front_end.ShowMessage("Conversion aborted.");
    }
    record.result.outcome =
        front_end.OverwriteRefused() ? dravik::EConversionOutcome::kSkipped : outcome;
    record.result.status = doc.GetConversionStatus();
    record.result.counter_sensor = doc.GetFrameCounterSensorIndex() >= 0;
    record.result.check_sum_sensor = doc.GetCheckSumSensorIndex() >= 0;
    return finish(dravik::ExitStatusOf(outcome == dravik::EConversionOutcome::kComplete));
}

// Takes the value of a long option that needs one, from "--name=VALUE" or
// the next argument; false after a message when there is none.
bool TakeValue(int argc, char** argv, int& i, const std::string& name, std::string& value) {
    const std::string arg = argv[i];
    if (arg == name && i + 1 < argc) {
        value = argv[++i];
    } else if (arg.size() > name.size() && arg[name.size()] == '=') {
        value = arg.substr(name.size() + 1);
    } else {
        value.clear();
    }
    return !value.empty();
}

}  // namespace

int main(int argc, char** argv) {
    // A file size limit (ulimit -f) must end a conversion with the write
    // error of the file concerned, not kill the program silently halfway
    // through its output: ignored, the signal becomes a failed write.
    std::signal(SIGXFSZ, SIG_IGN);
    // So does a reader of standard output that goes away (| head): the
    // conversion ends as aborted, with its summary in the conversion log.
    std::signal(SIGPIPE, SIG_IGN);
    std::vector<std::string> args;
    CConvertOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto is = [&](const char* name) {
            return arg == name || arg.rfind(std::string(name) + "=", 0) == 0;
        };
        if (arg == "--list-entries") {
            if (argc != 3 || i != 1) {
                std::fputs(kUsage, stderr);
                return kExitInvalidCommandLine;
            }
            return ListEntries(argv[2]);
        }
        if (is("--entry")) {
            if (!TakeValue(argc, argv, i, "--entry", options.entry)) {
                std::fputs("--entry needs the name of an entry.\n", stderr);
                return kExitInvalidCommandLine;
            }
        } else if (is("--report")) {
            if (!TakeValue(argc, argv, i, "--report", options.report) || options.report == "-") {
                std::fputs("--report needs the name of the report file to write.\n", stderr);
                return kExitInvalidCommandLine;
            }
        } else if (arg == "--help") {
            std::fputs(kUsage, stdout);
            std::fputs("\n", stdout);
            std::fputs(dravik::kEachUsage, stdout);
            return kExitComplete;
        } else if (arg == "--version") {
            std::printf("dravik-convert %s\n", DRAVIK_VERSION);
            return kExitComplete;
        } else if (arg == "--each") {
            options.each = true;
        } else if (arg == "--verbose") {
            options.verbose = true;
        } else if (arg == "--no-settings") {
            options.no_settings = true;
        } else {
            args.push_back(arg);
        }
    }
    if (options.each && !options.entry.empty()) {
        std::fputs(
            "--entry is not taken with --each: a package given with --instrument stands for "
            "every instrument file it holds.\n",
            stderr);
        return kExitInvalidCommandLine;
    }
    if (!options.each && args.empty()) {
        std::fputs(kUsage, stderr);
        return kExitInvalidCommandLine;
    }
    options.command_line = dravik::CommandLineText(argc, argv);
    const std::unique_ptr<dravik::CSettingsStore> store = MakeSettingsStore(options.no_settings);
    if (options.each) {
        CatchInterrupts();
        return dravik::RunEach(args, {options.verbose, options.report, options.command_line},
                               *store);
    }
    return Run(args, options, *store);
}

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

#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli/cruise_run.h"
#include "cli/each_command.h"
#include "cli/terminal_front_end.h"
#include "conversion/dravik_doc.h"
#include "frontend/batch_command_line.h"
#include "frontend/exit_status.h"
#include "packages/batch_package.h"
#include "packages/instrument_package.h"
#include "platform/log_source.h"
#include "platform/text.h"
#include "settings/parameters.h"

#ifdef DRAVIK_HAVE_QTSETTINGS
#include "settings/qt/qsettings_store.h"
#else
#include "settings/memory_settings.h"
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
    "converted, with the header definition oxahdr1.tdf beside the program.\n"
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
    "  --list-entries PACKAGE.zpk  the instrument files of a package\n"
    "\n"
    "Questions (overwriting an existing output file, using an instrument file\n"
    "with errors) are asked when standard input is a terminal. Otherwise an\n"
    "existing output file is not overwritten (give /ow=yes) and an instrument\n"
    "file with errors is used. Ctrl-C aborts the conversion.\n"
    "\n"
    "Settings (section \"Settings\": Overwrite Prompt, Conversion Log, Conversion\n"
    "Log Directory, ...) come from Quillfern/Dravik.conf in $XDG_CONFIG_HOME\n"
    "(~/.config when it is not set), shared with the desktop program.\n"
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

// Prints the stored names of the instrument files of a package.
int ListEntries(const std::string& package_path) {
    std::vector<dravik::CPackageEntry> entries;
    if (!dravik::ListPackageEntries(package_path, entries)) {
        dravik::CTerminalFrontEnd front_end;
        front_end.ShowMessage(dravik::FillMessage(
            "The Instrument Package file: %s \r\ncould not be opened.", {package_path}));
        return kExitFailed;
    }
    for (const dravik::CPackageEntry& e : entries) std::printf("%s\n", e.stored_name.c_str());
    return kExitComplete;
}

int Run(const std::vector<std::string>& args, const std::string& entry, bool verbose) {
    dravik::CTerminalFrontEnd front_end;
    // Declared before the document, so that the extracted files outlive it.
    std::unique_ptr<dravik::CPackageDirectory> package_folder;
#ifdef DRAVIK_HAVE_QTSETTINGS
    dravik::CQSettingsStore store;
#else
    dravik::CMemorySettings store;
#endif
    dravik::CDravikDoc doc(front_end, &store);
    dravik::CCommandLineFiles files;
    const std::string refusal = dravik::ReadBatchCommandLine(doc, args, files);
    if (!refusal.empty()) {
        front_end.ShowMessage(refusal);
        return kExitInvalidCommandLine;
    }

    // Rows written to the terminal would be torn by a progress line.
    if (dravik::IsStandardStream(files.output) && ::isatty(STDOUT_FILENO) == 1) {
        front_end.HideProgressLine();
    }
    const bool package = files.count == 3 && dravik::IsPackagePath(doc.GetInstrumentFilePath());
    if (!entry.empty() && !package) {
        front_end.ShowMessage(
            "--entry needs an Instrument Package file (.zpk) as the instrument file.");
        return kExitInvalidCommandLine;
    }
    // Ctrl-C from here on ends the run through its normal end, so that the
    // private folder of a package is removed too.
    CatchInterrupts();
    if (package && !dravik::UseInstrumentPackage(doc, front_end, entry, package_folder)) {
        return kExitFailed;
    }

    // The log text is taken at every refresh even when it is not shown, so
    // that it does not pile up in memory during a long conversion.
    front_end.SetRefreshHook([&] {
        std::string text = doc.TakeLogText();
        if (verbose) front_end.PrintText(text);
    });
    const dravik::EConversionOutcome outcome = doc.RunConversion();
    if (verbose) front_end.PrintText(doc.TakeLogText());
    // A conversion that ended before its first frame (overwrite refused, a
    // header definition of the wrong shape) still says how it ended.
    if (front_end.ProgressStarted() && front_end.FinalStatus().empty() &&
        outcome != dravik::EConversionOutcome::kComplete) {
        front_end.ShowMessage("Conversion aborted.");
    }
    return dravik::ExitStatusOf(outcome == dravik::EConversionOutcome::kComplete);
}

int RunEachMode(const std::vector<std::string>& args, bool verbose) {
#ifdef DRAVIK_HAVE_QTSETTINGS
    dravik::CQSettingsStore store;
#else
    dravik::CMemorySettings store;
#endif
    CatchInterrupts();
    return dravik::RunEach(args, verbose, store);
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
    bool verbose = false;
    bool each = false;
    std::string entry;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--list-entries") {
            if (argc != 3 || i != 1) {
                std::fputs(kUsage, stderr);
                return kExitInvalidCommandLine;
            }
            return ListEntries(argv[2]);
        }
        if (arg == "--entry" || arg.rfind("--entry=", 0) == 0) {
            if (arg == "--entry" && i + 1 < argc) {
                entry = argv[++i];
            } else if (arg != "--entry") {
                entry = arg.substr(8);
            }
            if (entry.empty()) {
                std::fputs("--entry needs the name of an entry.\n", stderr);
                return kExitInvalidCommandLine;
            }
            continue;
        }
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            std::fputs("\n", stdout);
            std::fputs(dravik::kEachUsage, stdout);
            return kExitComplete;
        }
        if (arg == "--each") {
            each = true;
            continue;
        }
        if (arg == "--version") {
            std::printf("dravik-convert %s\n", DRAVIK_VERSION);
            return kExitComplete;
        }
        if (arg == "--verbose") {
            verbose = true;
        } else {
            args.push_back(arg);
        }
    }
    if (each && !entry.empty()) {
        std::fputs(
            "--entry is not taken with --each: a package given with --instrument stands for "
            "every instrument file it holds.\n",
            stderr);
        return kExitInvalidCommandLine;
    }
    if (each) return RunEachMode(args, verbose);
    if (args.empty()) {
        std::fputs(kUsage, stderr);
        return kExitInvalidCommandLine;
    }
    return Run(args, entry, verbose);
}

// dravik-convert --each: a whole cruise in one command. Every (log,
// instrument) pair is converted, instrument fastest and log outer as in the
// desktop program's run over several files, several conversions at a time,
// each by its own document. Output files are named "<log title>-<instrument
// title>.<extension>" (the log title alone for header conversions), and the
// conversion log gets each conversion's text as one block, in pair order.
#pragma once

#include <string>
#include <vector>

namespace dravik {

class CSettingsStore;

struct CEachOptions {
    bool verbose = false;  // the conversion log is copied to standard error
    std::string report;    // the report file to write (cli/run_report.h), or empty
    std::string command_line;  // the whole command, for the outputs' history
};

// Runs the arguments that followed "--each" (cli/each_command.h). The
// "Settings" section is read from `store` and written back at the end.
// Returns the exit status: 0 when every conversion completed, 1 when any
// failed, was skipped or was cancelled (or the report could not be
// written), 2 for an invalid command line.
int RunEach(const std::vector<std::string>& args, const CEachOptions& options,
            CSettingsStore& store);

}  // namespace dravik

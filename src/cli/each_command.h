// The command line of dravik-convert --each: slash options for every
// conversion, log files, and the --instrument, --output-dir, --extension and
// --jobs options, in any order.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "settings/parameters.h"

namespace dravik {

// The usage text of the mode, for the converter's help.
extern const char* const kEachUsage;

struct CEachCommand {
    std::vector<std::string> logs;
    std::vector<std::string> instruments;  // empty: header conversions
    std::string output_dir;                // empty: the current directory
    std::string extension = "dat";  // by default the format's: dat, csv, nc
    unsigned jobs = 0;  // 0: one per processor core
    CDravikParameters params;
};

// Reads the arguments that followed "--each" into `command`; the message
// that refuses them, or nothing.
std::optional<std::string> ParseEachCommand(const std::vector<std::string>& args,
                                            CEachCommand& command);

}  // namespace dravik

// The file names at the head of a batch command line: the log file, the
// output file and the optional instrument file, in that order.
#pragma once

#include <string>

namespace dravik {

struct CCommandLineFiles {
    std::string log;
    std::string output;
    std::string instrument;  // empty: a header conversion
    int count = 0;           // names accepted so far

    // Stores `name` as the next of the three; refuses an empty name, an
    // option (IsOptionArgument) and a fourth name. "-" is taken as the log
    // (standard input) or the output (standard output), not as the
    // instrument file.
    bool AddFileName(const std::string& name);
};

}  // namespace dravik

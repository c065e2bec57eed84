// Where the program runs from and where it was started.
#pragma once

#include <string>

namespace dravik {

// Directory of the running executable, ending in "/" (the header definition
// "oxahdr1.tdf" lives there). "/" when it cannot be determined.
std::string ProgramDirectory();

// The process's current directory, ending in "/": the default for every
// working directory the settings hold. "/" when it cannot be read.
std::string StartupWorkingDirectory();

// `directory` with exactly one trailing "/" ("/" for an empty text).
std::string WithTrailingSlash(std::string directory);

}  // namespace dravik

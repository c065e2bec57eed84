// Where the program runs from and where it was started.
#pragma once

#include <string>
#include <string_view>

namespace dravik {

// Directory of the running executable, ending in "/". "/" when it cannot be
// determined.
std::string ProgramDirectory();

// The directory that holds the program's data file `name` (the header
// definition "oxahdr1.tdf"), ending in "/": `program_directory` itself when
// the file is there (the build tree, a program kept in one folder), else the
// installed data directory "../share/dravik/" beside the program's "bin/"
// when the file is there. When neither holds it, `program_directory`, so
// that a message names the first place looked in.
std::string DataFileDirectory(std::string_view name,
                              const std::string& program_directory = ProgramDirectory());

// The process's current directory, ending in "/": the default for every
// working directory the settings hold. "/" when it cannot be read.
std::string StartupWorkingDirectory();

// `directory` with exactly one trailing "/" ("/" for an empty text).
std::string WithTrailingSlash(std::string directory);

}  // namespace dravik

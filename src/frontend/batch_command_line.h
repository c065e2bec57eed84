// The batch command line shared by the headless converter and the desktop
// program: up to three leading file names (log, output, instrument), then
// options. An absolute path is a file name although it begins with "/".
#pragma once

#include <string>
#include <vector>

#include "settings/command_line_files.h"

namespace dravik {

class CDravikDoc;
class CDravikParameters;

// "Invalid command line parameters." with the count of the file names and
// options accepted before the refused argument.
std::string InvalidParametersText(int parsed);

// Stores the file names in the document (and in `files`) and the options in
// its parameter set. Returns the message to show when the line is refused,
// or an empty text. "--format NAME" (or "--format=NAME") may stand anywhere.
std::string ReadBatchCommandLine(CDravikDoc& doc, const std::vector<std::string>& args,
                                 CCommandLineFiles& files);

// Takes each "--format NAME" or "--format=NAME" out of `args` and stores the
// format in `params`. Returns the message that refuses an unknown format or
// a missing name, or an empty text.
std::string TakeFormatOption(std::vector<std::string>& args, CDravikParameters& params);

// What to tell the user when options that shape the text table (/d, /w, /p,
// /f, /h, /s, /x) are among `args` while another format is chosen, or an
// empty text.
std::string TextOptionsNotice(const std::vector<std::string>& args,
                              const CDravikParameters& params);

// The command line as a shell would take it back: the program's name, then
// each argument, quoted where it needs to be. For the history that outputs
// keep of how they were made.
std::string CommandLineText(int argc, const char* const* argv);

}  // namespace dravik

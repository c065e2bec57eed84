// The batch command line shared by the headless converter and the desktop
// program: up to three leading file names (log, output, instrument), then
// options. An absolute path is a file name although it begins with "/".
#pragma once

#include <string>
#include <vector>

#include "settings/command_line_files.h"

namespace dravik {

class CDravikDoc;

// "Invalid command line parameters." with the count of the file names and
// options accepted before the refused argument.
std::string InvalidParametersText(int parsed);

// Stores the file names in the document (and in `files`) and the options in
// its parameter set. Returns the message to show when the line is refused,
// or an empty text.
std::string ReadBatchCommandLine(CDravikDoc& doc, const std::vector<std::string>& args,
                                 CCommandLineFiles& files);

}  // namespace dravik

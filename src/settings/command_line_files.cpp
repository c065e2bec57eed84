#include "settings/command_line_files.h"

#include "platform/log_source.h"
#include "settings/parameters.h"

namespace dravik {

bool CCommandLineFiles::AddFileName(const std::string& name) {
    // "-" is no option (one has two characters at least): as the log it is
    // standard input, as the output standard output.
    const bool standard_stream = IsStandardStream(name) && count < 2;
    if (name.empty() || (IsOptionArgument(name) && !standard_stream) || count >= 3) return false;
    std::string* const slots[] = {&log, &output, &instrument};
    *slots[count++] = name;
    return true;
}

}  // namespace dravik

#include "settings/command_line_files.h"

#include "settings/parameters.h"

namespace dravik {

bool CCommandLineFiles::AddFileName(const std::string& name) {
    if (name.empty() || IsOptionArgument(name) || count >= 3) return false;
    std::string* const slots[] = {&log, &output, &instrument};
    *slots[count++] = name;
    return true;
}

}  // namespace dravik

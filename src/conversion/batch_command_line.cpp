#include "conversion/batch_command_line.h"

#include <cstdio>

#include "app/parameters.h"
#include "conversion/dravik_doc.h"

namespace dravik {

std::string ReadBatchCommandLine(CDravikDoc& doc, const std::vector<std::string>& args) {
    CDravikParameters& params = doc.GetParameters();
    std::size_t i = 0;
    while (i < args.size() && !IsOptionArgument(args[i]) && doc.AddFileName(args[i])) ++i;
    for (; i < args.size(); ++i) {
        if (!params.ParseOption(args[i])) {
            char text[96];
            std::snprintf(text, sizeof text,
                          "Invalid command line parameters.\r\nParameters parsed: %d",
                          doc.GetFileNameCount() + params.options_parsed);
            return text;
        }
    }
    if (doc.GetFileNameCount() < 2) {
        return "There must be at least two file name parameters to use command line processing.";
    }
    return {};
}

}  // namespace dravik

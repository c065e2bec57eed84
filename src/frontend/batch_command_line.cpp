#include "frontend/batch_command_line.h"

#include <cstdio>

#include "conversion/dravik_doc.h"
#include "settings/parameters.h"

namespace dravik {

std::string InvalidParametersText(int parsed) {
    char text[96];
    std::snprintf(text, sizeof text, "Invalid command line parameters.\r\nParameters parsed: %d",
                  parsed);
    return text;
}

std::string ReadBatchCommandLine(CDravikDoc& doc, const std::vector<std::string>& args,
                                 CCommandLineFiles& files) {
    CDravikParameters& params = doc.GetParameters();
    files = CCommandLineFiles{};
    std::size_t i = 0;
    while (i < args.size() && files.AddFileName(args[i])) ++i;
    for (; i < args.size(); ++i) {
        if (!params.ParseOption(args[i])) {
            return InvalidParametersText(files.count + params.options_parsed);
        }
    }
    if (files.count < 2) {
        return "There must be at least two file name parameters to use command line processing.";
    }
    doc.SetLogFilePath(files.log);
    doc.SetOutputFilePath(files.output);
    doc.SetInstrumentFilePath(files.instrument);
    return {};
}

}  // namespace dravik

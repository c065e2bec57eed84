#include "frontend/batch_command_line.h"

#include <cstdio>

#include "conversion/dravik_doc.h"
#include "platform/log_source.h"
#include "platform/text.h"
#include "settings/output_format.h"
#include "settings/parameters.h"

namespace dravik {

std::string InvalidParametersText(int parsed) {
    char text[96];
    std::snprintf(text, sizeof text, "Invalid command line parameters.\r\nParameters parsed: %d",
                  parsed);
    return text;
}

std::string ReadBatchCommandLine(CDravikDoc& doc, const std::vector<std::string>& all_args,
                                 CCommandLineFiles& files) {
    CDravikParameters& params = doc.GetParameters();
    files = CCommandLineFiles{};
    std::vector<std::string> args = all_args;
    if (std::string refusal = TakeFormatOption(args, params); !refusal.empty()) return refusal;
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
    if (files.count == 2 && !CanConvertHeaders(params)) return kNetcdfHeaderRefusal;
    if (IsStandardStream(files.output) &&
        OutputFormatOf(params.output_format) == kOutputNetcdf) {
        return kNetcdfStreamRefusal;
    }
    doc.SetLogFilePath(files.log);
    doc.SetOutputFilePath(files.output);
    doc.SetInstrumentFilePath(files.instrument);
    return {};
}

std::string TakeFormatOption(std::vector<std::string>& args, CDravikParameters& params) {
    constexpr std::string_view kOption = "--format";
    for (std::size_t i = 0; i < args.size();) {
        const std::string& arg = args[i];
        const bool joined = arg.rfind("--format=", 0) == 0;
        if (arg != kOption && !joined) {
            ++i;
            continue;
        }
        std::string name;
        std::size_t taken = 1;
        if (joined) {
            name = arg.substr(kOption.size() + 1);
        } else if (i + 1 < args.size()) {
            name = args[i + 1];
            taken = 2;
        }
        const std::optional<EOutputFormat> format = OutputFormatFromName(name);
        if (!format) return "The option --format takes text, csv or netcdf.";
        params.output_format = *format;
        args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                   args.begin() + static_cast<std::ptrdiff_t>(i + taken));
    }
    return {};
}

std::string TextOptionsNotice(const std::vector<std::string>& args,
                              const CDravikParameters& params) {
    const EOutputFormat format = OutputFormatOf(params.output_format);
    if (format == kOutputText) return {};
    std::string given;
    for (const std::string& arg : args) {
        if (arg.size() < 2 || !IsOptionArgument(arg)) continue;
        const char letter = static_cast<char>(AsciiLower(arg.substr(1, 1))[0]);
        if (std::string_view("dwpfhsx").find(letter) == std::string_view::npos) continue;
        const std::string option = std::string("/") + letter;
        if (given.find(option) != std::string::npos) continue;
        given += (given.empty() ? "" : ", ") + option;
    }
    if (given.empty()) return {};
    return "The options that shape the text table (" + given + ") do not apply to " +
           (format == kOutputCsv ? "CSV" : "NetCDF") +
           " output, which always carries every value in full precision.";
}

std::string CommandLineText(int argc, const char* const* argv) {
    std::string text;
    for (int i = 0; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (i == 0) arg = arg.substr(arg.rfind('/') == std::string_view::npos ? 0 : arg.rfind('/') + 1);
        if (!text.empty()) text += ' ';
        const bool plain = !arg.empty() && arg.find_first_not_of(
                                               "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                               "0123456789-_./=,:+@%") == std::string_view::npos;
        if (plain) {
            text += arg;
            continue;
        }
        text += '\'';
        for (char c : arg) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
        text += '\'';
    }
    return text;
}

}  // namespace dravik

#include "cli/each_command.h"

#include <charconv>

#include "cli/refusal_reasons.h"
#include "conversion/conversion_output.h"
#include "frontend/batch_command_line.h"
#include "settings/output_format.h"

namespace dravik {

const char* const kEachUsage =
    "Usage: dravik-convert --each [options] LOG... [--instrument INSTRUMENT]...\n"
    "                      [--output-dir DIR] [--extension EXT] [--jobs N]\n"
    "\n"
    "Converts every LOG with every INSTRUMENT (the instruments of one log one\n"
    "after another, then the next log), or, without --instrument, converts the\n"
    "header records of every LOG. The options above apply to every conversion.\n"
    "  --instrument FILE  an instrument file, or a package .zpk standing for every\n"
    "                     instrument file it holds; once per file\n"
    "  --output-dir DIR   where the outputs go (default: the current directory)\n"
    "  --extension EXT    extension of the outputs (default: dat, or csv and nc for\n"
    "                     those formats; empty: none)\n"
    "  --format FORMAT    text (default), csv or netcdf\n"
    "  --jobs N           conversions at the same time (default: one per core)\n"
    "Outputs are named LOGTITLE-INSTRUMENTTITLE.EXT, or LOGTITLE.EXT for header\n"
    "conversions, where a title is the file name without its extension. The\n"
    "conversion log holds each conversion's messages as one block, in the order\n"
    "above. Existing outputs: without a terminal on standard input none is\n"
    "overwritten unless /ow=yes is given; on a terminal one question covers the\n"
    "whole run. A progress line shows the files done, the speed and the time\n"
    "left; a table of every conversion ends the run on standard output. Ctrl-C\n"
    "stops every conversion, and the table tells which outputs are complete.\n"
    "Exit status: 0 every conversion complete, 1 any conversion failed, was\n"
    "skipped or was cancelled, 2 invalid command line.\n";

namespace {

constexpr unsigned kMaxJobs = 256;

// Stores the value of one of the long options.
std::optional<std::string> TakeValue(const std::string& name, std::string value,
                                     CEachCommand& command) {
    if (name == "--extension") {
        // "--extension .txt" means the same as "--extension txt".
        if (!value.empty() && value.front() == '.') value.erase(0, 1);
        command.extension = value;
        return std::nullopt;
    }
    if (value.empty()) return "The option " + name + " needs a value.";
    if (name == "--instrument") {
        command.instruments.push_back(value);
    } else if (name == "--output-dir") {
        command.output_dir = value;
    } else {
        unsigned jobs = 0;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), jobs);
        if (ec != std::errc() || end != value.data() + value.size() || jobs < 1 ||
            jobs > kMaxJobs) {
            return "The option --jobs takes a number of conversions from 1 to " +
                   std::to_string(kMaxJobs) + ".";
        }
        command.jobs = jobs;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> ParseEachCommand(const std::vector<std::string>& all_args,
                                            CEachCommand& command) {
    std::vector<std::string> args = all_args;
    if (std::string refusal = TakeFormatOption(args, command.params); !refusal.empty()) {
        return refusal;
    }
    bool extension_given = false;
    int accepted = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.rfind("--", 0) == 0) {
            const std::size_t equals = arg.find('=');
            const std::string name = arg.substr(0, equals);
            if (name != "--instrument" && name != "--output-dir" && name != "--extension" &&
                name != "--jobs") {
                return UnknownLongOption(arg, true);
            }
            std::string value;
            if (equals != std::string::npos) {
                value = arg.substr(equals + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                return "The option " + name + " needs a value.";
            }
            extension_given = extension_given || name == "--extension";
            if (auto error = TakeValue(name, std::move(value), command)) return error;
        } else if (IsOptionArgument(arg)) {
            if (!command.params.ParseOption(arg)) {
                return InvalidParametersText(accepted) + "\r\n" + RefusedOptionReason(arg, true);
            }
        } else if (arg.empty()) {
            return "An empty log file name was given.";
        } else {
            command.logs.push_back(arg);
        }
        ++accepted;
    }
    if (command.logs.empty()) return "There is no log file to convert after --each.";
    const EOutputFormat format = OutputFormatOf(command.params.output_format);
    if (!extension_given) command.extension = OutputFormatExtension(format);
    if (command.instruments.empty() && !CanConvertHeaders(command.params)) {
        return std::string(kNetcdfHeaderRefusal);
    }
    return std::nullopt;
}

}  // namespace dravik

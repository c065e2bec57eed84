#include "cli/refusal_reasons.h"

#include <algorithm>
#include <vector>

#include "platform/text.h"
#include "settings/parameters.h"

namespace dravik {

const std::string_view kLongOptions[8] = {"--help", "--version",      "--verbose",     "--entry",
                                          "--each", "--list-entries", "--no-settings", "--report"};
const std::string_view kEachLongOptions[4] = {"--instrument", "--output-dir", "--extension",
                                              "--jobs"};

namespace {

// The keys of the options written KEY=VALUE.
constexpr std::string_view kOptionKeys[] = {"overwrite",     "ow", "endwindow", "ew",
                                            "conversionlog", "cl"};

// Edits (insert, delete, replace, swap two neighbours) that turn `a` into `b`.
std::size_t Distance(std::string_view a, std::string_view b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t replace = d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, replace});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[a.size()][b.size()];
}

std::string_view WithoutDashes(std::string_view name) {
    while (!name.empty() && name.front() == '-') name.remove_prefix(1);
    return name;
}

std::vector<std::string_view> LongOptions(bool each) {
    std::vector<std::string_view> names(std::begin(kLongOptions), std::end(kLongOptions));
    if (each) names.insert(names.end(), std::begin(kEachLongOptions), std::end(kEachLongOptions));
    return names;
}

std::string Quote(std::string_view text) {
    std::string quoted(1, '"');
    quoted.append(text).push_back('"');
    return quoted;
}

std::string Unknown(std::string_view arg, const std::string& meant) {
    std::string text = "Unknown option " + Quote(arg) + ".";
    if (!meant.empty()) text += " Did you mean " + meant + "?";
    return text;
}

}  // namespace

std::string ClosestName(std::string_view given, std::span<const std::string_view> known) {
    const std::string word = AsciiLower(WithoutDashes(given));
    if (word.empty()) return {};
    std::size_t best = 3;
    std::vector<std::string_view> closest;
    for (std::string_view name : known) {
        const std::string_view bare = WithoutDashes(name);
        const std::size_t d = Distance(word, bare);
        if (d > (bare.size() <= 4 ? 1u : 2u) || d >= bare.size() || d > best) continue;
        if (d < best) closest.clear();
        best = d;
        closest.push_back(name);
    }
    if (closest.empty() && word.size() >= 3) {
        for (std::string_view name : known) {
            if (WithoutDashes(name).starts_with(word)) closest.push_back(name);
        }
        if (closest.size() != 1) closest.clear();
    }
    std::string text;
    for (std::string_view name : closest) {
        if (!text.empty()) text += " or ";
        text += name;
    }
    return text;
}

std::string UnknownLongOption(std::string_view arg, bool each) {
    const std::string_view name = arg.substr(0, arg.find('='));
    if (!each && std::find(std::begin(kEachLongOptions), std::end(kEachLongOptions), name) !=
                     std::end(kEachLongOptions)) {
        return "The option " + std::string(name) + " is taken only with --each.";
    }
    return Unknown(arg, ClosestName(name, LongOptions(each)));
}

std::string RefusedOptionReason(std::string_view arg, bool each) {
    if (arg.starts_with("--")) return UnknownLongOption(arg, each);
    if (arg == "-") {
        return each ? std::string("--each reads no standard input: name the log files.")
                    : std::string("\"-\" is standard input as the log file, or standard output "
                                  "as the output file; an instrument file must be named.");
    }
    if (arg.size() < 2) return Unknown(arg, "");
    const std::string option = AsciiLower(arg);
    const char selector = option[1];
    const std::size_t equals = option.find('=');
    if (equals != std::string::npos && (selector == 'c' || selector == 'e' || selector == 'o')) {
        const std::string_view key = std::string_view(option).substr(1, equals - 1);
        if (key == "conversionlog" || key == "cl") {
            return "The option " + Quote(arg) + " needs the name of the conversion log file.";
        }
        if (key == "endwindow" || key == "ew" || key == "overwrite" || key == "ow") {
            return "The option " + Quote(arg) + " takes yes or no (also y or n).";
        }
        const std::string meant = ClosestName(key, kOptionKeys);
        if (meant.empty() || meant.find(' ') != std::string::npos) return Unknown(arg, "");
        return Unknown(arg,
                       std::string(arg.substr(0, 1)) + meant + std::string(arg.substr(equals)));
    }
    const std::string quoted = Quote(arg);
    switch (selector) {
        case 'b':
            return "The option " + quoted + " takes a buffer size from 1024 to 65535 bytes.";
        case 'd':
            return "The option " + quoted +
                   " needs a delimiter: /dt (a TAB), /ds (a blank), or the character or text "
                   "itself, as in /d, or /d;;.";
        case 'f':
            return Unknown(arg, "") + " The number formats are /ff, /fe and /fg.";
        case 'l':
            return "The option " + quoted +
                   " takes a frame limit from 0 to 32766 and, after a \"-\", a rate of one "
                   "frame in 1 to 32766: /l100, /l100-5 or /l-5.";
        case 'p':
            return "The option " + quoted + " takes a precision from 0 to 32766.";
        case 'w':
            return "The option " + quoted + " takes a width from 1 to 32766.";
        default:
            return Unknown(arg, ClosestName(arg.substr(1), LongOptions(each)));
    }
}

std::string RefusedArgumentReason(std::string_view arg, int file_names, int options) {
    if (arg.empty()) return "An empty argument is neither a file name nor an option.";
    if (IsOptionArgument(arg)) return RefusedOptionReason(arg, false);
    if (file_names == 3 && options == 0) {
        return Quote(arg) +
               " would be a fourth file name: a conversion takes a log file, an output file "
               "and an instrument file, then options.";
    }
    return Quote(arg) + " is not an option: the file names come first, before any option.";
}

std::string MissingFileNamesReason(int file_names) {
    if (file_names == 0) {
        return "No file name was given: the log file and the output file come first, before "
               "any option.";
    }
    return "Only one file name was given: the output file follows the log file, before any "
           "option.";
}

}  // namespace dravik

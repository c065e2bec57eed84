// The batch command line's two readers on any arguments: the leading file
// names (AddFileName) and the options (ParseOption). A refused option must
// leave the parameters exactly as they were, and every value accepted must lie
// in its range.
#include <cstddef>
#include <cstdint>
#include <string>

#include "settings/command_line_files.h"
#include "settings/parameters.h"
#include "fuzz_support.h"

namespace {

bool SameParameters(const dravik::CDravikParameters& a, const dravik::CDravikParameters& b) {
    return a.delimiter == b.delimiter && a.immersed == b.immersed && a.time_tags == b.time_tags &&
           a.time_tags_formatted == b.time_tags_formatted &&
           a.suppress_strings == b.suppress_strings && a.show_extra == b.show_extra &&
           a.check_sum_checking == b.check_sum_checking &&
           a.frame_counter_checking == b.frame_counter_checking && a.buffer == b.buffer &&
           a.process_limit == b.process_limit && a.process_depth == b.process_depth &&
           a.format.double_type == b.format.double_type &&
           a.format.apply_fit == b.format.apply_fit &&
           a.format.hex_format == b.format.hex_format && a.format.width == b.format.width &&
           a.format.precision == b.format.precision &&
           a.has_overwrite_option == b.has_overwrite_option &&
           a.has_end_window_option == b.has_end_window_option &&
           a.has_conversion_log_option == b.has_conversion_log_option &&
           a.overwrite_option_prompt == b.overwrite_option_prompt &&
           a.end_window_option_dismiss == b.end_window_option_dismiss &&
           a.conversion_log_option_file == b.conversion_log_option_file &&
           a.options_parsed == b.options_parsed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace dravik;
    CCommandLineFiles files;
    CDravikParameters params;
    // One argument per line, as a shell would pass them.
    for (std::string_view arg : fuzz::Split(fuzz::AsText(data, size), "\n", 64)) {
        const std::string text(arg);
        if (!IsOptionArgument(text)) {
            const int before = files.count;
            const bool added = files.AddFileName(text);
            if (added != (files.count == before + 1) || files.count > 3) __builtin_trap();
            continue;
        }
        const CDravikParameters before = params;
        if (!params.ParseOption(text)) {
            if (!SameParameters(before, params)) __builtin_trap();
            continue;
        }
        if (params.options_parsed != before.options_parsed + 1) __builtin_trap();
        if (params.buffer < CDravikParameters::kMinBuffer ||
            params.buffer > CDravikParameters::kMaxBuffer || params.delimiter.empty())
            __builtin_trap();
    }
    return 0;
}

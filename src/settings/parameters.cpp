#include "settings/parameters.h"

#include <charconv>
#include <optional>

#include "platform/text.h"
#include "settings/settings_store.h"

namespace dravik {

namespace {

// The keys of the "Parameters" section, in their write order (see
// settings_store.h).
template <class Parameters, class Key>
void Keys(Parameters& p, Key&& key) {
    using enum ELoadRule;
    key("Delimiter", p.delimiter, kNonEmpty);
    key("Immersed", p.immersed, kInt);
    key("Time Tags", p.time_tags, kInt);
    key("Time Tags Formatted", p.time_tags_formatted, kInt);
    key("Suppress Strings", p.suppress_strings, kInt);
    key("Show Extra", p.show_extra, kInt);
    key("Check Sum Checking", p.check_sum_checking, kInt);
    key("Frame Counter Checking", p.frame_counter_checking, kInt);
    key("Process Limit", p.process_limit, kInt);
    key("Process Depth", p.process_depth, kInt);
    key("Double Type", p.format.double_type, kInt);
    key("Apply Fit", p.format.apply_fit, kInt);
    key("Hex Format", p.format.hex_format, kInt);
    key("Width", p.format.width, kInt);
    key("Precision", p.format.precision, kInt);
    key("Buffer", p.buffer, kInt);
    key("Output Format", p.output_format, kInt);
}

// A base-10 number at the start of `text`: an optional sign, then at least one
// digit; whatever follows the digits is ignored. A value outside the 32-bit
// range is refused rather than wrapped.
std::optional<int> LeadingNumber(std::string_view text) {
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') {
        ++first;
        if (first != last && *first == '-') return std::nullopt;
    }
    int value = 0;
    auto [end, ec] = std::from_chars(first, last, value);
    if (ec != std::errc()) return std::nullopt;
    return value;
}

std::optional<int> NumberInRange(std::string_view text, int low, int high) {
    std::optional<int> value = LeadingNumber(text);
    if (!value || *value < low || *value > high) return std::nullopt;
    return value;
}

// The key and value of a "key=value" option, the prefix dropped. No "=" or an
// empty value is refused.
struct KeyValue {
    std::string_view key;
    std::string_view value;
};

std::optional<KeyValue> SplitKeyValue(std::string_view option) {
    std::string_view text = option.substr(1);
    std::size_t eq = text.find('=');
    if (eq == std::string_view::npos || eq + 1 == text.size()) return std::nullopt;
    return KeyValue{text.substr(0, eq), text.substr(eq + 1)};
}

// "yes"/"y" -> 1, "no"/"n" -> 0.
std::optional<int> YesNo(std::string_view value) {
    if (value == "yes" || value == "y") return 1;
    if (value == "no" || value == "n") return 0;
    return std::nullopt;
}

bool IsAbsolutePathArgument(std::string_view arg) {
    if (arg.empty() || arg[0] != '/') return false;
    std::size_t slash = arg.find('/', 1);
    return slash != std::string_view::npos && slash < arg.find('=');
}

}  // namespace

bool IsOptionArgument(std::string_view arg) {
    if (arg.empty() || (arg[0] != '/' && arg[0] != '-')) return false;
    return !IsAbsolutePathArgument(arg);
}

void CDravikParameters::ReadParameters(const CSettingsStore& store) {
    Keys(*this, CSectionReader(store, kParametersSection));
}

void CDravikParameters::WriteParameters(CSettingsStore& store) const {
    Keys(*this, CSectionWriter(store, kParametersSection));
}

bool CDravikParameters::ParseOption(std::string_view original) {
    if (original.size() < 2 || !IsOptionArgument(original)) return false;
    // Everything is matched in lower case, the delimiter text included; only
    // the conversion log's file name keeps its case, since file names are
    // case-sensitive here. Only ASCII letters are folded: the user's locale
    // must not change what an option means.
    const std::string option = AsciiLower(original);
    const std::size_t length = option.size();
    const char selector = option[1];
    const char third = length > 2 ? option[2] : '\0';
    const std::string_view rest = std::string_view(option).substr(2);

    switch (selector) {
        case 'b': {
            std::optional<int> value = NumberInRange(rest, kMinBuffer, kMaxBuffer);
            if (!value) return false;
            buffer = *value;
            break;
        }
        case 'c': {
            if (length == 2) {
                format.apply_fit = 1;
            } else if (length == 3) {
                if (third != 'i') return false;
                format.apply_fit = 1;
                immersed = 1;
            } else {
                std::optional<KeyValue> kv = SplitKeyValue(option);
                if (!kv || (kv->key != "conversionlog" && kv->key != "cl")) return false;
                // Same offset in the original text: lower-casing keeps the length.
                std::size_t value_at = original.size() - kv->value.size();
                has_conversion_log_option = 1;
                conversion_log_option_file = std::string(original.substr(value_at));
            }
            break;
        }
        case 'd': {
            if (length == 3) {
                delimiter = third == 't' ? "\t" : third == 's' ? " " : std::string(1, third);
            } else if (length > 3) {
                delimiter = std::string(rest);
            } else {
                return false;
            }
            break;
        }
        case 'e': {
            if (third == 'f' || third == 'c') {
                const char fourth = length > 3 ? option[3] : '\0';
                if (third == 'f' || fourth == 'f') frame_counter_checking = 1;
                if (third == 'c' || fourth == 'c') check_sum_checking = 1;
            } else {
                if (length < 4) return false;
                std::optional<KeyValue> kv = SplitKeyValue(option);
                if (!kv || (kv->key != "endwindow" && kv->key != "ew")) return false;
                std::optional<int> yes = YesNo(kv->value);
                if (!yes) return false;
                has_end_window_option = 1;
                end_window_option_dismiss = *yes;
            }
            break;
        }
        case 'f': {
            if (third == 'f') {
                format.double_type = 0;
            } else if (third == 'e') {
                format.double_type = 1;
            } else if (third == 'g') {
                format.double_type = 2;
            } else {
                return false;
            }
            break;
        }
        case 'h':
            format.hex_format = 1;
            break;
        case 'l': {
            // "l<limit>", "l<limit>-<depth>" or "l-<depth>". Both parts are
            // checked before either is stored, so a refused option changes
            // nothing.
            std::size_t dash = rest.find('-');
            std::string_view limit_text = rest.substr(0, dash);
            std::optional<int> depth;
            if (dash != std::string_view::npos) {
                depth = NumberInRange(rest.substr(dash + 1), 1, kMaxOptionValue);
                if (!depth) return false;
            }
            std::optional<int> limit;
            if (dash == std::string_view::npos || !limit_text.empty()) {
                limit = NumberInRange(limit_text, 0, kMaxOptionValue);
                if (!limit) return false;
            }
            if (depth) process_depth = *depth;
            if (limit) process_limit = *limit;
            break;
        }
        case 'o': {
            if (length < 4) return false;
            std::optional<KeyValue> kv = SplitKeyValue(option);
            if (!kv || (kv->key != "overwrite" && kv->key != "ow")) return false;
            std::optional<int> yes = YesNo(kv->value);
            if (!yes) return false;
            has_overwrite_option = 1;
            overwrite_option_prompt = *yes ? 0 : 1;
            break;
        }
        case 'p': {
            std::optional<int> value = NumberInRange(rest, 0, kMaxOptionValue);
            if (!value) return false;
            format.precision = *value;
            break;
        }
        case 's':
            suppress_strings = 1;
            break;
        case 't':
            time_tags = 1;
            if (third == 'f') time_tags_formatted = 1;
            break;
        case 'w': {
            std::optional<int> value = NumberInRange(rest, 1, kMaxOptionValue);
            if (!value) return false;
            format.width = *value;
            break;
        }
        case 'x':
            show_extra = 1;
            break;
        default:
            return false;
    }
    ++options_parsed;
    return true;
}

}  // namespace dravik

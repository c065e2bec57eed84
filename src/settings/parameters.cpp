#include "settings/parameters.h"

#include <charconv>
#include <optional>

#include "settings/settings_store.h"

namespace dravik {

namespace {

// Options are matched without regard to case. Only ASCII letters are folded:
// the user's locale must not change what an option means.
std::string AsciiLower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
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
    const std::string_view s = kParametersSection;
    LoadStringNonEmpty(store, s, "Delimiter", delimiter);
    LoadInt(store, s, "Immersed", immersed);
    LoadInt(store, s, "Time Tags", time_tags);
    LoadInt(store, s, "Time Tags Formatted", time_tags_formatted);
    LoadInt(store, s, "Suppress Strings", suppress_strings);
    LoadInt(store, s, "Show Extra", show_extra);
    LoadInt(store, s, "Check Sum Checking", check_sum_checking);
    LoadInt(store, s, "Frame Counter Checking", frame_counter_checking);
    LoadInt(store, s, "Process Limit", process_limit);
    LoadInt(store, s, "Process Depth", process_depth);
    LoadInt(store, s, "Double Type", format.double_type);
    LoadInt(store, s, "Apply Fit", format.apply_fit);
    LoadInt(store, s, "Hex Format", format.hex_format);
    LoadInt(store, s, "Width", format.width);
    LoadInt(store, s, "Precision", format.precision);
    LoadInt(store, s, "Buffer", buffer);
}

void CDravikParameters::WriteParameters(CSettingsStore& store) const {
    const std::string_view s = kParametersSection;
    store.WriteString(s, "Delimiter", delimiter);
    store.WriteInt(s, "Immersed", immersed);
    store.WriteInt(s, "Time Tags", time_tags);
    store.WriteInt(s, "Time Tags Formatted", time_tags_formatted);
    store.WriteInt(s, "Suppress Strings", suppress_strings);
    store.WriteInt(s, "Show Extra", show_extra);
    store.WriteInt(s, "Check Sum Checking", check_sum_checking);
    store.WriteInt(s, "Frame Counter Checking", frame_counter_checking);
    store.WriteInt(s, "Process Limit", process_limit);
    store.WriteInt(s, "Process Depth", process_depth);
    store.WriteInt(s, "Double Type", format.double_type);
    store.WriteInt(s, "Apply Fit", format.apply_fit);
    store.WriteInt(s, "Hex Format", format.hex_format);
    store.WriteInt(s, "Width", format.width);
    store.WriteInt(s, "Precision", format.precision);
    store.WriteInt(s, "Buffer", buffer);
}

bool CDravikParameters::ParseOption(std::string_view original) {
    if (original.size() < 2 || !IsOptionArgument(original)) return false;
    // Everything is matched in lower case, the delimiter text included; only
    // the conversion log's file name keeps its case, since file names are
    // case-sensitive here.
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

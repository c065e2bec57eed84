#include "instrument/instrument_line.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "instrument/number_parse.h"

namespace dravik {

namespace {

bool IsBlank(char c) noexcept {
    return c == ' ' || c == '\t';
}

}  // namespace

std::string_view LineContent(std::string_view line) noexcept {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line.remove_prefix(static_cast<std::size_t>(
        std::find_if_not(line.begin(), line.end(), IsBlank) - line.begin()));
    return line.substr(0, line.find('#'));
}

std::string_view NextWord(std::string_view& rest) noexcept {
    const auto end = std::find_if(rest.begin(), rest.end(), IsBlank);
    const std::string_view word(rest.begin(), end);
    rest = std::string_view(std::find_if_not(end, rest.end(), IsBlank), rest.end());
    return word;
}

bool ParseUnsigned(std::string_view text, std::uint32_t& value) noexcept {
    std::uint32_t v = 0;
    const char* const last = text.data() + text.size();
    const auto [end, ec] = std::from_chars(text.data(), last, v);
    if (ec != std::errc() || end != last || v == std::numeric_limits<std::uint32_t>::max())
        return false;
    value = v;
    return true;
}

bool ParseUnits(std::string_view word, std::string& units) {
    if (word.size() < 2 || word.front() != '\'' || word.find('\'', 1) != word.size() - 1)
        return false;
    units = word.substr(1, word.size() - 2);
    return true;
}

bool ParseCoefficient(std::string_view word, double& value) {
    double v = 0.0;
    const std::size_t taken = ParseLeadingDouble(word, v);
    if (taken == 0 || taken != word.size() || !std::isfinite(v)) return false;
    value = v;
    return true;
}

}  // namespace dravik

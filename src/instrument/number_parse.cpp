#include "instrument/number_parse.h"

#include <locale.h>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

#include "platform/text.h"

namespace dravik {

namespace {

locale_t CLocale() {
    static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return loc;
}

}  // namespace

std::size_t ParseLeadingDouble(std::string_view text, double& value) {
    std::size_t i = 0;
    while (i < text.size() && IsCSpace(text[i])) ++i;
    bool negative = false;
    std::size_t start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // A second sign would be taken by from_chars; the C conversion refuses it.
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) return 0;
    double v = 0.0;
    auto [end, ec] =
        std::from_chars(text.data() + i, text.data() + text.size(), v, std::chars_format::general);
    if (end == text.data() + i) return 0;
    if (ec == std::errc::result_out_of_range) {
        // Finish with the C conversion in the "C" locale for its overflow and
        // underflow results; the digits may not be NUL-terminated.
        std::string copy(text.substr(start, static_cast<std::size_t>(end - text.data()) - start));
        locale_t loc = CLocale();
        v = loc != static_cast<locale_t>(0) ? strtod_l(copy.c_str(), nullptr, loc)
                                            : (negative ? -HUGE_VAL : HUGE_VAL);
        value = v;
        return static_cast<std::size_t>(end - text.data());
    }
    value = negative ? -v : v;
    return static_cast<std::size_t>(end - text.data());
}

}  // namespace dravik

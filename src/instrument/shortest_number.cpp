#include "instrument/shortest_number.h"

#include <charconv>
#include <cmath>
#include <cstdint>

#include "instrument/decimal_digits.h"

namespace dravik {

char* WriteShortestNumber(char* out, double value) noexcept {
    // Raw counts are whole numbers below 2^32: their own digits, without the
    // search for the shortest text.
    const double magnitude = std::fabs(value);
    if (magnitude < 4294967296.0 && magnitude == std::trunc(magnitude) && magnitude >= 1) {
        const auto whole = static_cast<std::uint64_t>(magnitude);
        // Five trailing zeros or more are shorter in the exponent form
        // ("1e+05"), which the library writes then.
        if (whole % 100000 != 0) {
            if (std::signbit(value)) *out++ = '-';
            const int n = digits::DigitCount(whole);
            digits::WriteDigitsBefore(out + n, whole, n);
            return out + n;
        }
    }
    return std::to_chars(out, out + kMaxShortestNumber, value).ptr;
}

}  // namespace dravik

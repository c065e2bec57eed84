#include "instrument/number_format.h"

#include "instrument/decimal_digits.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace dravik {

namespace {

using namespace digits;

// Room for the text of any finite double in "e" or "g" form and in "f" form up to
// about 1e300 at the default precision; longer texts take the slow path.
constexpr int kStackText = 400;
constexpr int kDefaultPrecision = 6;

int ClampedPrecision(const CSensorFormat& fmt) noexcept {
    return std::min(fmt.precision, kMaxFormatPrecision);
}
char ConversionLetter(int double_type) noexcept {
    return double_type == 0 ? 'f' : double_type == 1 ? 'e' : 'g';
}

// Longest text of any double, without padding, at a precision of p (p >= 6): the "f"
// form of the largest double has 309 integer digits; the point, a sign and the "e"
// form's exponent fit in the rest.
std::size_t TextBound(int p) noexcept {
    return 320 + static_cast<std::size_t>(p);
}

// Inserts the decimal point after the first digit of a mantissa written without one
// ("1e+02" becomes "1.e+02"), as the "#" flag asks.
char* InsertPointAfterFirstDigit(char* digits, char* end, char* last) noexcept {
    if (end == last) return nullptr;
    std::memmove(digits + 2, digits + 1, static_cast<std::size_t>(end - digits - 1));
    digits[1] = '.';
    return end + 1;
}

// "f" for the everyday case, a value below 2^63 at a precision of at most 17.
// The double is m * 2^e exactly: its integer part and its fractional bits f
// come from the bits, and the digits after the point are f * 10^p / 2^-e, an
// exact 128-bit product shifted right with the rounding of the C formatter (to
// nearest, ties to even on the last digit written), carrying into the integer
// part when the fraction rounds up to one. Every digit is written straight to
// its place. Returns nullptr when the case does not apply.
char* WriteFixedShort(char* first, char* last, double value, int precision) noexcept {
    if (precision > 17 || last - first < 48) return nullptr;
    const auto bits = std::bit_cast<std::uint64_t>(value);
    const int biased_exponent = static_cast<int>((bits >> 52) & 0x7FF);
    std::uint64_t mantissa = bits & ((1ull << 52) - 1);
    int exponent = -1074;
    if (biased_exponent != 0) {
        mantissa |= 1ull << 52;
        exponent = biased_exponent - 1075;
    }
    std::uint64_t integer = 0;
    std::uint64_t fraction = 0;
    if (exponent >= 0) {
        if (exponent > 10) return nullptr;
        integer = mantissa << exponent;
    } else {
        const int shift = -exponent;
        std::uint64_t fraction_bits = mantissa;
        if (shift < 64) {
            integer = mantissa >> shift;
            fraction_bits = mantissa & ((1ull << shift) - 1);
        }
        // f * 10^p is below 2^110: with a shift of 111 or more it is below a
        // quarter, and the fraction rounds to zero.
        if (shift < 111) {
            const Unsigned128 n = static_cast<Unsigned128>(fraction_bits) * kPow10[precision];
            const Unsigned128 quotient = n >> shift;
            const Unsigned128 remainder = n - (quotient << shift);
            const Unsigned128 half = static_cast<Unsigned128>(1) << (shift - 1);
            fraction = static_cast<std::uint64_t>(quotient);
            const bool odd = ((precision > 0 ? fraction : integer) & 1) != 0;
            if (remainder > half || (remainder == half && odd)) {
                if (++fraction == kPow10[precision]) {
                    fraction = 0;
                    ++integer;
                }
            }
        }
    }
    char* out = first;
    if (bits >> 63) *out++ = '-';
    const int integer_digits = DigitCount(integer);
    out += integer_digits;
    WriteDigitsBefore(out, integer, integer_digits);
    *out++ = '.';
    out += precision;
    WriteDigitsBefore(out, fraction, precision);
    return out;
}

char* WriteFixed(char* first, char* last, double value, int precision) noexcept {
    if (char* const end = WriteFixedShort(first, last, value, precision)) return end;
    const auto [end, ec] = std::to_chars(first, last, value, std::chars_format::fixed, precision);
    if (ec != std::errc()) return nullptr;
    if (precision > 0) return end;
    if (end == last) return nullptr;
    *end = '.';
    return end + 1;
}

char* WriteExponent(char* first, char* last, double value, int precision) noexcept {
    const auto [end, ec] =
        std::to_chars(first, last, value, std::chars_format::scientific, precision);
    if (ec != std::errc()) return nullptr;
    if (precision > 0) return end;
    return InsertPointAfterFirstDigit(first + (*first == '-' ? 1 : 0), end, last);
}

// "g" with the "#" flag and P significant digits (P >= 1): the value is rounded to P
// significant digits once, as the "e" form with precision P - 1 does; its exponent X
// picks the form. For -4 <= X < P the "f" form with precision P - 1 - X rounds at the
// same decimal place, so it has the same digits and only the point moves.
char* WriteGeneral(char* first, char* last, double value, int significant) noexcept {
    const auto [end, ec] =
        std::to_chars(first, last, value, std::chars_format::scientific, significant - 1);
    if (ec != std::errc()) return nullptr;
    char* const digits = first + (*first == '-' ? 1 : 0);
    char* const e = std::find(digits, end, 'e');
    int exponent = 0;
    std::from_chars(e[1] == '+' ? e + 2 : e + 1, end, exponent);
    if (exponent < -4 || exponent >= significant) {
        if (significant > 1) return end;
        return InsertPointAfterFirstDigit(digits, end, last);
    }
    if (exponent >= 0) {
        // d.ddddd -> ddd.dd: the first X fraction digits move in front of the point.
        if (significant == 1) {
            digits[1] = '.';
            return digits + 2;
        }
        std::memmove(digits + 1, digits + 2, static_cast<std::size_t>(exponent));
        digits[exponent + 1] = '.';
        return digits + significant + 1;
    }
    // d.ddddd -> 0.000ddddd with -X - 1 zeros after the point.
    const int lead = 1 - exponent;  // "0." and the zeros
    if (last - digits < lead + significant) return nullptr;
    const char first_digit = digits[0];
    if (significant > 1) {
        std::memmove(digits + lead + 1, digits + 2, static_cast<std::size_t>(significant - 1));
    }
    digits[lead] = first_digit;
    digits[0] = '0';
    digits[1] = '.';
    std::fill(digits + 2, digits + lead, '0');
    return digits + lead + significant;
}

// The text without its padding; nullptr when [first, last) is too small.
char* WriteBody(char* first, char* last, double value, int double_type, int precision) noexcept {
    if (!std::isfinite(value)) {
        // The C formatter writes "nan" and "inf" with their sign; "#" changes nothing.
        const bool negative = std::signbit(value);
        if (last - first < 3 + (negative ? 1 : 0)) return nullptr;
        if (negative) *first++ = '-';
        std::memcpy(first, std::isnan(value) ? "nan" : "inf", 3);
        return first + 3;
    }
    const int p = precision < 0 ? kDefaultPrecision : precision;
    switch (ConversionLetter(double_type)) {
        case 'f':
            return WriteFixed(first, last, value, p);
        case 'e':
            return WriteExponent(first, last, value, p);
        default:
            return WriteGeneral(first, last, value, p == 0 ? 1 : p);
    }
}

}  // namespace

int FormatDoubleChars(char* buf, int size, double value, const CSensorFormat& fmt) noexcept {
    if (size <= 0) return -1;
    char* const end = WriteBody(buf, buf + size, value, fmt.double_type, ClampedPrecision(fmt));
    if (!end) return -1;
    const int length = static_cast<int>(end - buf);
    const int width = ClampedWidth(fmt);
    if (width <= length) return length;
    if (width > size) return -1;
    const int pad = width - length;
    std::memmove(buf + pad, buf, static_cast<std::size_t>(length));
    std::memset(buf, ' ', static_cast<std::size_t>(pad));
    return width;
}

void AppendDouble(std::string& out, double value, const CSensorFormat& fmt) {
    char text[kStackText];
    char* const end =
        WriteBody(text, text + sizeof text, value, fmt.double_type, ClampedPrecision(fmt));
    const int width = ClampedWidth(fmt);
    if (end) {
        const auto length = static_cast<std::size_t>(end - text);
        if (width > 0 && static_cast<std::size_t>(width) > length) {
            out.append(static_cast<std::size_t>(width) - length, ' ');
        }
        out.append(text, length);
        return;
    }
    // A long text (a large value in "f" form, or a large precision): written straight
    // into out, then moved right behind its padding.
    const std::size_t old_size = out.size();
    const std::size_t bound = TextBound(std::max(ClampedPrecision(fmt), kDefaultPrecision));
    out.resize(old_size + bound);
    char* const first = out.data() + old_size;
    char* const end_long =
        WriteBody(first, first + bound, value, fmt.double_type, ClampedPrecision(fmt));
    if (!end_long) {  // cannot happen: the bound holds every text
        out.resize(old_size);
        return;
    }
    const auto length = static_cast<std::size_t>(end_long - first);
    const std::size_t pad =
        width > 0 && static_cast<std::size_t>(width) > length ? width - length : 0;
    out.resize(old_size + pad + length);
    if (pad > 0) {
        char* const text_start = out.data() + old_size;
        std::memmove(text_start + pad, text_start, length);
        std::memset(text_start, ' ', pad);
    }
}

void FormatDouble(std::string& out, double value, const CSensorFormat& fmt) {
    out.clear();
    AppendDouble(out, value, fmt);
}

}  // namespace dravik

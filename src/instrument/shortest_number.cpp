#include "instrument/shortest_number.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "instrument/decimal_digits.h"

// The shortest decimal of a double comes from the formatting library's
// headers alone: nothing of it is linked.
#ifndef FMT_HEADER_ONLY
#define FMT_HEADER_ONLY
#endif
#include <fmt/format.h>

namespace dravik {
namespace {

// Writes the 17 digits of v < 10^17, zero-filled on the left: a significand
// of n digits scaled by 10^(17 - n) puts its own digits first and zeros after
// them, in three stores without a loop.
void WriteSeventeenDigits(char* out, std::uint64_t v) noexcept {
    // The three parts come from v each, not one from another, so that their
    // multiplications run side by side.
    constexpr std::uint64_t kEightDigits = 100000000;
    const auto top = static_cast<char>('0' + v / (kEightDigits * kEightDigits));
    const std::uint64_t high =
        digits::EightDigits(static_cast<std::uint32_t>(v / kEightDigits % kEightDigits));
    const std::uint64_t low = digits::EightDigits(static_cast<std::uint32_t>(v % kEightDigits));
    *out = top;
    std::memcpy(out + 1, &high, 8);
    std::memcpy(out + 9, &low, 8);
}

// Writes "e", the sign and at least two digits of the exponent.
char* WriteExponent(char* out, int exponent) noexcept {
    *out++ = 'e';
    *out++ = exponent < 0 ? '-' : '+';
    auto magnitude = static_cast<unsigned>(exponent < 0 ? -exponent : exponent);
    if (magnitude >= 100) {
        *out++ = static_cast<char>('0' + magnitude / 100);
        magnitude %= 100;
    }
    std::memcpy(out, digits::kDigitPairs + magnitude * 2, 2);
    return out + 2;
}

// Moves the first `whole` (1 to 16) of the bytes after `out` one place back
// and puts the point after them; the bytes after the point stay. The move is
// a blend of two 16-byte words, without a loop or a call.
void InsertPoint(char* out, int whole) noexcept {
    if constexpr (std::endian::native == std::endian::little) {
        digits::Unsigned128 moved, staying;
        std::memcpy(&moved, out + 1, 16);
        std::memcpy(&staying, out, 16);
        const digits::Unsigned128 mask =
            ((static_cast<digits::Unsigned128>(1) << (8 * whole - 1)) << 1) - 1;
        const digits::Unsigned128 blend = (moved & mask) | (staying & ~mask);
        std::memcpy(out, &blend, 16);
    } else {
        std::memmove(out, out + 1, static_cast<std::size_t>(whole));
    }
    out[whole] = '.';
}

// A whole number of up to 22 digits. Above 2^53 the double's own whole value
// is written, not the shortest digits followed by zeros: both read back to
// the same double, and the library writes the former.
char* WriteWhole(char* out, double magnitude, int count) noexcept {
    const auto whole = static_cast<digits::Unsigned128>(magnitude);
    constexpr std::uint64_t kSixteenDigits = 10000000000000000ull;
    if (count > 16) {
        digits::WriteDigitsBefore(out + count, static_cast<std::uint64_t>(whole % kSixteenDigits),
                                  16);
        digits::WriteDigitsBefore(out + count - 16,
                                  static_cast<std::uint64_t>(whole / kSixteenDigits), count - 16);
    } else {
        digits::WriteDigitsBefore(out + count, static_cast<std::uint64_t>(whole), count);
    }
    return out + count;
}

}  // namespace

char* WriteShortestNumber(char* out, double value) noexcept {
    // Raw counts are whole numbers below 2^32: their own digits, without the
    // search for the shortest text.
    const double magnitude = std::fabs(value);
    if (magnitude < 4294967296.0 && magnitude == std::trunc(magnitude) && magnitude >= 1) {
        const auto whole = static_cast<std::uint64_t>(magnitude);
        // Five trailing zeros or more are shorter in the exponent form
        // ("1e+05"), written below then.
        if (whole % 100000 != 0) {
            if (std::signbit(value)) *out++ = '-';
            const int n = digits::DigitCount(whole);
            digits::WriteDigitsBefore(out + n, whole, n);
            return out + n;
        }
    }
    if (!std::isfinite(value)) return std::to_chars(out, out + kMaxShortestNumber, value).ptr;
    if (std::signbit(value)) *out++ = '-';
    if (magnitude == 0) {
        *out = '0';
        return out + 1;
    }

    // The value is significand * 10^exponent, with the fewest digits.
    const auto decimal = fmt::detail::dragonbox::to_decimal(magnitude);
    const std::uint64_t significand = decimal.significand;
    const int exponent = decimal.exponent;
    const int n = digits::DigitCount(significand);
    const int scientific = exponent + n - 1;

    // The lengths of both forms; the fixed one wins a tie.
    const int scientific_length =
        n + (n > 1 ? 1 : 0) + (scientific <= -100 || scientific >= 100 ? 5 : 4);
    const int fixed_length =
        exponent >= 0 ? n + exponent : (n + exponent > 0 ? n + 1 : 2 - exponent);

    const bool fixed = fixed_length <= scientific_length;
    if (fixed && exponent >= 0) return WriteWhole(out, magnitude, n + exponent);

    // Every form below writes 17 digits and fewer than kMaxShortestNumber
    // bytes in all; what lies after the text's end is scratch. Below 1 the
    // fixed form is "0.", at most three zeros and the digits.
    const int whole = n + exponent;
    const bool below_one = fixed && whole <= 0;
    if (below_one) std::memcpy(out, "0.000000", 8);
    WriteSeventeenDigits(out + (below_one ? 2 - whole : 1), significand * digits::kPow10[17 - n]);
    if (below_one) return out + 2 - whole + n;
    if (fixed) {
        InsertPoint(out, whole);
        return out + 1 + n;
    }
    out[0] = out[1];
    out[1] = '.';
    return WriteExponent(out + n + (n > 1 ? 1 : 0), scientific);
}

}  // namespace dravik

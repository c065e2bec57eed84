#include "instrument/shortest_number.h"

#include <bit>
#include <charconv>
#include <cmath>

#include "instrument/decimal_digits.h"

namespace dravik {

namespace {

using namespace digits;

// value = digits * 10^exponent, digits without trailing zeros.
struct CDecimal {
    std::uint64_t digits = 0;
    int exponent = 0;
};

void StripTrailingZeros(CDecimal& d) {
    while (d.digits != 0 && d.digits % 10 == 0) {
        d.digits /= 10;
        ++d.exponent;
    }
}

// 1e-5 ... 1e16 as doubles, for the decimal exponent of a value.
constexpr double kPowersOfTen[] = {1e-5, 1e-4, 1e-3, 1e-2, 1e-1, 1e0,  1e1,  1e2,  1e3,  1e4, 1e5,
                                   1e6,  1e7,  1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16};

Unsigned128 Pow10(int s) {
    return s < 20 ? Unsigned128{kPow10[s]} : Unsigned128{kPow10[19]} * kPow10[s - 19];
}

// The shortest decimal that reads back as v (positive, finite, not an
// integer, 1e-5 <= v < 2^53). v = m * 2^e; its rounding interval reaches half
// the gap to each neighbour (a quarter below a power of two, whose lower
// neighbour is nearer), the ends included when m is even. Scaled by 10^s so
// that v has 17 digits before the point, the interval's ends and v are exact
// 128-bit fractions over 2^d; the answer is the multiple of the largest power
// of ten inside, the one nearest v when there are several.
bool ShortestFraction(double v, CDecimal& out) {
    const auto bits = std::bit_cast<std::uint64_t>(v);
    const int biased = static_cast<int>(bits >> 52);
    const std::uint64_t fraction = bits & ((1ull << 52) - 1);
    const std::uint64_t m = fraction | (1ull << 52);
    const int e = biased - 1075;
    // floor(log10(v)) is this estimate or one more: log10(2) ~ 78913 / 2^18.
    const int estimate = ((e + 52) * 78913) >> 18;
    if (biased == 0 || e > 0 || estimate < -5) return false;
    const int d = 2 - e;  // the fractions are over 2^d
    const std::uint64_t lower_gap = fraction == 0 && biased > 1 ? 1 : 2;
    // The estimate is one short when v reaches the next power of ten.
    int s = 16 - estimate - (v >= kPowersOfTen[estimate + 6] ? 1 : 0);
    Unsigned128 p = Pow10(s);
    Unsigned128 v4 = Unsigned128{4 * m} * p;
    if ((v4 >> d) >= kPow10[17]) {  // v is the double just below a power of ten
        p = Pow10(--s);
        v4 = Unsigned128{4 * m} * p;
    }
    const Unsigned128 mask = (Unsigned128{1} << d) - 1;
    const Unsigned128 l4 = v4 - lower_gap * p;
    const Unsigned128 u4 = v4 + 2 * p;
    const bool inclusive = m % 2 == 0;
    const auto lo = static_cast<std::uint64_t>(l4 >> d) + (((l4 & mask) != 0 || !inclusive) ? 1 : 0);
    const auto hi = static_cast<std::uint64_t>(u4 >> d) - (((u4 & mask) == 0 && !inclusive) ? 1 : 0);
    if (hi < lo) return false;
    // A run of w whole numbers holds a multiple of every power of ten up to
    // w, and at most one of the next.
    const int k = DigitCount(hi - lo + 1) - 1;
    const std::uint64_t next = kPow10[k + 1];
    std::uint64_t chosen = DividePow10(lo + next - 1, k + 1) * next;
    if (chosen > hi) {
        // Several multiples of 10^k: the nearest to v, a tie to the even one.
        const std::uint64_t step = kPow10[k];
        const auto vq = static_cast<std::uint64_t>(v4 >> d);
        const Unsigned128 vr = v4 & mask;
        const std::uint64_t t = DividePow10(vq, k);
        const std::uint64_t below = vq - t * step;
        bool up = false;
        if (k == 0) {
            const Unsigned128 half = Unsigned128{1} << (d - 1);
            up = vr > half || (vr == half && t % 2 == 1);
        } else {
            const std::uint64_t half = step / 2;
            up = below > half || (below == half && (vr != 0 || t % 2 == 1));
        }
        chosen = (t + (up ? 1 : 0)) * step;
        if (chosen < lo || chosen > hi) chosen = (t + (up ? 0 : 1)) * step;
        if (chosen < lo || chosen > hi) return false;
    }
    out.digits = chosen;
    out.exponent = -s;
    StripTrailingZeros(out);
    return true;
}

char* WriteDecimal(char* out, const CDecimal& d) {
    const int n = DigitCount(d.digits);
    const int point = n + d.exponent;  // digits before the point in fixed form
    const int exponent = point - 1;    // of the exponent form
    const int exponent_length = n + (n > 1 ? 1 : 0) + 2 + (std::abs(exponent) >= 100 ? 3 : 2);
    const int fixed_length = point >= n ? point : point > 0 ? n + 1 : n + 2 - point;
    char* end = out;
    if (fixed_length <= exponent_length) {
        if (point <= 0) {
            *end++ = '0';
            *end++ = '.';
            for (int i = 0; i < -point; ++i) *end++ = '0';
            end += n;
            WriteDigitsBefore(end, d.digits, n);
        } else if (point >= n) {
            end += n;
            WriteDigitsBefore(end, d.digits, n);
            for (int i = n; i < point; ++i) *end++ = '0';
        } else {
            const std::uint64_t whole = DividePow10(d.digits, n - point);
            end += point;
            WriteDigitsBefore(end, whole, point);
            *end++ = '.';
            end += n - point;
            WriteDigitsBefore(end, d.digits - whole * kPow10[n - point], n - point);
        }
    } else {
        const std::uint64_t first = DividePow10(d.digits, n - 1);
        *end++ = static_cast<char>('0' + first);
        if (n > 1) {
            *end++ = '.';
            end += n - 1;
            WriteDigitsBefore(end, d.digits - first * kPow10[n - 1], n - 1);
        }
        *end++ = 'e';
        *end++ = exponent < 0 ? '-' : '+';
        const int magnitude = std::abs(exponent);
        const int width = magnitude >= 100 ? 3 : 2;
        end += width;
        WriteDigitsBefore(end, static_cast<std::uint64_t>(magnitude), width);
    }
    return end;
}

}  // namespace

char* WriteShortestNumber(char* out, double value) {
    const double magnitude = std::fabs(value);
    CDecimal d;
    bool exact = false;
    if (magnitude < 9007199254740992.0 && magnitude == std::trunc(magnitude) && magnitude != 0) {
        // A whole number: its own digits.
        d.digits = static_cast<std::uint64_t>(magnitude);
        StripTrailingZeros(d);
        exact = true;
    } else if (std::isfinite(magnitude) && magnitude != 0) {
        exact = ShortestFraction(magnitude, d);
    }
    if (!exact) return std::to_chars(out, out + kMaxShortestNumber, value).ptr;
    if (std::signbit(value)) *out++ = '-';
    return WriteDecimal(out, d);
}

void AppendShortestNumber(std::string& out, double value) {
    char text[kMaxShortestNumber];
    out.append(text, WriteShortestNumber(text, value));
}

}  // namespace dravik

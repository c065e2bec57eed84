// Decimal digits of integers written straight to their place, for the
// number formatters of the value texts: no division chain per digit and no
// library call per number.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace dravik::digits {

__extension__ typedef unsigned __int128 Unsigned128;

inline constexpr std::uint64_t kPow10[20] = {1ull,
                                      10ull,
                                      100ull,
                                      1000ull,
                                      10000ull,
                                      100000ull,
                                      1000000ull,
                                      10000000ull,
                                      100000000ull,
                                      1000000000ull,
                                      10000000000ull,
                                      100000000000ull,
                                      1000000000000ull,
                                      10000000000000ull,
                                      100000000000000ull,
                                      1000000000000000ull,
                                      10000000000000000ull,
                                      100000000000000000ull,
                                      1000000000000000000ull,
                                      10000000000000000000ull};

inline constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// The digits of v (one for 0): floor(log10(v)) from the bit length
// (1233 / 4096 ~ log10(2)), then one comparison. v | 1 has as many digits as
// v, and one for 0.
inline int DigitCount(std::uint64_t v) noexcept {
    v |= 1;
    const int estimate = (static_cast<int>(std::bit_width(v)) * 1233) >> 12;
    return estimate + (v >= kPow10[estimate] ? 1 : 0);
}

// The eight decimal digits of v < 10^8, zero-filled, as the bytes of their
// text in memory order on a little-endian machine. The digits are worked out
// side by side in the lanes of one 64-bit word (two lanes of four digits, four
// of two, eight of one), so there is no chain of divisions one after another.
// 10486 / 2^20 and 103 / 2^10 divide by 100 and by 10 exactly in the ranges used.
inline std::uint64_t EightDigits(std::uint32_t v) noexcept {
    std::uint64_t x = (v / 10000) | (static_cast<std::uint64_t>(v % 10000) << 32);
    const std::uint64_t hundreds = ((x * 10486) >> 20) & 0x0000007F0000007Full;
    x = hundreds | ((x - hundreds * 100) << 16);
    const std::uint64_t tens = ((x * 103) >> 10) & 0x000F000F000F000Full;
    x = tens | ((x - tens * 10) << 8);
    return x + 0x3030303030303030ull;
}

// Writes the `count` lowest decimal digits of v, zero-filled on the left, so
// that they end just before `end`: eight at a time, then two at a time.
inline void WriteDigitsBefore(char* end, std::uint64_t v, int count) noexcept {
    if constexpr (std::endian::native == std::endian::little) {
        while (count >= 8) {
            const std::uint64_t text = EightDigits(static_cast<std::uint32_t>(v % 100000000));
            v /= 100000000;
            end -= 8;
            std::memcpy(end, &text, 8);
            count -= 8;
        }
    }
    while (count >= 2 && v > 0xFFFFFFFFu) {
        const auto pair = static_cast<std::size_t>(v % 100) * 2;
        v /= 100;
        end -= 2;
        std::memcpy(end, kDigitPairs + pair, 2);
        count -= 2;
    }
    auto w = static_cast<std::uint32_t>(v);
    while (count >= 2) {
        const auto pair = static_cast<std::size_t>(w % 100) * 2;
        w /= 100;
        end -= 2;
        std::memcpy(end, kDigitPairs + pair, 2);
        count -= 2;
    }
    if (count == 1) end[-1] = static_cast<char>('0' + w % 10);
}

}  // namespace dravik::digits

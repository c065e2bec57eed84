// Differential check of the fast floating-point formatter against the C library's
// printf formats: shared by dravik-format-diff (long runs) and the test suite (a
// short, fixed slice). Deterministic for a given seed.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cfloat>
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "instrument/value_format.h"

namespace dravik::format_diff {

struct Stats {
    std::uint64_t values = 0;
    std::uint64_t checks = 0;
    std::uint64_t mismatches = 0;
    // "%#g" texts of the C library that differ from the standard's definition
    std::uint64_t clib_general_defects = 0;
};

// The widths tried, one per value in turn: none, narrower than most texts, and wider.
inline constexpr std::array<int, 8> kWidths = {-1, 0, 1, 5, 10, 12, 20, 30};
inline constexpr int kMaxPrecision = 17;

// splitmix64: small, fast, and the same sequence on every platform.
class Random {
  public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint64_t Below(std::uint64_t n) { return Next() % n; }
    double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }

  private:
    std::uint64_t m_state;
};

inline double Pow10(int k) {
    static const auto table = [] {
        std::array<double, 41> t{};
        // Built from the exact decimal texts so that every entry is correctly rounded.
        for (int i = 0; i < 41; ++i) {
            const std::string text = "1e" + std::to_string(i - 20);
            std::from_chars(text.data(), text.data() + text.size(), t[static_cast<std::size_t>(i)]);
        }
        return t;
    }();
    return table[static_cast<std::size_t>(std::clamp(k, -20, 20) + 20)];
}

// Values chosen to hit what a formatter gets wrong: every bit pattern, rounding ties
// and near-ties at every decimal place, carries into a new digit, exact binary halves,
// integers around 2^53, subnormals and the special values.
class ValueSource {
  public:
    explicit ValueSource(std::uint64_t seed) : m_random(seed) {}

    double Next() {
        double v = 0.0;
        switch (m_random.Below(9)) {
            case 0:  // any bit pattern: NaNs, infinities, subnormals, huge and tiny values
                v = std::bit_cast<double>(m_random.Next());
                break;
            case 1:  // everyday magnitudes
                v = m_random.Unit() * Pow10(static_cast<int>(m_random.Below(31)) - 15);
                break;
            case 2: {  // x.xxx5 at some decimal place: a tie or a near-tie in decimal
                const int places = static_cast<int>(m_random.Below(18));
                const auto digits = static_cast<double>(m_random.Below(100000000));
                v = (digits * 10.0 + 5.0) / Pow10(places + 1);
                v = Nudge(v);
                break;
            }
            case 3: {  // 9.99...95 and the like: rounding carries into a new digit
                const int nines = 1 + static_cast<int>(m_random.Below(17));
                const int shift = static_cast<int>(m_random.Below(25)) - 5;
                v = (Pow10(nines) - 0.5) / Pow10(shift);
                v = Nudge(v);
                break;
            }
            case 4: {  // exact binary ties such as 0.5, 2.5, 0.125
                const auto odd = static_cast<double>(2 * m_random.Below(1 << 20) + 1);
                v = std::ldexp(odd, -1 - static_cast<int>(m_random.Below(30)));
                break;
            }
            case 5: {  // integers and powers around 2^53 and 2^64, and powers of ten
                const int power = 40 + static_cast<int>(m_random.Below(30));
                const auto delta = static_cast<double>(m_random.Below(9)) - 4.0;
                v = m_random.Below(2) ? std::ldexp(1.0, power) + delta * std::ldexp(1.0, power - 53)
                                      : Pow10(static_cast<int>(m_random.Below(41)) - 20);
                v = Nudge(v);
                break;
            }
            case 6:  // subnormals
                v = std::bit_cast<double>(m_random.Next() & 0x000FFFFFFFFFFFFFull);
                break;
            case 7:  // any exponent, more often the extremes
                v = std::ldexp(1.0 + m_random.Unit(),
                               static_cast<int>(m_random.Below(2100)) - 1075);
                break;
            default:
                v = kSpecial[m_random.Below(kSpecial.size())];
                break;
        }
        return m_random.Below(2) ? -v : v;
    }

  private:
    // The value itself or one or two steps of the double grid away.
    double Nudge(double v) {
        switch (m_random.Below(5)) {
            case 0:
                return std::nextafter(v, 0.0);
            case 1:
                return std::nextafter(v, INFINITY);
            case 2:
                return std::nextafter(std::nextafter(v, INFINITY), INFINITY);
            default:
                return v;
        }
    }

    static constexpr std::array<double, 24> kSpecial = {0.0,
                                                        INFINITY,
                                                        NAN,
                                                        DBL_MAX,
                                                        DBL_MIN,
                                                        DBL_TRUE_MIN,
                                                        1e300,
                                                        1e-300,
                                                        0.5,
                                                        1.5,
                                                        2.5,
                                                        9.9999999995,
                                                        99.5,
                                                        0.05,
                                                        1e16,
                                                        1e17,
                                                        1e21,
                                                        1e-5,
                                                        1e-4,
                                                        0.0001,
                                                        99999.95,
                                                        123456.0,
                                                        9007199254740993.0,
                                                        4503599627370495.5};

    Random m_random;
};

// The reference: the C library's formatter, called with literal formats.
inline int Reference(char* buf, std::size_t size, double v, int type, int width, int precision) {
    const char letter = type == 0 ? 'f' : type == 1 ? 'e' : 'g';
    const bool w = width >= 1;
    const bool p = precision >= 0;
    switch (letter) {
        case 'f':
            return w && p ? std::snprintf(buf, size, "%#*.*f", width, precision, v)
                   : w    ? std::snprintf(buf, size, "%#*f", width, v)
                   : p    ? std::snprintf(buf, size, "%#.*f", precision, v)
                          : std::snprintf(buf, size, "%#f", v);
        case 'e':
            return w && p ? std::snprintf(buf, size, "%#*.*e", width, precision, v)
                   : w    ? std::snprintf(buf, size, "%#*e", width, v)
                   : p    ? std::snprintf(buf, size, "%#.*e", precision, v)
                          : std::snprintf(buf, size, "%#e", v);
        default:
            return w && p ? std::snprintf(buf, size, "%#*.*g", width, precision, v)
                   : w    ? std::snprintf(buf, size, "%#*g", width, v)
                   : p    ? std::snprintf(buf, size, "%#.*g", precision, v)
                          : std::snprintf(buf, size, "%#g", v);
    }
}

// "%#g" as the C standard defines it, built from the "e" and "f" conversions: the
// exponent X of the "e" style with precision P - 1 selects "f" with precision
// P - 1 - X when -4 <= X < P. Some C libraries drop the trailing zeros of "%#g" when
// rounding carries into a new power of ten; this is the text that keeps them.
inline int StandardGeneral(char* buf, std::size_t size, double v, int width, int precision) {
    if (!std::isfinite(v)) return Reference(buf, size, v, 2, width, precision);
    const int p = precision < 0 ? 6 : precision == 0 ? 1 : precision;
    std::string e_text(static_cast<std::size_t>(p) + 32, '\0');
    std::snprintf(e_text.data(), e_text.size(), "%.*e", p - 1, v);
    const int x = std::atoi(std::strchr(e_text.c_str(), 'e') + 1);
    if (x >= -4 && x < p) return Reference(buf, size, v, 0, width, p - 1 - x);
    return Reference(buf, size, v, 1, width, p - 1);
}

// Checks one value in the three forms at every precision from "default" to 17, through
// the appending and the char-buffer forms. Mismatches are printed to report (if given)
// until max_reports have been printed.
inline void CheckValue(double v, int width, Stats& stats, std::FILE* report,
                       std::uint64_t max_reports) {
    static thread_local std::string fast;
    char expected[1024];
    char chars[1024];
    ++stats.values;
    for (int type = 0; type < 3; ++type) {
        for (int precision = -1; precision <= kMaxPrecision; ++precision) {
            const CSensorFormat fmt{type, 0, 0, width, precision};
            int n = Reference(expected, sizeof expected, v, type, width, precision);
            if (type == 2) {
                char standard[1024];
                const int k = StandardGeneral(standard, sizeof standard, v, width, precision);
                if (k != n || std::strcmp(standard, expected) != 0) {
                    ++stats.clib_general_defects;
                    std::memcpy(expected, standard, sizeof standard);
                    n = k;
                }
            }
            fast.clear();
            AppendDouble(fast, v, fmt);
            const int m = FormatDoubleChars(chars, sizeof chars, v, fmt);
            ++stats.checks;
            const bool same = n >= 0 && fast.size() == static_cast<std::size_t>(n) &&
                              std::memcmp(fast.data(), expected, fast.size()) == 0 && m == n &&
                              std::memcmp(chars, expected, static_cast<std::size_t>(n)) == 0;
            if (same) continue;
            if (report && stats.mismatches < max_reports) {
                std::fprintf(report,
                             "mismatch: bits %016" PRIx64
                             " type %d width %d precision %d: "
                             "expected \"%s\", got \"%s\" / \"%.*s\"\n",
                             std::bit_cast<std::uint64_t>(v), type, width, precision, expected,
                             fast.c_str(), m < 0 ? 0 : m, chars);
            }
            ++stats.mismatches;
        }
    }
}

inline Stats Run(std::uint64_t count, std::uint64_t seed, std::FILE* report,
                 std::uint64_t max_reports = 20) {
    Stats stats;
    ValueSource source(seed);
    for (std::uint64_t i = 0; i < count; ++i) {
        CheckValue(source.Next(), kWidths[i % kWidths.size()], stats, report, max_reports);
    }
    return stats;
}

}  // namespace dravik::format_diff

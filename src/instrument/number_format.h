// Floating-point numbers as the text of an output column.
//
// Every calibrated value of every row goes through these functions, so each has
// an appending form that writes into a caller-owned string: a string reused for a
// whole row grows once and then formats without allocating.
#pragma once

#include <algorithm>
#include <string>

#include "instrument/sensor_format.h"

namespace dravik {

// Width and precision beyond this are treated as this. The parameter dialog and the
// command line accept no more, but the registry hands over any integer, and a width of
// two billion would make every cell two gigabytes (or make the C formatter fail).
inline constexpr int kMaxFormatWidth = 32767;
inline constexpr int kMaxFormatPrecision = 32767;

// The format's width, capped.
constexpr int ClampedWidth(const CSensorFormat& fmt) noexcept {
    return std::min(fmt.width, kMaxFormatWidth);
}

// The text is exactly what the C formatter writes in the "C" locale for "%#*.*f",
// "%#*.*e" or "%#*.*g" (Double Type 0, 1, anything else), with the width only when
// it is 1 or more and the precision only when it is 0 or more: a decimal point is
// always written, "g" keeps its trailing zeros, the text is right-aligned with blanks.
// The text never depends on the program's locale.
//
// "g" follows the C standard's definition even where the C library of some systems
// does not: when rounding carries into a new power of ten in the "e" style (999999.7
// at six digits) that library drops the trailing zeros and writes "1.e+06" instead of
// "1.00000e+06".

// Appends the text of value to out.
void AppendDouble(std::string& out, double value, const CSensorFormat& fmt);
// Replaces out with the text of value.
void FormatDouble(std::string& out, double value, const CSensorFormat& fmt);
// Writes the text into [buf, buf + size) without a terminating zero and returns its
// length, or -1 when it does not fit (nothing useful is then in buf).
int FormatDoubleChars(char* buf, int size, double value, const CSensorFormat& fmt) noexcept;

}  // namespace dravik

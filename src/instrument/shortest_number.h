// Doubles in the shortest text that reads back to the same double: the
// fewest significant digits that round to it, the closest such number to it,
// written in fixed or exponent form, whichever is shorter (fixed on a tie).
// The text is exactly std::to_chars(first, last, value)'s; the values met in
// conversions (finite, 1e-5 and above, below 2^53) are worked out here with
// 128-bit integer arithmetic, several times faster than the library, and
// every other value is left to the library.
#pragma once

#include <string>

namespace dravik {

// The longest text written: a sign, 17 digits, a point and "e-308".
inline constexpr int kMaxShortestNumber = 25;

// Writes the text at `out`, which has room for kMaxShortestNumber
// characters, and returns the end of it.
char* WriteShortestNumber(char* out, double value);
void AppendShortestNumber(std::string& out, double value);

}  // namespace dravik

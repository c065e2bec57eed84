// Doubles in the shortest text that reads back to the same double: the
// fewest significant digits that round to it, the closest such number to it,
// written in fixed or exponent form, whichever is shorter (fixed on a tie),
// as std::to_chars writes them in the "C" locale.
#pragma once

namespace dravik {

// The longest text written: a sign, 17 digits, a point and "e-308".
inline constexpr int kMaxShortestNumber = 25;

// Writes the text at `out`, which has room for kMaxShortestNumber
// characters, and returns the end of it. The bytes of that room after the
// end may be overwritten.
char* WriteShortestNumber(char* out, double value) noexcept;

}  // namespace dravik

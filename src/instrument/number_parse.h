// Locale-independent reading of decimal numbers in instrument files and frames.
#pragma once

#include <cstddef>
#include <string_view>

namespace dravik {

// Reads a decimal floating-point number after optional white space and one
// optional sign; characters after the number are ignored. Returns the number
// of characters taken (0 when there is no number). Overflow gives an infinity
// and underflow a zero or subnormal, as the C library conversion does.
std::size_t ParseLeadingDouble(std::string_view text, double& value);

}  // namespace dravik

// The grammar of one line of an instrument file: what of a line counts, its
// words, and the forms of its parameters. Used by the instrument file loader.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dravik {

// What of a physical line is read: the line without a CR before its LF,
// without leading blanks and tabs, and without a "#" comment. Empty for a
// line to skip.
std::string_view LineContent(std::string_view line) noexcept;

// The next word of `rest` (up to a blank or tab), removed from `rest`
// together with the blanks and tabs that follow it.
std::string_view NextWord(std::string_view& rest) noexcept;

// An unsigned decimal parameter: digits only, below 4294967295 (that value,
// and everything that does not fit 32 bits, is refused).
bool ParseUnsigned(std::string_view text, std::uint32_t& value) noexcept;

// A units parameter: a word that begins with a single quote whose next single
// quote is its last character. The units are the text between the quotes.
bool ParseUnits(std::string_view word, std::string& units);

// A gain coefficient: the whole word is one finite decimal number.
bool ParseCoefficient(std::string_view word, double& value);

}  // namespace dravik

// Small text helpers shared by every layer. Keyword comparisons are ASCII
// only, so they never depend on the user's locale.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace dravik {

constexpr char AsciiUpper(char c) noexcept {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// White space as the C library's isspace sees it in the "C" locale.
constexpr bool IsCSpace(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The value of a hexadecimal digit (either case), or -1 for any other character.
constexpr int HexDigitValue(char c) noexcept {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// `text` with its ASCII capitals in lower case; every other byte as it was.
std::string AsciiLower(std::string_view text);

constexpr bool EqualsIgnoreCase(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    return true;
}

// The name part of a path: what follows its last "/" ("" for "dir/").
std::string NamePart(std::string_view path);

// `text` with each "\r\n" line end as "\n", for a terminal or a window.
std::string UnixLineEnds(std::string_view text);

// Appends `text` as UTF-8: what already is valid UTF-8 is copied, and every
// other byte is taken as the Latin-1 character of its value (instrument
// files and logs carry text in no declared encoding).
void AppendValidUtf8(std::string& out, std::string_view text);

// Fills each "%s" of a message with the next argument. Names and paths may be
// of any length, so no fixed-size formatting buffer is involved.
std::string FillMessage(std::string_view pattern, std::initializer_list<std::string_view> args);

}  // namespace dravik

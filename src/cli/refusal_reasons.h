// The line that follows a refused command line and says what was wrong: the
// argument that was not understood and why, with the option that was
// probably meant when a known one is close to it.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace dravik {

// The long options of dravik-convert, whatever the mode, and those taken
// only with --each.
extern const std::string_view kLongOptions[8];
extern const std::string_view kEachLongOptions[4];

// The name among `known` that `given` was probably meant to be: one or two
// letters away, or the start of exactly one of them. Empty when none is.
std::string ClosestName(std::string_view given, std::span<const std::string_view> known);

// `Unknown option "--verbos". Did you mean --verbose?` for a long option
// (one beginning with "--"); `each` when the --each options are taken.
std::string UnknownLongOption(std::string_view arg, bool each);

// Why the option parser refused `arg`, an argument beginning with "/" or "-".
std::string RefusedOptionReason(std::string_view arg, bool each);

// Why a single conversion's command line refused `arg`, after `file_names`
// file names and `options` options were accepted: an option that was not
// understood, a file name among the options, or a fourth file name.
std::string RefusedArgumentReason(std::string_view arg, int file_names, int options);

// What is missing when fewer than two file names were given.
std::string MissingFileNamesReason(int file_names);

}  // namespace dravik

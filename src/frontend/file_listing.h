// Directory listings for the file lists of the desktop program: the files of
// one working directory that match a wildcard filter, optionally with those of
// its subfolders, each with the size and modification time the lists sort by.
// Nothing here knows a window, so listings are tested (and benchmarked) alone.
#pragma once

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace dravik {

struct CListedFile {
    // Relative to the listed directory: "cast12.raw", or "2024/cast12.raw"
    // for a file found in a subfolder, so that the working directory followed
    // by the name always names the file.
    std::string name;
    std::uint64_t size = 0;
    std::int64_t modified_ns = 0;  // last modification, nanoseconds since the epoch
};

// True when a file name matches a wildcard filter ("*" any run, "?" one
// character, "[...]" a set). Letters match either case, so "*.cal" finds the
// "INST01.CAL" that instrument makers often ship. A filter ending in ".*" also
// matches a name without any dot: "*.*" lists every file.
bool MatchesFileFilter(std::string_view name, std::string_view filter);

// The regular files of `directory` (ending in "/") whose names match
// `filter`, in the order the directory gives them; with `recursive` the
// files of every subfolder follow those of their parent. Symbolic links to
// files are listed; subfolders are entered only when they are real
// directories never seen before in this listing, so a link or a mount that
// points back up the tree cannot make the listing endless. A directory that
// cannot be read contributes nothing: the list shows what can be seen.
// A listing asked to stop ends at the next name with what it has found so far.
std::vector<CListedFile> ListFiles(const std::string& directory, std::string_view filter,
                                   bool recursive, std::stop_token stop = {});

// A directory typed into a dialog, checked and made ready for the lists: the
// text must name an existing directory that can be listed. Returns the text
// with a trailing "/" appended when missing, or nothing when it is unusable.
std::optional<std::string> ValidDirectory(std::string_view text);

}  // namespace dravik

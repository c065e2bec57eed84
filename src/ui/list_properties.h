// CListProperties: what one file list shows and what is selected in it. The
// stored part (working directory, filter, sort, subfolders, selected file and
// the instrument package) is the list's settings section; the selection of
// several files lives only while the program runs.
#pragma once

#include <string>
#include <vector>

#include "settings/settings.h"

namespace dravik {

enum SortType : int { kSortName = 0, kSortDate = 1, kSortSize = 2 };
enum SortDirection : int { kSortAscending = 0, kSortDescending = 1 };

struct CListProperties : CFileListSettings {
    CListProperties(FileListKind kind, std::string startup_directory)
        : CFileListSettings(kind, std::move(startup_directory)) {}

    // With several files selectable: the names of every selected file, in
    // list order, and how many there are (0 while only one may be selected).
    std::vector<std::string> selected_names;
    int selected_count = 0;
};

}  // namespace dravik

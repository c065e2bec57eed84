// Instrument packages (".zpk"): ZIP archives that gather the instrument files
// of a deployment, with an entry "Properties.txt" (found by file name in any
// folder and letter case) that is never extracted.
//
// How the desktop program uses it. When a file with the extension "zpk" is
// dropped on the Instrument list, the list runs, on a thread of its own so
// that the window goes on answering,
//
//     const std::string dir = InstrumentPackageDirectory();
//     const std::string first = ExtractInstrumentPackage(messages, dropped_path, dir, stop);
//
// with a front end that keeps the messages, shows them once the call has
// returned, and then sets Use Working Directory := 0, Instrument Package
// File := dropped_path and File Selected := PackageEntryFileName(first)
// (empty when nothing was extracted), lists every file of `dir` and notifies
// the view, which takes `dir` + File Selected as the instrument file. A
// second package dropped meanwhile, or the window closing, stops the
// extraction under way (`stop`); a stopped extraction leaves the folder empty.
//
// A package comes from anywhere, so its entries are extracted flat under
// their file names into the program's own session folder (see
// package_directory.h) and nowhere else:
// - a name whose file name is empty, ".", "..", or holds a NUL or another
//   control character, an entry that is not a plain file (a symbolic link, a
//   folder, a device), an encrypted entry and one compressed otherwise than
//   stored or deflated are refused with the entry message;
// - files are created relative to the open session folder with O_NOFOLLOW |
//   O_CREAT | O_EXCL under a temporary name and renamed when complete and
//   their check sum verified, without replacing anything: a refused or
//   failed entry leaves no file behind, and no link is followed or made;
// - two entries with the same file name: the first extracted wins, each
//   later one gets the entry message;
// - bytes really inflated are counted, whatever sizes the archive claims: an
//   entry beyond 64 MiB is refused, and a package beyond 256 MiB in all is
//   refused as a whole (its files are removed); a package of more than 65535
//   entries is not opened.
#pragma once

#include <cstdint>
#include <stop_token>
#include <string>
#include <vector>

#include "packages/package_directory.h"
#include "conversion/front_end.h"

namespace dravik {

struct CPackageLimits {
    std::uint64_t entry_bytes = std::uint64_t{64} << 20;
    std::uint64_t package_bytes = std::uint64_t{256} << 20;
    std::uint64_t entries = 65535;
};

// One entry extracted, or one that would be.
struct CPackageEntry {
    std::string stored_name;  // as stored in the archive, folders included
    std::string file_name;    // the name of the extracted file
};

struct CPackageExtraction {
    bool opened = false;               // false: the package message was shown, or stopped
    bool stopped = false;              // stopped on request: nothing kept, no message
    std::vector<CPackageEntry> files;  // extracted, in entry order
    // Stored name of the first entry extracted; empty when none was.
    const std::string& FirstEntry() const;
};

// The file name an entry is extracted under: its stored name without any
// folder part ("/" or "\" separated).
std::string PackageEntryFileName(const std::string& stored_name);

// The desktop program's temporary directory for packages (ending in "/"),
// created on first use; empty when it cannot be created.
std::string InstrumentPackageDirectory();

// Empties `directory`, which must be InstrumentPackageDirectory(), extracts
// the package into it and returns the stored name of the first entry
// extracted (empty when none was, or when stopped).
std::string ExtractInstrumentPackage(CFrontEnd& front_end, const std::string& package_path,
                                     const std::string& directory, std::stop_token stop = {});

// Empties the session folder and extracts the package into it. Asked to stop
// (checked before each entry and each 64 KiB inflated), it empties the
// folder again and returns with nothing extracted and no message.
CPackageExtraction ExtractPackage(CFrontEnd& front_end, const std::string& package_path,
                                  CPackageDirectory& directory, const CPackageLimits& limits = {},
                                  std::stop_token stop = {});

// The entries an extraction would give, in entry order, without inflating
// anything (so a damaged entry is still listed). False when the package
// cannot be opened; then `problem`, when given, says why if that is known.
bool ListPackageEntries(const std::string& package_path, std::vector<CPackageEntry>& entries,
                        const CPackageLimits& limits = {}, std::string* problem = nullptr);

}  // namespace dravik

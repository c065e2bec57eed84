// An instrument package named as the instrument file of a one-off conversion
// ("LOG OUTPUT PACKAGE.zpk"), as the headless converter and the desktop
// program's batch run take it: the package is extracted into a private
// session folder, removed when the run ends, and one of its instrument files
// becomes the document's instrument file.
#pragma once

#include <memory>
#include <string>

#include "packages/package_directory.h"
#include "conversion/dravik_doc.h"
#include "conversion/front_end.h"

namespace dravik {

// True when `path` names an instrument package: its extension is "zpk" in
// any letter case.
bool IsPackagePath(const std::string& path);

// Extracts the package that is the document's instrument file into a new
// private folder (kept in `folder`, which must outlive the conversion) and
// makes the chosen entry's file the instrument file: the entry named `entry`
// (stored name or file name), or the first one extracted when `entry` is
// empty. False after a message through `front_end`.
bool UseInstrumentPackage(CDravikDoc& doc, CFrontEnd& front_end, const std::string& entry,
                          std::unique_ptr<CPackageDirectory>& folder);

}  // namespace dravik

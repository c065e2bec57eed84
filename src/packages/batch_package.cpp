#include "packages/batch_package.h"

#include <string_view>

#include "packages/instrument_package.h"
#include "platform/text.h"

namespace dravik {

bool IsPackagePath(const std::string& path) {
    return path.size() > 4 && EqualsIgnoreCase(std::string_view(path).substr(path.size() - 4), ".zpk");
}

bool UseInstrumentPackage(CDravikDoc& doc, CFrontEnd& front_end, const std::string& entry,
                          std::unique_ptr<CPackageDirectory>& folder) {
    const std::string package_path = doc.GetInstrumentFilePath();
    std::string error;
    folder = CPackageDirectory::Create(CPackageDirectory::EKind::kPrivate, error);
    if (!folder) {
        front_end.ShowMessage(error);
        return false;
    }
    const CPackageExtraction extraction = ExtractPackage(front_end, package_path, *folder);
    const CPackageEntry* chosen = nullptr;
    for (const CPackageEntry& e : extraction.files) {
        if (entry.empty() || e.stored_name == entry || e.file_name == entry) {
            chosen = &e;
            break;
        }
    }
    if (chosen == nullptr) {
        // A package that could not be opened has had its message already.
        if (extraction.opened && entry.empty()) {
            front_end.ShowMessage(FillMessage(
                "No instrument file was extracted from the Instrument Package file: %s",
                {package_path}));
        } else if (extraction.opened) {
            front_end.ShowMessage(FillMessage(
                "No instrument file %s was extracted from the Instrument Package file: %s",
                {entry, package_path}));
        }
        return false;
    }
    doc.SetInstrumentFilePath(folder->GetPath() + chosen->file_name);
    return true;
}

}  // namespace dravik

// Instrument package extraction on any bytes given as a package: refused or
// extracted, it must never crash, leak, write outside its session folder or
// leave a partial file behind.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "packages/instrument_package.h"
#include "packages/package_directory.h"
#include "fuzz_support.h"
#include "conversion/recording_front_end.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace dravik;
    static const std::string package = fuzz::WriteScratch("package.zpk", "");
    static std::unique_ptr<CPackageDirectory> directory = [] {
        std::string error;
        auto dir = CPackageDirectory::Create(CPackageDirectory::EKind::kPrivate, error,
                                             (fuzz::ScratchDir() / "packages").string() + "/");
        if (!dir) __builtin_trap();
        return dir;
    }();
    fuzz::WriteScratch("package.zpk", fuzz::AsText(data, size));

    CRecordingFrontEnd front_end;
    const CPackageExtraction extraction = ExtractPackage(front_end, package, *directory);
    // Every file reported as extracted is in the session folder under its
    // plain name, and nothing else is.
    std::size_t found = 0;
    for (const auto& entry : fuzz::fs::directory_iterator(directory->GetPath())) {
        (void)entry;
        ++found;
    }
    if (found != extraction.files.size()) __builtin_trap();
    for (const CPackageEntry& file : extraction.files) {
        if (file.file_name != PackageEntryFileName(file.stored_name)) __builtin_trap();
        if (!fuzz::fs::is_regular_file(directory->GetPath() + file.file_name)) __builtin_trap();
    }
    std::vector<CPackageEntry> listed;
    (void)ListPackageEntries(package, listed);
    return 0;
}

// dravik-package: builds an instrument package (.zpk) from instrument files.
//
//   dravik-package [--force] [--properties FILE] PACKAGE.zpk INSTRUMENT...
//
// Each instrument file is stored deflated under its file name alone, in the
// order given, so the first one is the one a conversion uses by default. The
// package's "Properties.txt" is FILE, or else a short text naming the files
// (the converter never reads it). An existing package is replaced only with
// --force. Every instrument file is read and checked before the package is
// touched: a missing file, or a file that defines no instrument (a log given
// by mistake), leaves no package behind.
#include <zip.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "frontend/exit_status.h"
#include "instrument/instrument.h"
#include "packages/instrument_package.h"
#include "platform/text.h"

#ifndef DRAVIK_VERSION
#define DRAVIK_VERSION "0.0.0"
#endif

namespace {

constexpr const char* kUsage =
    "Usage: dravik-package [--force] [--properties FILE] PACKAGE.zpk INSTRUMENT...\n"
    "\n"
    "Builds the instrument package PACKAGE.zpk from the instrument files given\n"
    "(calibration files .cal, telemetry definition files .tdf), each stored under\n"
    "its file name, with a \"Properties.txt\" entry: FILE, or a list of the files.\n"
    "An existing package is replaced only with --force.\n"
    "\n"
    "  --force            replace an existing PACKAGE.zpk\n"
    "  --properties FILE  the package's Properties.txt entry\n"
    "  --help             this text\n"
    "  --version          the version of the program\n"
    "\n"
    "Exit status: 0 written, 1 failed, 2 invalid command line.\n";

int Fail(zip_t* archive, const std::string& what) {
    std::fprintf(stderr, "%s: %s\n", what.c_str(), zip_strerror(archive));
    zip_discard(archive);
    return dravik::kExitFailed;
}

// Why `path` cannot be read, in the system's words, or an empty text.
std::string ReadProblem(const std::string& path) {
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) return std::strerror(errno != 0 ? errno : ENOENT);
    in.peek();
    if (in.bad() || (!in && errno != 0)) return std::strerror(errno != 0 ? errno : EIO);
    return {};
}

// The problem with one instrument file, or an empty text: it must be a file
// that can be read and that defines an instrument.
std::string InstrumentFileProblem(const std::string& file) {
    std::string problem = ReadProblem(file);
    if (!problem.empty()) return problem;
    dravik::CInstrument instrument;
    instrument.Load(file);
    if (instrument.GetHeader().empty()) {
        return "not an instrument file (it has no INSTRUMENT line); give calibration files "
               "(.cal) or telemetry definition files (.tdf)";
    }
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    bool force = false;
    std::string properties_file;
    std::vector<std::string> names;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return dravik::kExitComplete;
        }
        if (arg == "--version") {
            std::printf("dravik-package %s\n", DRAVIK_VERSION);
            return dravik::kExitComplete;
        }
        if (arg == "--force") {
            force = true;
        } else if (arg == "--properties" && i + 1 < argc) {
            properties_file = argv[++i];
        } else if (arg.rfind("--", 0) == 0) {
            std::fputs(kUsage, stderr);
            return dravik::kExitInvalidCommandLine;
        } else {
            names.push_back(arg);
        }
    }
    if (names.size() < 2) {
        std::fputs(kUsage, stderr);
        return dravik::kExitInvalidCommandLine;
    }
    const std::string package = names.front();
    const std::vector<std::string> files(names.begin() + 1, names.end());

    // The package holds its files flat: two of the same file name would
    // leave the second one unused.
    std::set<std::string> stored;
    std::string listing = "Instrument files:\r\n";
    for (const std::string& file : files) {
        const std::string name = dravik::PackageEntryFileName(file);
        if (!stored.insert(name).second || dravik::EqualsIgnoreCase(name, "Properties.txt")) {
            std::fprintf(stderr, "%s: a second file named %s\n", file.c_str(), name.c_str());
            return dravik::kExitInvalidCommandLine;
        }
        listing += name + "\r\n";
    }
    for (const std::string& file : files) {
        const std::string problem = InstrumentFileProblem(file);
        if (!problem.empty()) {
            std::fprintf(stderr, "%s: %s\n", file.c_str(), problem.c_str());
            return dravik::kExitFailed;
        }
    }
    if (!properties_file.empty()) {
        const std::string problem = ReadProblem(properties_file);
        if (!problem.empty()) {
            std::fprintf(stderr, "%s: %s\n", properties_file.c_str(), problem.c_str());
            return dravik::kExitFailed;
        }
    }

    int error = 0;
    zip_t* archive =
        zip_open(package.c_str(), ZIP_CREATE | (force ? ZIP_TRUNCATE : ZIP_EXCL), &error);
    if (archive == nullptr) {
        zip_error_t e;
        zip_error_init_with_code(&e, error);
        std::fprintf(stderr, "%s: %s\n", package.c_str(), zip_error_strerror(&e));
        zip_error_fini(&e);
        return dravik::kExitFailed;
    }
    zip_source_t* properties = properties_file.empty()
                                   ? zip_source_buffer(archive, listing.data(), listing.size(), 0)
                                   : zip_source_file(archive, properties_file.c_str(), 0, -1);
    if (properties == nullptr) return Fail(archive, properties_file);
    if (zip_file_add(archive, "Properties.txt", properties, ZIP_FL_ENC_UTF_8) < 0) {
        zip_source_free(properties);
        return Fail(archive, "Properties.txt");
    }
    for (const std::string& file : files) {
        zip_source_t* source = zip_source_file(archive, file.c_str(), 0, -1);
        if (source == nullptr) return Fail(archive, file);
        const zip_int64_t index = zip_file_add(archive, dravik::PackageEntryFileName(file).c_str(),
                                               source, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(source);
            return Fail(archive, file);
        }
        zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 9);
    }
    // The files are read, and the package written under a temporary name and
    // renamed, only now.
    if (zip_close(archive) != 0) return Fail(archive, package);
    return dravik::kExitComplete;
}

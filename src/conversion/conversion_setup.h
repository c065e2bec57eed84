// What a conversion is set up with: the names of its files, the instrument
// the control knows it by, and the begin text of its conversion log record.
// The steps of the set-up itself (opening the log file, the file resource,
// the instrument, the check sensors) are the document's PrepareConversion.
#pragma once

#include <cstdint>
#include <string>

#include "platform/log_source.h"

namespace dravik {

class CDravikParameters;

// The three files of a conversion as the caller names them.
struct CConversionPaths {
    std::string log, output;
    std::string instrument;  // empty: a header conversion
};

// What PrepareConversion found out, for the conversion in progress.
struct CPreparedConversion {
    // Name parts (the text after the last "/") for the headings and the
    // progress display; full paths to open the files and in messages ("-",
    // standard input or output, is "standard input" or "standard output").
    std::string log_name, instrument_name;
    std::string log_full, output_full, instrument_full;
    bool header_conversion = false;
    std::string instrument_header;  // how the control knows the instrument
    std::string resource_name;      // how it knows the log file
    std::uint64_t log_file_length = 0;
    bool log_length_known = true;   // not for a stream or a compressed log
    int frame_counter_sensor = -1;  // sensor indexes of the checks; -1: not checked
    int check_sum_sensor = -1;
};

inline constexpr const char* kHeaderDefinitionFile = "oxahdr1.tdf";

// The names of a conversion of `paths`. Relative paths are taken against the
// directory the program started in; "-" stands for standard input (the log)
// or standard output (the output); a header conversion takes the header
// definition from the program's own directory (ending with "/"), whatever
// the current directory is.
CPreparedConversion NameConversion(const CConversionPaths& paths,
                                   const std::string& startup_directory,
                                   const std::string& program_directory);

// The first text of a conversion's record in the conversion log: the files
// and the options in force, ended by CR LF.
std::string BeginText(const CPreparedConversion& names, const CDravikParameters& params);

// A path made absolute against `directory` (empty stays empty).
std::string FullPath(const std::string& path, const std::string& directory);

// The path to open for a file the caller named `given`: "-" as it is (the
// standard stream), anything else its full path.
inline const std::string& PathToOpen(const std::string& given, const std::string& full) {
    return IsStandardStream(given) ? given : full;
}

}  // namespace dravik

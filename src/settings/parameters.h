// The conversion parameter set: how a log file becomes an output file. The
// conversion parameters dialog and the command line edit it; the conversion
// engine and the value formatter read it. Fields are named after their
// settings keys ("Delimiter", "Apply Fit", ...).
#pragma once

#include <string>
#include <string_view>

#include "instrument/sensor_format.h"

namespace dravik {

class CSettingsStore;

// Section of the settings store holding the parameter set.
inline constexpr std::string_view kParametersSection = "Parameters";

// True when a command-line argument is an option: it begins with "/" or "-".
// An argument beginning with "/" whose next "/" comes before any "=" is an
// absolute path and so a file name ("/data/cast1.raw"), while
// "/cl=/data/run.log" stays an option. An empty argument is neither.
bool IsOptionArgument(std::string_view arg);

class CDravikParameters {
  public:
    // Ranges accepted on the command line.
    static constexpr int kMinBuffer = 1024;
    static constexpr int kMaxBuffer = 65535;
    static constexpr int kMaxOptionValue = 32766;  // limit, depth, width, precision

    std::string delimiter = "\t";    // "Delimiter": any non-empty text
    int immersed = 0;                // "Immersed": immersion coefficients (with apply_fit)
    int time_tags = 0;               // "Time Tags": each frame's time tag as trailing columns
    int time_tags_formatted = 0;     // "Time Tags Formatted"
    int suppress_strings = 0;        // "Suppress Strings": blank cells for non-numerical values
    int show_extra = 0;              // "Show Extra": extra heading lines and a frame index column
    int check_sum_checking = 0;      // "Check Sum Checking"
    int frame_counter_checking = 0;  // "Frame Counter Checking"
    int buffer = 8192;               // "Buffer": file buffer size in bytes
    int process_limit = -1;          // "Process Limit": most frames converted; <= 0 no limit
    int process_depth = 1;           // "Process Depth": one frame in every N; <= 1 every frame
    CSensorFormat format;  // "Double Type", "Apply Fit", "Hex Format", "Width", "Precision"
    int output_format = 0;  // "Output Format": 0 text table, 1 CSV, 2 NetCDF (output_format.h)

    // Command-line-only values: they live for one run and are never stored.
    int has_overwrite_option = 0;
    int has_end_window_option = 0;
    int has_conversion_log_option = 0;
    int overwrite_option_prompt = 0;    // as an "Overwrite Prompt" setting: 1 for "no", 0 for "yes"
    int end_window_option_dismiss = 0;  // as a "Dismiss Progress" setting: 1 for "yes", 0 for "no"
    std::string conversion_log_option_file;
    int options_parsed = 0;  // options accepted so far, for the "Parameters parsed" count
    // The command line of the run, for the outputs that keep a history of how
    // they were made.
    std::string command_line;

    // Loads the "Parameters" section over the current values (a missing key,
    // a stored -1 and an empty or "-1" delimiter keep the value in memory).
    void ReadParameters(const CSettingsStore& store);
    // Stores every settings-backed field in the "Parameters" section; the
    // command-line-only values are never stored.
    void WriteParameters(CSettingsStore& store) const;

    // Applies one command-line option ("/c", "-dt", "/l100-5", "/ow=yes", ...).
    // Returns whether it was accepted; on success options_parsed goes up by
    // one. A refused option leaves every field as it was.
    bool ParseOption(std::string_view option);
};

}  // namespace dravik

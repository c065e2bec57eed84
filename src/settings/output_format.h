// The kinds of output file a conversion writes: the delimited text table,
// a CSV table or a NetCDF file. Stored as a number under the "Output Format"
// key of the "Parameters" section; a missing key means the text table.
#pragma once

#include <optional>
#include <string_view>

namespace dravik {

enum EOutputFormat : int {
    kOutputText = 0,    // the delimited text table
    kOutputCsv = 1,     // RFC 4180 CSV, UTF-8
    kOutputNetcdf = 2,  // NetCDF-4 following the CF conventions
};

// "text", "csv" or "netcdf" (in any case); nothing for another name.
std::optional<EOutputFormat> OutputFormatFromName(std::string_view name);
// The format a stored number stands for: one it does not know is the text
// table, so a setting written by a later version never stops a conversion.
EOutputFormat OutputFormatOf(int stored) noexcept;
// "text", "csv", "netcdf".
const char* OutputFormatName(EOutputFormat format) noexcept;
// The extension output files of the format usually carry, without the dot:
// "dat", "csv", "nc".
const char* OutputFormatExtension(EOutputFormat format) noexcept;

}  // namespace dravik

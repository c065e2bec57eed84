// The report a run of dravik-convert leaves for pipelines (--report
// FILE.json): one record per conversion with its files, how it ended, its
// counts and the time it took, in JSON.
//
//   {"program": "dravik-convert", "version": "0.1.0", "conversions": [
//     {"log": "cast1.raw", "instrument": "spr0117.cal", "package": null,
//      "output": "cast1.dat", "outcome": "complete", "complete": true,
//      "frames": 40, "resynchronizations": 0, "frame_counter_errors": null,
//      "check_sum_errors": null, "bytes_read": 5480, "seconds": 0.012}]}
#pragma once

#include <string>
#include <vector>

#include "cli/each_table.h"

namespace dravik {

struct CReportRecord {
    std::string log;
    std::string instrument;  // empty: a header conversion
    std::string package;     // the package the instrument file came from, or empty
    std::string output;      // empty: no output could be named
    CEachResult result;
};

// The report as JSON text, ending in a line end. Names that are not UTF-8
// keep every byte: a byte that is not part of a UTF-8 character is written
// as the escape \udcXX (Python's json and os.fsencode give the byte back).
std::string FormatRunReport(const std::vector<CReportRecord>& records);

// Writes `records` into `path`; the message that says why it could not be
// written, or an empty text.
std::string WriteRunReport(const std::string& path, const std::vector<CReportRecord>& records);

// The message that refuses a report file that is one of `files` (under any
// name, or a name it will have), or an empty text.
std::string ReportFileClash(const std::string& report, const std::vector<std::string>& files);

}  // namespace dravik

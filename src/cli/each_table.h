// The table that ends a run of dravik-convert --each on standard output: one
// row per conversion in run order with its log, instrument and output, its
// frames, resynchronizations, frame counter and check sum errors, and how it
// ended.
#pragma once

#include <string>
#include <vector>

#include "conversion/dravik_doc.h"

namespace dravik {

class CRunPlan;

// What one conversion of the run came to.
struct CEachResult {
    bool started = false;
    EConversionOutcome outcome = EConversionOutcome::kFailed;
    CConversionStatus status;
    bool counter_sensor = false;    // the frame counter errors were counted
    bool check_sum_sensor = false;  // the check sum errors were counted
    double seconds = 0;             // taken by the conversion
};

// How a conversion ended, in the table's words ("complete", "failed: not
// found", "skipped: output exists", ...); `named` when it had an output name.
const char* OutcomeText(const CEachResult& result, bool named);
// The conversion ran, so its counts mean something.
bool HasCounts(const CEachResult& result, bool named);

// A conversion that wrote its whole output.
bool IsComplete(const CRunPlan& plan, const std::vector<CEachResult>& results, std::size_t index);

// The table, each line ending in "\n".
std::string FormatEachTable(const CRunPlan& plan, const std::vector<CEachResult>& results);

}  // namespace dravik

// How a conversion ended, decided in one place, and what the user is told
// about it: the status text and percentage of the progress display and the
// summary that closes the conversion's record in the conversion log.
#pragma once

#include <string>

#include "conversion/front_end.h"

namespace dravik {

// How a conversion ended. Scripts see it as the exit status: complete is
// success, every other outcome is not.
enum class EConversionOutcome {
    kComplete,  // every frame up to the end of the data (or the limit) converted
    kSkipped,   // the user chose not to overwrite this output file in a run of several
    kAborted,   // cancelled by the user, or the overwrite question refused
    kFailed,    // setup failure, instrument not found, buffer overrun, read or write error
};

// Why the frames stopped, as the data and the files show it.
enum class EEndReason {
    kComplete,       // the end of the data (or the limit) was reached
    kNotFound,       // no frame of the instrument was written
    kBufferOverrun,  // the data ended after at least a buffer of unmatched bytes
    kAborted,        // a read or write error, a cancel, an end before the data ended
};

struct CConversionEnd {
    EEndReason reason = EEndReason::kAborted;
    // The user cancelled, or the conversion ended before it started: the
    // summary says only that it was aborted.
    bool cancelled = false;

    bool IsComplete() const noexcept { return reason == EEndReason::kComplete && !cancelled; }
};

// The reason for a conversion with this status; `failed` is a failure that
// the status does not show (the output's last write, the clean-up).
EEndReason DecideEndReason(const CConversionStatus& status, bool failed);

// The outcome; `output_failed` when the output could not be opened or written.
EConversionOutcome DecideOutcome(const CConversionEnd& end, bool output_failed);

// The refresh of the progress display. `finished` when the conversion stops
// (the frame loop is done, or the user cancelled); `end` is how it ended, or
// how it would end now.
CProgressReport ReportProgress(const CConversionStatus& status, const CConversionEnd& end,
                               bool finished, const CProgressSetup& setup);

// The summary: the end's text, then, when a frame was handled, the counts
// (the error counts only of the checks that had a sensor).
std::string SummaryText(const CConversionEnd& end, const CConversionStatus& status,
                        const std::string& instrument_header, bool frame_counter_checked,
                        bool check_sum_checked);

}  // namespace dravik

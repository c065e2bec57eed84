#include "conversion/conversion_report.h"

#include <algorithm>

namespace dravik {

EEndReason DecideEndReason(const CConversionStatus& s, bool failed) {
    if (s.not_found) return EEndReason::kNotFound;
    if (s.buffer_overrun) return EEndReason::kBufferOverrun;
    if (failed || s.aborted || !s.end_of_data) return EEndReason::kAborted;
    return EEndReason::kComplete;
}

EConversionOutcome DecideOutcome(const CConversionEnd& end, bool output_failed) {
    if (end.cancelled) return output_failed ? EConversionOutcome::kFailed : EConversionOutcome::kAborted;
    return end.reason == EEndReason::kComplete ? EConversionOutcome::kComplete
                                               : EConversionOutcome::kFailed;
}

CProgressReport ReportProgress(const CConversionStatus& status, const CConversionEnd& end,
                               bool finished, const CProgressSetup& setup) {
    CProgressReport report;
    report.status = status;
    const std::string& name = setup.conversion_name;
    if (!finished) {
        report.status_text = status.not_found ? "Beginning " + name + " conversion..."
                                              : name + " conversion in progress...";
    } else if (end.IsComplete()) {
        report.status_text = "Conversion complete.";
    } else if (end.reason == EEndReason::kNotFound) {
        report.status_text = "Conversion aborted.\r\n" + name + " not found.";
    } else if (end.reason == EEndReason::kBufferOverrun) {
        report.status_text = "Conversion aborted.\r\nFile buffer overrun.";
    } else {
        report.status_text = "Conversion aborted.";
    }
    // Progress through the frames up to the limit, or through the log.
    double range, position;
    if (setup.process_limit >= 1 && !setup.header_conversion) {
        range = setup.process_limit;
        position = status.frames_processed;
    } else if (!setup.log_length_known) {
        // A stream tells its length only at its end: no share of it is known
        // before, only the bytes read.
        range = 1.0;
        position = 0.0;
    } else {
        range = setup.log_file_length == 0 ? 1.0 : static_cast<double>(setup.log_file_length);
        position = static_cast<double>(status.bytes_consumed);
    }
    if (finished && end.IsComplete()) position = range;
    report.percent = static_cast<int>(std::min(100.0, position / range * 100.0 + 0.5));
    return report;
}

std::string SummaryText(const CConversionEnd& end, const CConversionStatus& s,
                        const std::string& instrument_header, bool frame_counter_checked,
                        bool check_sum_checked) {
    std::string text;
    if (end.cancelled || end.reason == EEndReason::kAborted) {
        text = "Conversion aborted.\r\n";
    } else if (end.reason == EEndReason::kNotFound) {
        text = "Conversion aborted.\r\n\t" + instrument_header + " not found.\r\n";
    } else if (end.reason == EEndReason::kBufferOverrun) {
        text = "Conversion aborted.\r\n\tFile buffer overrun.\r\n";
    } else {
        text = "Conversion complete.\r\n";
    }
    if (s.frames_processed == 0) return text;
    text += "\tFrames processed: " + std::to_string(s.frames_processed) +
            "\r\n\tResynchronizations required: " + std::to_string(s.resynchronizations) + "\r\n";
    if (frame_counter_checked) {
        text += "\tFrame counter errors: " + std::to_string(s.frame_counter_errors) + "\r\n";
    }
    if (check_sum_checked) {
        text += "\tCheck sum errors: " + std::to_string(s.check_sum_errors) + "\r\n";
    }
    return text;
}

}  // namespace dravik

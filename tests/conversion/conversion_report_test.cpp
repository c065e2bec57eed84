// How a conversion ended: one decision, told three ways (the progress
// display's status text, the summary, the outcome scripts see).
#include "conversion/conversion_report.h"

#include <gtest/gtest.h>

namespace dravik {
namespace {

TEST(ConversionReport, OneEndToldThreeWays) {
    auto status = [](int not_found, int aborted, int overrun, int end_of_data) {
        CConversionStatus s;
        s.frames_processed = 12;
        s.check_sum_errors = 3;
        s.not_found = not_found;
        s.aborted = aborted;
        s.buffer_overrun = overrun;
        s.end_of_data = end_of_data;
        s.done = 1;
        return s;
    };
    struct Case {
        const char* name;
        CConversionStatus status;
        bool cancelled;
        bool failed;  // the output's last write or the clean-up failed
        const char* display;
        const char* summary;
        EConversionOutcome outcome;
    } cases[] = {
        {"complete", status(0, 0, 0, 1), false, false, "Conversion complete.",
         "Conversion complete.\r\n", EConversionOutcome::kComplete},
        {"data not ended", status(0, 0, 0, 0), false, false, "Conversion aborted.",
         "Conversion aborted.\r\n", EConversionOutcome::kFailed},
        {"last write failed", status(0, 0, 0, 1), false, true, "Conversion aborted.",
         "Conversion aborted.\r\n", EConversionOutcome::kFailed},
        {"not found", status(1, 1, 1, 1), false, false, "Conversion aborted.\r\nSPR not found.",
         "Conversion aborted.\r\n\tSPR not found.\r\n", EConversionOutcome::kFailed},
        {"overrun", status(0, 0, 1, 1), false, false, "Conversion aborted.\r\nFile buffer overrun.",
         "Conversion aborted.\r\n\tFile buffer overrun.\r\n", EConversionOutcome::kFailed},
        // A cancel: the summary only says aborted, the display what it saw.
        {"cancelled", status(0, 1, 0, 1), true, false, "Conversion aborted.",
         "Conversion aborted.\r\n", EConversionOutcome::kAborted},
        {"cancelled before a frame", status(1, 1, 0, 0), true, false,
         "Conversion aborted.\r\nSPR not found.", "Conversion aborted.\r\n",
         EConversionOutcome::kAborted},
        {"cancelled at the end", status(0, 0, 0, 1), true, false, "Conversion aborted.",
         "Conversion aborted.\r\n", EConversionOutcome::kAborted},
    };
    CProgressSetup setup;
    setup.conversion_name = "SPR";
    setup.log_file_length = 1000;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CConversionEnd end{DecideEndReason(c.status, c.failed), c.cancelled};
        const CProgressReport report = ReportProgress(c.status, end, true, setup);
        EXPECT_EQ(report.status_text, c.display);
        EXPECT_EQ(report.percent, end.IsComplete() ? 100 : 0);
        EXPECT_EQ(SummaryText(end, c.status, "SPR", false, true),
                  std::string(c.summary) +
                      "\tFrames processed: 12\r\n\tResynchronizations required: 0\r\n"
                      "\tCheck sum errors: 3\r\n");
        EXPECT_EQ(DecideOutcome(end, false), c.outcome);
    }
    // An output that could not be written makes a cancelled conversion failed.
    EXPECT_EQ(DecideOutcome({EEndReason::kAborted, true}, true), EConversionOutcome::kFailed);

    // While it runs: the frames up to the limit, or the bytes of the log.
    CConversionStatus running;
    running.bytes_consumed = 250;
    running.frames_processed = 3;
    const CConversionEnd unknown{};
    EXPECT_EQ(ReportProgress(running, unknown, false, setup).status_text,
              "Beginning SPR conversion...");
    EXPECT_EQ(ReportProgress(running, unknown, false, setup).percent, 25);
    running.not_found = 0;
    setup.process_limit = 4;
    EXPECT_EQ(ReportProgress(running, unknown, false, setup).status_text,
              "SPR conversion in progress...");
    EXPECT_EQ(ReportProgress(running, unknown, false, setup).percent, 75);
    // A stream's length is known only at its end: no share of it before.
    setup.process_limit = 0;
    setup.log_length_known = false;
    EXPECT_EQ(ReportProgress(running, unknown, false, setup).percent, 0);
    running.end_of_data = 1;
    running.done = 1;
    EXPECT_EQ(ReportProgress(running, {EEndReason::kComplete, false}, true, setup).percent, 100);
}

}  // namespace
}  // namespace dravik

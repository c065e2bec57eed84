// The interface through which the conversion engine talks to a person. The
// engine never prints and never opens a window: a front end (the headless
// converter, the desktop program, a test) implements this and decides how a
// message, a question or the progress of a conversion is shown.
//
// Every call is made on the thread that drives the conversion (the one that
// calls PrepareConversion, StartConversion, EndConversion or RunConversion).
// Messages that arise on the telemetry processing thread are held by the
// document and shown from the driving thread, so a front end needs no locking
// of its own and a modal window can never block the frame loop.
#pragma once

#include <cstdint>
#include <string>

namespace dravik {

// Answers of the overwrite question for an existing output file.
enum class EOverwriteAnswer { kYes, kYesToAll, kNo, kCancel };

// What the progress display shows for one conversion; sent once when the
// conversion has been set up (and again for each conversion of a run).
struct CProgressSetup {
    std::string conversion_name;        // instrument header (header definition's for a header run)
    std::string log_file_name;          // name part of the log file
    std::uint64_t log_file_length = 0;  // bytes
    bool log_length_known = true;       // false: a stream or a compressed log, read to its end
    std::string instrument_file_name;   // name part; empty for a header conversion
    bool header_conversion = false;
    int process_limit = -1;             // frames; 0 or less: no limit
    int process_depth = 1;              // one frame in every N is written
    bool frame_counter_sensor = false;  // the frame counter error count is meaningful
    bool check_sum_sensor = false;      // the check sum error count is meaningful
    int run_total = 0;                  // conversions in this run (0: a single conversion)
    int run_current = 0;                // 1-based number of this conversion in the run
};

// The document's ten-value status snapshot, in the order the document keeps it.
struct CConversionStatus {
    unsigned frame_counter_errors = 0;
    unsigned check_sum_errors = 0;
    unsigned frames_processed = 0;
    std::uint64_t bytes_consumed = 0;
    unsigned resynchronizations = 0;
    int not_found = 1;
    int aborted = 0;
    int buffer_overrun = 0;
    int end_of_data = 0;
    int done = 0;
};

// One refresh of the progress display.
struct CProgressReport {
    CConversionStatus status;
    int percent = 0;          // 0..100 of the frames limit, or of the log file bytes
                              // (0 until the end when the log's length is not known)
    std::string status_text;  // "Beginning %s conversion...", "Conversion complete.", ...
};

// A message held for the driving thread to show, with its detail (see
// CFrontEnd::ShowDetail), which may be empty.
struct CNotice {
    std::string text;
    std::string detail;
};

class CFrontEnd {
  public:
    virtual ~CFrontEnd() = default;

    // A warning (exclamation icon) with an OK button. Texts may hold "\r\n".
    virtual void ShowMessage(const std::string& text) = 0;
    // What the system said about the failure the message just shown
    // reports ("No such file or directory."): a line that a terminal prints
    // after the message. A window, whose message boxes keep their texts,
    // leaves it out.
    virtual void ShowDetail(const std::string& /*text*/) {}
    // A warning with Yes and No buttons; true for Yes.
    virtual bool AskYesNo(const std::string& text) = 0;
    // The overwrite question: Yes, Yes to All (offered only when
    // `yes_to_all_enabled`), No and Cancel.
    virtual EOverwriteAnswer AskOverwrite(const std::string& text, bool yes_to_all_enabled) = 0;

    // Creates the progress display; false when it cannot be created.
    virtual bool CreateProgress() = 0;
    // (Re)initialises the display for the conversion about to start.
    virtual void InitProgress(const CProgressSetup& setup) = 0;
    // A refresh, about every 100 ms while a conversion runs and once at its
    // end. Returning false asks for the conversion to be cancelled.
    virtual bool RefreshProgress(const CProgressReport& report) = 0;
    // Closes the progress display at the end of a run.
    virtual void CloseProgress() = 0;
};

}  // namespace dravik

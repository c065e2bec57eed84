// Where a conversion's values go. The conversion hands its output the
// columns once, then every frame it converts, then its end; how the values
// are written (the delimited text table, or another format) is the output's
// business alone, so another format is another class, not a change to the
// frame loop.
//
// Calling order, one conversion per output object:
//   Open                  driving thread, after the overwrite question
//   WriteHeadings         driving thread, once, when Open succeeded
//   WriteFrame            processing thread, under the document lock, once
//   or WriteHeaderRecord  per converted frame (a header conversion's records)
//   Finish                driving thread, at the end step, whenever Open was
//                         called (also after a failure)
// The calls never overlap, and nothing is called per value. Destroying an
// output that was not finished abandons it: a format that writes under a
// temporary name (OUT.part) removes that file, and one finished with
// `complete` clear need not give the file its name either.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "conversion/front_end.h"
#include "platform/disk_file.h"
#include "settings/parameters.h"

namespace dravik {

class CFrameData;
class CSensor;

// The columns of one conversion, fixed before its first frame.
struct COutputColumns {
    CDravikParameters params;  // the conversion's parameters
    bool header_conversion = false;
    std::string instrument_header;     // of the instrument (of the header definition)
    std::string instrument_file_name;  // name parts, as the heading block shows them
    std::string log_file_name;
    std::string serial_number;  // empty: the instrument has none
    // The output sensors in column order (in a header conversion the header
    // definition's one sensor). A sensor's units, fit and coefficients stay
    // readable for the whole conversion; values are read per frame.
    std::vector<CSensor*> sensors;
    // The column among `sensors` of the check sum sensor, which shows the
    // check sum residual instead of its value; -1 when check sums are not
    // checked.
    int check_sum_column = -1;
    bool frame_counter_checked = false;  // a frame counter sensor is checked
};

// One converted frame, as the output receives it.
struct CFrameRecord {
    const CFrameData& frame;
    unsigned check_sum_residual = 0;
    // What the frame checks found in this frame (errors and unreadable fields).
    bool frame_counter_error = false;
    bool check_sum_error = false;
    // With time tags: the bytes that follow the frame in the log file, its
    // time tag when there are 7 or more (fewer: the log ends there).
    std::span<const std::uint8_t> time_tag;
    // With time tags: the log could not be read where the time tag lies. The
    // conversion then fails; the frame's values are still written.
    bool time_tag_unreadable = false;
};

// What writing a frame did.
struct COutputResult {
    int cause = 0;  // 0, or the file error cause of the failure
    // The frame's values reached the output. A failure after them (the time
    // tag cells of a text row) leaves this set: the frame counts as written.
    bool frame_written = true;
};

class CConversionOutput {
  public:
    virtual ~CConversionOutput() = default;

    // Creates the output at `path` (emptying a file of that name); 0 or the
    // file error cause. Files in `refused` (those the conversion reads) are
    // never opened and so never emptied: they fail with cause 11.
    virtual int Open(const std::string& path, std::span<const CFileIdentity> refused) = 0;
    // Writes the headings, and fixes the columns of every frame after them.
    virtual int WriteHeadings(const COutputColumns& columns) = 0;
    virtual COutputResult WriteFrame(const CFrameRecord& record) = 0;
    // One header record of a header conversion; 0 or the cause.
    virtual int WriteHeaderRecord(const CFrameData& frame) = 0;
    // Ends the output with the counts of the conversion; `complete` when
    // the conversion converted all it should so far. 0 or the cause.
    virtual int Finish(const CConversionStatus& status, bool complete) = 0;

    // The text for a cause this output reported, as the conversion log shows it.
    virtual std::string GetFailureText(int cause) const;
    // What the system said about the last failure (CDiskFile::GetSystemErrorText),
    // or an empty text.
    virtual std::string GetSystemErrorText() const { return {}; }
};

// The output the parameters ask for: the text table, a CSV table or a
// NetCDF file ("Output Format"; a number it does not know is the text table).
std::unique_ptr<CConversionOutput> MakeConversionOutput(const CDravikParameters& params);

// Whether the parameters' format can hold a header conversion's records, and
// the message that refuses one that cannot (NetCDF stores frames).
bool CanConvertHeaders(const CDravikParameters& params);
inline constexpr const char* kNetcdfHeaderRefusal =
    "A header conversion cannot be written as NetCDF: header records are names and texts, "
    "not frames of values. Choose the text or the CSV format for it.";
// NetCDF files are written where they can be sought in and renamed.
inline constexpr const char* kNetcdfStreamRefusal =
    "A NetCDF file cannot be written to standard output, a pipe or a device: name a file "
    "as the output, or choose the text or the CSV format.";

}  // namespace dravik

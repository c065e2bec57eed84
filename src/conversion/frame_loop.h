// The frame loop of one conversion: what becomes of each answer to a frame
// request. It runs on the telemetry control's processing thread under the
// document lock, and is the only code there that touches the output. For
// each frame it applies the limit, runs the frame checks and the subsampling,
// hands a selected frame to the output with its time tag, and keeps the byte
// accounting and the counts of the status snapshot; it says after each
// answer whether to ask for the next frame.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "conversion/frame_checks.h"
#include "conversion/front_end.h"

namespace dravik {

class CConversionOutput;
class CFrameData;
class CLogSource;
class COxaTelemetryDoc;
class CSensor;

enum class ELoopStep { kRequestNext, kDone };

// What the loop works with, fixed when the output is open.
struct CFrameLoopSetup {
    CConversionOutput* output = nullptr;
    const CLogSource* log = nullptr;    // says what was wrong when a read of the log fails
    std::string log_full, output_full;    // for the failure messages
    bool header_conversion = false;
    bool time_tags = false;
    int process_limit = -1;  // frames with a higher index end the loop; 0 or less: none
    int process_depth = 1;   // one frame in every N is written
    std::uint64_t buffer = 0;  // unmatched bytes at the end that make a buffer overrun
    CSensor* frame_counter_sensor = nullptr;  // null: the check is off
    CSensor* check_sum_sensor = nullptr;
};

class CFrameLoop {
  public:
    // `control` answers for the discarded bytes and takes the conversion log
    // texts; messages for the user go to `notices`, shown later from the
    // driving thread.
    CFrameLoop(COxaTelemetryDoc& control, std::vector<CNotice>& notices);

    // Back to the state before any frame: nothing written, no counts.
    void Reset();
    void Start(CFrameLoopSetup setup);

    ELoopStep OnFrame(const CFrameData& frame);
    // An answer without a frame: the resource dropped bytes, or has none left.
    ELoopStep OnNoFrame();
    // The file resource's status. `quiet`: no conversion is reading (the
    // user hears of a read error only while one is).
    void OnFileStatus(int cause, bool end_of_file, bool file_open, bool quiet);
    // Hands every frame written from now on to `side` too (null: to no one).
    void SetSideOutput(CConversionOutput* side) noexcept { m_side = side; }
    // The loop stops at the next answer.
    void Stop() noexcept { m_abort = true; }

    // The status snapshot, but for the done flag, which is the document's.
    CConversionStatus GetStatus() const;
    bool OutputFailed() const noexcept { return m_output_failed; }

  private:
    ELoopStep WriteFrame(const CFrameData& frame);
    ELoopStep WriteHeaderRecord(const CFrameData& frame);
    // Takes the count of bytes the resource dropped since it was last taken.
    std::uint64_t TakeDiscarded();
    // Moves the log position on past what was dropped and, `with_frame`,
    // past the frame just handled.
    void Account(std::uint64_t discarded, bool with_frame);
    // A write to the output (or a read of a time tag) failed: the user is
    // told, the log gets the cause, the loop stops.
    ELoopStep Fail(int cause, bool writing);

    COxaTelemetryDoc& m_control;
    std::vector<CNotice>& m_notices;
    CFrameLoopSetup m_setup;
    CConversionOutput* m_side = nullptr;
    CFrameChecks m_checks;

    bool m_written = false;  // a frame was written (the instrument was found)
    bool m_abort = false;
    bool m_end_of_data = false;
    bool m_buffer_overrun = false;
    bool m_output_failed = false;
    bool m_frame_selected = true;  // subsampling: the frame being handled is written
    int m_depth_counter = 0;
    int m_last_frame_length = 0;
    unsigned m_frames_processed = 0;  // index of the last frame handled
    unsigned m_resynchronizations = 0;
    std::uint64_t m_bytes_consumed = 0;  // log offset just past the last frame accounted
    std::uint64_t m_discarded_since_frame = 0;
};

}  // namespace dravik

// A deterministic generator of raw telemetry logs for one instrument: the
// frames an instrument would send, with the logger's time tags after each
// frame, random garbage between frames and header records at the start. The
// same options and seed always give the same bytes, so generated logs can be
// shipped as examples and regenerated for benchmarks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/output_layout.h"
#include "platform/disk_file.h"

namespace dravik {

class CInstrument;
class CSensor;

struct LogGeneratorOptions {
    std::uint64_t frames = 0;  // frames to write; 0: no count limit
    std::uint64_t bytes = 0;   // stop once the log holds this many bytes; 0: no size limit
    std::uint64_t seed = 1;
    double garbage_rate = 0.0;  // fraction of the log's bytes that are garbage between frames
    bool time_tags = false;     // a 7-byte time tag after each frame
    int header_records = 0;     // header records written before the first frame
    std::string header_sync = "OXAHDR";      // synchronization string of header records
    std::uint32_t start_date = 2026100;      // YYYYDDD of the first frame
    std::uint32_t start_time_ms = 36000000;  // time of day of the first frame, in ms
    std::uint32_t period_ms = 250;           // time between two frames
};

struct LogSummary {
    std::uint64_t frames = 0;
    std::uint64_t bytes = 0;
    std::uint64_t garbage_bytes = 0;
    std::uint64_t header_records = 0;
};

// Where the log goes: a file created anew (exclusive, like every file the
// program writes) or an already open descriptor such as standard output.
// Writes are gathered in a buffer, so a large log costs few system calls and
// never lives in memory as a whole.
class CLogSink {
  public:
    CLogSink() = default;
    ~CLogSink();
    CLogSink(const CLogSink&) = delete;
    CLogSink& operator=(const CLogSink&) = delete;

    // Each returns 0 or a file error cause.
    int Open(const std::string& path);
    int OpenDescriptor(int fd);
    int Write(std::string_view bytes);
    int Flush();
    // Flushes and closes; 0 or the first file error cause met.
    int Close();

    std::uint64_t BytesWritten() const noexcept { return m_written; }

  private:
    int WriteOut(const char* data, std::size_t size);

    CDiskFile m_file;
    int m_fd = -1;
    int m_error = 0;
    std::vector<char> m_buffer;
    std::size_t m_used = 0;
    std::uint64_t m_written = 0;
};

class CLogGenerator {
  public:
    // `instrument` may be null: the log then holds header records only.
    CLogGenerator(const CInstrument* instrument, const LogGeneratorOptions& options);
    ~CLogGenerator();
    CLogGenerator(const CLogGenerator&) = delete;
    CLogGenerator& operator=(const CLogGenerator&) = delete;

    // Writes the whole log; returns 0 or the file error cause of the sink.
    int Generate(CLogSink& sink, LogSummary& summary);

    // One frame, for callers that want frames without a sink (tests, the
    // benchmark's floor). Each call gives the next frame of the sequence.
    const std::string& NextFrame();
    // The time tag of the frame NextFrame gave last.
    const std::uint8_t* LastTimeTag() const noexcept { return m_last_tag; }

  private:
    struct SensorPlan;
    class Random;

    void PlanSensors();
    void BuildFixedFrame();
    void BuildVariableFrame();
    double FrameValue(SensorPlan& plan);
    // The text of a text field; `width` 0 for a variable field, otherwise the
    // fixed field's length.
    std::string TextValue(SensorPlan& plan, double value, std::size_t width);
    void PutFixedField(SensorPlan& plan, double value);
    void AdvanceClock();
    int WriteGarbage(CLogSink& sink, std::uint64_t count, LogSummary& summary);
    int WriteHeaderRecords(CLogSink& sink, LogSummary& summary);

    const CInstrument* m_instrument;
    LogGeneratorOptions m_options;
    std::vector<SensorPlan> m_plans;
    std::unique_ptr<Random> m_random;
    std::string m_frame;
    std::uint64_t m_frame_number = 0;  // frames built so far
    std::uint32_t m_counter_start = 0;
    // The simulated clock of the logger.
    std::int64_t m_days = 0;  // days since 1970-01-01
    std::uint32_t m_ms_of_day = 0;
    int m_counter_sensor = -1;
    int m_check_sum_sensor = -1;
    std::uint8_t m_last_tag[7] = {};
    std::uint8_t m_forbidden_first = 0;   // garbage never holds these bytes,
    std::uint8_t m_forbidden_second = 0;  // so it never starts a false frame
};

}  // namespace dravik

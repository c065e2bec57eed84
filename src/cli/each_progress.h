// The progress of a run over several files: the bytes of the logs read so far
// and the conversions done, gathered from every worker, and the status line
// that shows them ("Files 3/16  41.2 MiB/s  1:05 left").
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dravik {

class CEachProgress {
  public:
    using Clock = std::chrono::steady_clock;

    // `total_bytes`: the sizes of the logs of every conversion together;
    // none when a log's length is not known ahead (no time left is shown).
    CEachProgress(std::size_t conversions, std::optional<std::uint64_t> total_bytes,
                  unsigned workers);

    // From a worker: the bytes its current conversion has read so far.
    void Reading(unsigned worker, std::uint64_t bytes) {
        m_reading[worker].store(bytes, std::memory_order_relaxed);
    }
    // From a worker: a conversion of a log of `log_bytes` has ended.
    void Finished(unsigned worker, std::uint64_t log_bytes);

    // The status line, `elapsed` after the start.
    std::string Line(Clock::duration elapsed) const;

  private:
    std::size_t m_conversions;
    std::optional<std::uint64_t> m_total_bytes;
    std::vector<std::atomic<std::uint64_t>> m_reading;
    std::atomic<std::uint64_t> m_finished_bytes{0};
    std::atomic<std::size_t> m_finished{0};
};

}  // namespace dravik

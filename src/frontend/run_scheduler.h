// Runs the conversions of a run over several files a few at a time, each on
// a worker thread. A worker takes the first conversion in run order that may
// start: a log file is read with exclusive sharing, so two conversions of one
// log never run at the same time. A cancel stops the taking; conversions
// under way end by themselves (their own cancel is theirs to see).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

namespace dravik {

// The processors this process may run on (a taskset or a container may allow
// fewer than the machine has): the default number of workers.
unsigned ProcessorCount();

class CRunScheduler {
  public:
    // Converts one pair; `worker` numbers the thread, from 0.
    using Job = std::function<void(std::size_t index, std::size_t worker)>;

    // `log_keys[i]` names the log of conversion i: conversions with equal
    // keys never run at the same time.
    explicit CRunScheduler(std::vector<std::size_t> log_keys);

    // The workers a run with `wanted` of them uses: no more than there are
    // conversions, and at least one.
    unsigned Workers(unsigned wanted) const noexcept;

    // Runs `job` for every conversion on Workers(wanted) threads and returns
    // when every worker has ended. `cancelled` is asked before each
    // conversion is taken (and every 100 ms while a worker waits for a busy
    // log); once it says yes, no other conversion starts. `tick` is called
    // on the calling thread every `period` while the workers run.
    void Run(unsigned wanted, const Job& job, const std::function<bool()>& cancelled,
             const std::function<void()>& tick, std::chrono::milliseconds period);

  private:
    // The next conversion to run, or none when every one has been taken or
    // a cancel was asked for.
    std::optional<std::size_t> Take(const std::function<bool()>& cancelled);
    void Release(std::size_t index);

    std::vector<std::size_t> m_log_keys;
    std::mutex m_lock;
    std::condition_variable m_log_released;
    std::vector<bool> m_taken;
    std::size_t m_first_untaken = 0;
    std::set<std::size_t> m_busy_logs;
    std::condition_variable m_workers_done;
    unsigned m_workers_running = 0;
};

}  // namespace dravik

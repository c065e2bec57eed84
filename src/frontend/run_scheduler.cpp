#include "frontend/run_scheduler.h"

#include <sched.h>

#include <algorithm>
#include <thread>
#include <utility>

namespace dravik {

unsigned ProcessorCount() {
    cpu_set_t set;
    if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) {
        return static_cast<unsigned>(CPU_COUNT(&set));
    }
    return std::max(1u, std::thread::hardware_concurrency());
}

CRunScheduler::CRunScheduler(std::vector<std::size_t> log_keys)
    : m_log_keys(std::move(log_keys)), m_taken(m_log_keys.size(), false) {}

unsigned CRunScheduler::Workers(unsigned wanted) const noexcept {
    return static_cast<unsigned>(
        std::max<std::size_t>(1, std::min<std::size_t>(wanted, m_log_keys.size())));
}

std::optional<std::size_t> CRunScheduler::Take(const std::function<bool()>& cancelled) {
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        if (cancelled()) return std::nullopt;
        while (m_first_untaken < m_taken.size() && m_taken[m_first_untaken]) ++m_first_untaken;
        if (m_first_untaken == m_taken.size()) return std::nullopt;
        for (std::size_t i = m_first_untaken; i < m_taken.size(); ++i) {
            if (m_taken[i] || m_busy_logs.count(m_log_keys[i]) != 0) continue;
            m_taken[i] = true;
            m_busy_logs.insert(m_log_keys[i]);
            return i;
        }
        // Every conversion left reads a log that is being converted; one of
        // them is released soon. The time-out only lets a cancel be seen.
        m_log_released.wait_for(lock, std::chrono::milliseconds(100));
    }
}

void CRunScheduler::Release(std::size_t index) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_busy_logs.erase(m_log_keys[index]);
    }
    m_log_released.notify_all();
}

void CRunScheduler::Run(unsigned wanted, const Job& job, const std::function<bool()>& cancelled,
                        const std::function<void()>& tick, std::chrono::milliseconds period) {
    if (m_log_keys.empty()) return;
    const unsigned workers = Workers(wanted);
    m_workers_running = workers;
    std::vector<std::thread> threads;
    for (unsigned worker = 0; worker < workers; ++worker) {
        threads.emplace_back([this, worker, &job, &cancelled] {
            while (const auto index = Take(cancelled)) {
                job(*index, worker);
                Release(*index);
            }
            std::lock_guard<std::mutex> lock(m_lock);
            --m_workers_running;
            m_workers_done.notify_all();
        });
    }
    {
        std::unique_lock<std::mutex> lock(m_lock);
        while (!m_workers_done.wait_for(lock, period, [this] { return m_workers_running == 0; })) {
            lock.unlock();
            tick();
            lock.lock();
        }
    }
    for (std::thread& thread : threads) thread.join();
}

}  // namespace dravik

#include "cli/each_progress.h"

#include <algorithm>
#include <cstdio>

namespace dravik {

namespace {

// "m:ss", or "h:mm:ss" from an hour on.
std::string Duration(double seconds) {
    const long s = static_cast<long>(seconds + 0.5);
    char text[32];
    if (s >= 3600) {
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    } else {
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    }
    return text;
}

}  // namespace

CEachProgress::CEachProgress(std::size_t conversions, std::optional<std::uint64_t> total_bytes,
                             unsigned workers)
    : m_conversions(conversions), m_total_bytes(total_bytes), m_reading(workers) {}

void CEachProgress::Finished(unsigned worker, std::uint64_t log_bytes) {
    m_finished_bytes.fetch_add(log_bytes);
    m_reading[worker].store(0);
    m_finished.fetch_add(1);
}

std::string CEachProgress::Line(Clock::duration elapsed) const {
    std::uint64_t done = m_finished_bytes.load();
    for (const auto& bytes : m_reading) done += bytes.load(std::memory_order_relaxed);
    if (m_total_bytes) done = std::min(done, *m_total_bytes);
    const double seconds = std::chrono::duration<double>(elapsed).count();
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0.0;
    char text[160];
    int n = std::snprintf(text, sizeof text, "Files %zu/%zu  %.1f MiB/s", m_finished.load(),
                          m_conversions, rate / (1024.0 * 1024.0));
    if (m_total_bytes && rate > 0 && n > 0) {
        std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n), "  %s left",
                      Duration(static_cast<double>(*m_total_bytes - done) / rate).c_str());
    }
    return text;
}

}  // namespace dravik

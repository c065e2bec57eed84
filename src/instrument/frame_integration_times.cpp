#include "instrument/frame_integration_times.h"

#include <algorithm>

namespace dravik {

void CFrameIntegrationTimes::Prepare(const std::vector<CSensor*>& sensors) {
    m_time_of.assign(sensors.size(), -1);
    m_times.clear();
    for (std::size_t k = 0; k < sensors.size(); ++k) {
        const CSensor* sensor = sensors[k];
        if (sensor == nullptr || sensor->GetFitType() != kFitOptic3) continue;
        // OPTIC3 sensors that share an integration time sensor share its evaluation.
        const CSensor* source = sensor->GetIntegrationTimeSensor();
        if (source == sensor) source = nullptr;
        auto same = std::find_if(m_times.begin(), m_times.end(),
                                 [&](const FrameTime& t) { return t.source == source; });
        if (same == m_times.end()) {
            m_times.push_back(FrameTime{source, sensor, {}, false});
            same = m_times.end() - 1;
        }
        m_time_of[k] = static_cast<int>(same - m_times.begin());
    }
}

void CFrameIntegrationTimes::BeginFrame() noexcept {
    for (FrameTime& t : m_times) t.evaluated = false;
}

const CIntegrationTime& CFrameIntegrationTimes::For(std::size_t column, const CFrameData& frame,
                                                    std::string& scratch) {
    static const CIntegrationTime kNone;
    const int slot = column < m_time_of.size() ? m_time_of[column] : -1;
    if (slot < 0) return kNone;
    FrameTime& t = m_times[static_cast<std::size_t>(slot)];
    if (!t.evaluated) {
        t.time = t.user->EvaluateIntegrationTime(&frame, scratch);
        t.evaluated = true;
    }
    return t.time;
}

}  // namespace dravik

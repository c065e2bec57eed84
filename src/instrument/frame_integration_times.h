// The integration times that the OPTIC3 values of one frame are calibrated
// with. The sensors of a running conversion do not change, so each OPTIC3
// column's integration time sensor is found once, and within a frame the
// integration time is evaluated once for all the OPTIC3 sensors that share
// its sensor, not once per value.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "instrument/sensor.h"

namespace dravik {

class CFrameIntegrationTimes {
  public:
    // The sensor of each column, in column order (null: none).
    void Prepare(const std::vector<CSensor*>& sensors);
    // Forgets the times of the frame before.
    void BeginFrame() noexcept;
    // The integration time of the column's values in this frame (a column
    // that is not OPTIC3 gets "no integration time sensor"). Evaluated at
    // the frame's first value that needs it.
    const CIntegrationTime& For(std::size_t column, const CFrameData& frame, std::string& scratch);

  private:
    struct FrameTime {
        const CSensor* source;  // the integration time sensor (null: none)
        const CSensor* user;    // an OPTIC3 sensor that uses it
        CIntegrationTime time;
        bool evaluated;
    };
    std::vector<int> m_time_of;  // per column: its entry in m_times, or -1
    std::vector<FrameTime> m_times;
};

}  // namespace dravik

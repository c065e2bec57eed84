#include "instrument/instrument.h"

#include <algorithm>

#include "instrument/instrument_loader.h"
#include "platform/text.h"

namespace dravik {

int CInstrument::Load(const std::string& file_name) {
    return CInstrumentLoader(*this).Load(file_name);
}

CSensor* CInstrument::GetSensor(int index) {
    return const_cast<CSensor*>(static_cast<const CInstrument*>(this)->GetSensor(index));
}

const CSensor* CInstrument::GetSensor(int index) const {
    if (index < 0 || index >= GetSensorCount()) {
        m_message = "Cannot access instrument sensors.\r\n";
        m_message += GetCodeText(kInstrumentInvalidSensorIndex);
        return nullptr;
    }
    const CSensor* sensor = m_sensors[static_cast<std::size_t>(index)].get();
    if (sensor == nullptr) {
        m_message = "Cannot access instrument sensors.\r\n";
        m_message += GetCodeText(kInstrumentSensorNotFound);
    }
    return sensor;
}

int CInstrument::FindSensor(std::string_view type, int after) const {
    if (after >= GetSensorCount()) return -1;
    const auto first = m_sensors.begin() + (after < 0 ? 0 : after + 1);
    const auto found = std::find_if(first, m_sensors.end(), [&](const auto& sensor) {
        return EqualsIgnoreCase(sensor->GetType(), type);
    });
    return found == m_sensors.end() ? -1 : static_cast<int>(found - m_sensors.begin());
}

}  // namespace dravik

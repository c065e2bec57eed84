#include "telemetry/attach_info.h"

#include <algorithm>
#include <cctype>

#include "instrument/instrument.h"
#include "instrument/sensor.h"
#include "platform/text.h"

namespace dravik {

int DecodeSyncBytes(const std::string& units, std::uint8_t* bytes, int max_bytes) {
    int count = 0;
    bool escapes_ok = true;
    std::size_t i = 0;
    while (i < units.size() && count < max_bytes) {
        if (units[i] == '\\' && i + 1 < units.size() && units[i + 1] == 'x') {
            const std::size_t digits = std::min<std::size_t>(2, units.size() - (i + 2));
            int value = 0;
            bool clean = digits > 0;
            for (std::size_t d = 0; d < digits && clean; ++d) {
                const int h = HexDigitValue(units[i + 2 + d]);
                if (h < 0) clean = false;
                value = value * 16 + h;
            }
            if (clean && escapes_ok) {
                bytes[count++] = static_cast<std::uint8_t>(value);
            } else {
                escapes_ok = false;
            }
            i += 2 + digits;
        } else {
            bytes[count++] = static_cast<std::uint8_t>(units[i]);
            ++i;
        }
    }
    return count;
}

AttachInfo MakeAttachInfo(const CInstrument& instrument, const std::string& header, int no_sync) {
    AttachInfo info;
    info.header = header;
    info.frame_size = instrument.GetFrameSize();
    info.terminator = instrument.GetTerminator();
    info.no_sync = no_sync;
    // An instrument of another maker names its frame protocol in a SPECIAL line.
    const int special = instrument.FindSensor("SPECIAL", -1);
    if (const CSensor* sensor = special >= 0 ? instrument.GetSensors()[special].get() : nullptr) {
        const std::string& id = sensor->GetIdentifier();
        const bool no_fit = sensor->GetFitType() == kFitNone;
        if (EqualsIgnoreCase(id, "BSI") && sensor->GetFieldLength() == 0 && no_fit) {
            info.special_kind = "BSI";
            info.no_sync = 1;
            info.sync_byte_count = DecodeSyncBytes(sensor->GetUnits(), info.sync_bytes, 10);
        } else if (EqualsIgnoreCase(id, "HOBILABS_HS2_D") && no_fit) {
            info.special_kind = "HOBILABS_HS2_D";
            info.no_sync = 1;
        } else if ((EqualsIgnoreCase(id, "HEITRONICS_IRC") ||
                    EqualsIgnoreCase(id, "AOS_EZCOMPASS_3") ||
                    EqualsIgnoreCase(id, "SEABIRD_37SIMCT") ||
                    EqualsIgnoreCase(id, "SEABIRD_19SCT")) &&
                   no_fit) {
            for (char& ch : info.special_kind = id) {
                ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            }
            info.no_sync = 1;
            info.terminator = "\r\n";
        }
    }
    return info;
}

}  // namespace dravik

// The instrument file loader on any bytes: it must end with a result code and
// a message, never crash or leak, whatever the file holds.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "instrument/instrument.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace dravik;
    static const std::string path = fuzz::WriteScratch("instrument.cal", "");
    fuzz::WriteScratch("instrument.cal", fuzz::AsText(data, size));
    CInstrument instrument;
    const int result = instrument.Load(path);
    // Everything a caller reads after a load must be readable.
    (void)CInstrument::GetCodeText(result);
    for (int i = 0; i < instrument.GetSensorCount(); ++i) {
        const CSensor* sensor = instrument.GetSensor(i);
        if (sensor == nullptr) __builtin_trap();
    }
    return 0;
}

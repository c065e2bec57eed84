// Synchronization, cutting and decoding of any log against two fixed
// instruments, one of fixed frames and one of variable frames, read through a
// file resource the way a conversion reads a log: every frame found is turned
// into a row. The log must be consumed in bounded work, without crash or leak.
// With the top bit of the first byte the log arrives instead in chunks on a
// serial port, for those instruments or for one of another maker's kinds.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "settings/parameters.h"
#include "conversion/row_writer.h"
#include "fuzz_support.h"
#include "instrument/instrument.h"
#include "platform/log_source.h"
#include "telemetry/telem_comm.h"

namespace {

using namespace dravik;

struct Example {
    CInstrument instrument;
    AttachInfo attach;
    std::vector<CSensor*> sensors;
    explicit Example(const char* name) {
        if (instrument.Load(std::string(DRAVIK_EXAMPLES_DIR "/") + name) != kInstrumentOk)
            __builtin_trap();
        attach.header = instrument.GetHeader();
        attach.frame_size = instrument.GetFrameSize();
        attach.terminator = instrument.GetTerminator();
        for (const auto& sensor : instrument.GetSensors()) sensors.push_back(sensor.get());
    }
};

struct NullOwner : CTelemCommOwner {
    void QueueCommand(const std::string&, int) override {}
};

// The serial port's processing rounds, as its reader runs them: a small
// frame buffer, an optional global synchronization string, and instruments
// of the chosen kind (bits 4-5 of `how`).
void FeedSerialPort(std::uint8_t how, std::size_t chunk, const std::uint8_t* log,
                    std::size_t size, const std::vector<Example*>& examples) {
    NullOwner owner;
    CTelemComm comm(&owner);
    CSerialSettings settings;
    settings.port_name = "/dev/fuzz";
    settings.read_size = static_cast<int>(chunk);
    settings.global_sync = (how & 64) ? "SPR" : "";
    settings.max_frame_depth = 4;
    if (comm.InitializeSerialPort(settings) != 0) __builtin_trap();
    const int kind = (how >> 4) & 3;
    if (kind == 0) {
        for (const Example* example : examples) {
            if (comm.Attach(example->attach) != 0) __builtin_trap();
            comm.EnableAcquisition(example->attach.header);
        }
    } else {
        static const char* const kKinds[] = {"", "BSI", "HOBILABS_HS2_D", "HEITRONICS_IRC"};
        AttachInfo info;
        info.header = "SPECIAL1";
        info.frame_size = 24;
        info.no_sync = 1;
        info.special_kind = kKinds[kind];
        if (kind == 3) info.terminator = "\r\n";
        // BSI: the first two log bytes are one synchronization pair.
        info.sync_byte_count = size >= 2 ? 2 : 0;
        for (int i = 0; i < info.sync_byte_count; ++i) info.sync_bytes[i] = log[i];
        if (comm.Attach(info) == 0) comm.EnableAcquisition(info.header);
    }
    for (std::size_t at = 0; at < size; at += chunk) {
        comm.AppendBytes(log + at, std::min(chunk, size - at));
        while (comm.RetrieveFrame()) {
        }
        while (comm.HasMessages()) comm.GetNextMessage();
    }
    if (comm.GetQueuedByteCount() > size + settings.global_sync.size() + 64) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Example fixed("spr0117.cal");
    static Example variable("nav0001.tdf");
    if (size < 3) return 0;

    // Byte 0: which instruments and how values are written; byte 1: the
    // chunk size the log is read in. The rest is the log.
    const std::uint8_t how = data[0];
    const int chunk = 1 + data[1] * 16;
    const std::string log = fuzz::WriteScratch("frames.raw", fuzz::AsText(data + 2, size - 2));

    CDravikParameters params;
    params.format.apply_fit = how & 4;
    params.format.hex_format = how & 8;
    params.format.double_type = (how >> 4) & 3;
    params.suppress_strings = how & 64;
    std::vector<Example*> examples;
    if ((how & 3) != 2) examples.push_back(&fixed);
    if ((how & 3) != 1) examples.push_back(&variable);
    if (how & 128) {
        FeedSerialPort(how, static_cast<std::size_t>(chunk), data + 2, size - 2, examples);
        return 0;
    }

    CLogSource file;
    if (file.Open(log, false) != 0) return 0;
    CTelemComm comm;
    if (comm.InitializeFileResource(&file, chunk) != 0) __builtin_trap();
    std::vector<CRowWriter> writers(examples.size());
    for (std::size_t i = 0; i < examples.size(); ++i) {
        if (comm.Attach(examples[i]->attach) != 0) __builtin_trap();
        comm.EnableAcquisition(examples[i]->attach.header);
        writers[i].Configure(params, examples[i]->instrument.GetSerialNumber(),
                             examples[i]->sensors, -1);
    }

    // Every request either yields a frame or makes progress through the log,
    // so the number of requests is bounded by the log's size.
    const std::size_t max_requests = 4 * size + 64;
    std::int64_t last_discarded = -1;
    std::size_t last_queued = 0;
    for (std::size_t requests = 0;; ++requests) {
        if (requests > max_requests) __builtin_trap();  // a hang
        std::unique_ptr<CFrameData> frame = comm.RetrieveFrame();
        if (frame) {
            for (std::size_t i = 0; i < examples.size(); ++i) {
                if (frame->GetInfo().header == examples[i]->attach.header)
                    (void)writers[i].Row(*frame, 0);
            }
            continue;
        }
        const std::int64_t discarded = comm.GetBytesDiscarded();
        const std::size_t queued = comm.GetQueuedByteCount();
        if (discarded == last_discarded && queued == last_queued) break;
        last_discarded = discarded;
        last_queued = queued;
        while (comm.HasMessages()) comm.GetNextMessage();
    }
    comm.ReleaseFile();
    return 0;
}

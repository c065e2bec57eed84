// dravik-sync-worst-case: the conversion time per MiB of adversarial logs
// against a clean log of the same size, for a fixed-frame and a
// variable-frame instrument. A synchronizer whose work per byte is bounded
// shows ratios near a constant whatever the size; run it at two sizes to see
// that the time grows linearly.
//
// Adversarial logs: the header repeated with its last byte missing (every
// position starts a partial match), a long run of the header's first byte,
// and, for variable frames, headers whose terminator never comes.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/dravik_doc.h"
#include "instrument/instrument.h"
#include "log_generator.h"
#include "conversion/recording_front_end.h"

#ifndef DRAVIK_EXAMPLES_DIR
#define DRAVIK_EXAMPLES_DIR "examples"
#endif

namespace {

using Clock = std::chrono::steady_clock;

void WriteRepeated(const std::string& path, const std::string& unit, std::uint64_t bytes) {
    std::string block;
    while (block.size() < (1u << 16)) block += unit;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (std::uint64_t written = 0; written < bytes; written += block.size())
        out.write(block.data(), static_cast<std::streamsize>(std::min<std::uint64_t>(block.size(), bytes - written)));
}

bool Generate(const std::string& instrument_path, const std::string& path, std::uint64_t bytes) {
    dravik::CInstrument instrument;
    if (instrument.Load(instrument_path) != 0) return false;
    dravik::LogGeneratorOptions options;
    options.bytes = bytes;
    options.seed = 15;
    dravik::CLogSink sink;
    dravik::LogSummary summary;
    dravik::CLogGenerator generator(&instrument, options);
    return sink.Open(path) == 0 && generator.Generate(sink, summary) == 0 && sink.Close() == 0;
}

// Seconds the conversion took, or a negative value when it did not end well.
double Convert(const std::string& log, const std::string& instrument, const std::string& output,
               unsigned& frames) {
    dravik::CRecordingFrontEnd front_end;
    dravik::CDravikDoc doc(front_end, nullptr);
    doc.SetLogFilePath(log);
    doc.SetOutputFilePath(output);
    doc.SetInstrumentFilePath(instrument);
    doc.GetParameters().format.apply_fit = 1;
    const auto t0 = Clock::now();
    const dravik::EConversionOutcome outcome = doc.RunConversion();
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    frames = front_end.last_report.status.frames_processed;
    // "not found" ends a log without frames as failed; that is expected here.
    return outcome == dravik::EConversionOutcome::kAborted ? -1.0 : seconds;
}

}  // namespace

int main(int argc, char** argv) {
    std::uint64_t mib = 4;
    if (argc > 1) mib = std::strtoull(argv[1], nullptr, 10);
    if (mib == 0 || argc > 2) {
        std::fputs("Usage: dravik-sync-worst-case [MiB per log, default 4]\n", stderr);
        return 2;
    }
    const std::uint64_t bytes = mib << 20;
    char dir_name[] = "/tmp/dravik-worst-XXXXXX";
    if (::mkdtemp(dir_name) == nullptr) return 1;
    const std::string dir = dir_name;
    const std::string output = dir + "/out.txt";

    struct Instrument {
        const char* file;
        std::string header;
        bool variable;
    } instruments[] = {{"spr0117.cal", {}, false}, {"nav0001.tdf", {}, true}};

    std::printf("%-10s %-34s %10s %10s %8s\n", "instrument", "log", "frames", "s/MiB", "x clean");
    int status = 0;
    for (Instrument& inst : instruments) {
        const std::string path = std::string(DRAVIK_EXAMPLES_DIR "/") + inst.file;
        dravik::CInstrument loaded;
        if (loaded.Load(path) != 0) return 1;
        const std::string header = loaded.GetHeader();
        struct Log {
            std::string name;
            std::string unit;  // empty: a clean generated log
        };
        std::vector<Log> logs = {
            {"clean", {}},
            {"header less its last byte, repeated", header.substr(0, header.size() - 1)},
            {"run of the header's first byte", std::string(1, header[0])},
        };
        if (inst.variable) logs.push_back({"headers without terminator", header + ",1.5"});
        double clean = 0;
        for (const Log& log : logs) {
            const std::string log_path = dir + "/log.raw";
            if (log.unit.empty()) {
                if (!Generate(path, log_path, bytes)) return 1;
            } else {
                WriteRepeated(log_path, log.unit, bytes);
            }
            unsigned frames = 0;
            const double seconds = Convert(log_path, path, output, frames);
            if (seconds < 0) status = 1;
            const double per_mib = seconds / static_cast<double>(mib);
            if (log.unit.empty()) clean = per_mib;
            std::printf("%-10s %-34s %10u %10.4f %8.2f\n", inst.file, log.name.c_str(), frames,
                        per_mib, clean > 0 ? per_mib / clean : 0.0);
            std::fflush(stdout);
        }
    }
    std::remove((dir + "/log.raw").c_str());
    std::remove(output.c_str());
    ::rmdir(dir.c_str());
    return status;
}

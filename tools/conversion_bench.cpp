// Whole conversions through the document: a log of fixed frames with time
// tags becomes an output file, as a front end would run it. Reports frames
// and log bytes per second.
#include <benchmark/benchmark.h>
#include <unistd.h>

// GCC 12 reports a memcpy of 2^63 bytes inside std::string's appends here
// when optimising; the lengths are small and known.
#pragma GCC diagnostic ignored "-Wrestrict"

#include <filesystem>
#include <fstream>
#include <string>

#include "conversion/dravik_doc.h"
#include "conversion/recording_front_end.h"

namespace {

namespace fs = std::filesystem;

const char* const kInstrument =
    "INSTRUMENT ABCD    ''           4 AS 0 NONE\n"
    "SN         0042    ''           4 AS 0 NONE\n"
    "FRAME      COUNTER ''           1 BU 0 COUNT\n"
    "ES         412.5   'uW/cm^2/nm' 2 BU 1 OPTIC2\n"
    "2048.0 1.5E-3 1.0\n"
    "LU         412.5   'uW/cm^2/nm/sr' 2 BU 1 OPTIC2\n"
    "2048.0 1.2E-3 1.0\n"
    "T          W       'C'          2 BU 1 POLYU\n"
    "-5.0 0.001\n"
    "CHECK      SUM     ''           1 BU 0 COUNT\n";

// A log of `frames` frames, each followed by its 7-byte time tag.
fs::path MakeLog(const fs::path& dir, int frames) {
    fs::path log = dir / (std::string("bench_").append(std::to_string(frames)).append(".raw"));
    if (fs::exists(log)) return log;
    std::string data;
    for (int i = 0; i < frames; ++i) {
        std::string frame = "ABCD0042";
        frame.push_back(static_cast<char>(i & 0xFF));
        for (int k = 0; k < 3; ++k) {
            int raw = 2048 + (i * 7 + k * 131) % 30000;
            frame.push_back(static_cast<char>(raw >> 8));
            frame.push_back(static_cast<char>(raw & 0xFF));
        }
        unsigned sum = 0;
        for (unsigned char c : frame) sum += c;
        frame.push_back(static_cast<char>((256 - sum % 256) % 256));
        data += frame;
        const unsigned char tag[7] = {0x1E, 0x94, 0x9B, 0x07, 0x5B, 0xCD, 0x15};
        data.append(reinterpret_cast<const char*>(tag), sizeof tag);
    }
    std::ofstream(log, std::ios::binary) << data;
    return log;
}

void BM_Conversion(benchmark::State& state) {
    const int frames = static_cast<int>(state.range(0));
    const bool fitted = state.range(1) != 0;
    fs::path dir =
        fs::temp_directory_path() / (std::string("dravik_bench_").append(std::to_string(getpid())));
    fs::create_directories(dir);
    std::ofstream(dir / "abcd0042.tdf") << kInstrument;
    fs::path log = MakeLog(dir, frames);

    dravik::CRecordingFrontEnd front_end;
    front_end.default_overwrite = dravik::EOverwriteAnswer::kYes;
    dravik::CDravikDoc doc(front_end);
    dravik::CDravikParameters& p = doc.GetParameters();
    p.delimiter = ",";
    p.time_tags = 1;
    p.time_tags_formatted = 1;
    p.check_sum_checking = 1;
    p.frame_counter_checking = 1;
    p.format.apply_fit = fitted ? 1 : 0;
    p.format.precision = 4;
    doc.SetLogFilePath(log.string());
    doc.SetOutputFilePath((dir / "out.dat").string());
    doc.SetInstrumentFilePath((dir / "abcd0042.tdf").string());
    for (auto _ : state) {
        if (doc.RunConversion() != dravik::EConversionOutcome::kComplete) {
            state.SkipWithError("conversion failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * frames);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fs::file_size(log)));
    fs::remove_all(dir);
}
BENCHMARK(BM_Conversion)
    ->Args({20000, 0})
    ->Args({20000, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

// Cost of loading the example instruments and of decoding and calibrating
// every sensor of one frame, the work done per frame of a conversion.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "instrument/instrument.h"

namespace {

std::string ExampleFile(const char* name) {
    std::string here = __FILE__;
    return here.substr(0, here.rfind('/')) + "/../examples/" + name;
}

// Decodes and calibrates every sensor the way the value formatting does.
double ConvertAll(const dravik::CInstrument& inst, const dravik::CFrameData& frame) {
    double total = 0;
    for (const auto& s : inst.GetSensors()) {
        double v = 0;
        if (s->IsUnsignedType()) {
            std::uint32_t raw;
            if (s->GetUnsignedValue(raw, &frame) == 0 && s->ApplyFitUnsigned(v, raw) == 0)
                total += v;
        } else if (s->IsSignedType()) {
            std::int32_t raw;
            if (s->GetSignedValue(raw, &frame) == 0 && s->ApplyFitSigned(v, raw) == 0) total += v;
        } else if (s->IsDoubleType()) {
            double raw;
            if (s->GetDoubleValue(raw, &frame) == 0 && s->ApplyFitDouble(v, raw) == 0) total += v;
        } else {
            std::string text;
            if (s->GetStringValue(text, &frame) == 0) total += static_cast<double>(text.size());
        }
    }
    return total;
}

void BM_LoadRadiometer(benchmark::State& state) {
    const std::string path = ExampleFile("spr0117.cal");
    for (auto _ : state) {
        dravik::CInstrument inst;
        if (inst.Load(path) != 0) state.SkipWithError("spr0117.cal did not load");
        benchmark::DoNotOptimize(inst.GetSensorCount());
    }
}
BENCHMARK(BM_LoadRadiometer);

void BM_ConvertRadiometerFrame(benchmark::State& state) {
    dravik::CInstrument inst;
    if (inst.Load(ExampleFile("spr0117.cal")) != 0) {
        state.SkipWithError("spr0117.cal did not load");
        return;
    }
    std::string bytes = inst.GetHeader();
    for (int i = static_cast<int>(bytes.size()); i < inst.GetFrameSize(); ++i)
        bytes.push_back(static_cast<char>(i * 7 + 3));
    dravik::CFrameInfo info;
    info.frame_size = inst.GetFrameSize();
    dravik::CFrameData frame(bytes, info);
    for (auto _ : state) benchmark::DoNotOptimize(ConvertAll(inst, frame));
    state.SetItemsProcessed(state.iterations() * inst.GetSensorCount());
}
BENCHMARK(BM_ConvertRadiometerFrame);

void BM_ConvertNavigationFrame(benchmark::State& state) {
    dravik::CInstrument inst;
    if (inst.Load(ExampleFile("nav0001.tdf")) != 0) {
        state.SkipWithError("nav0001.tdf did not load");
        return;
    }
    dravik::CFrameInfo info;
    info.terminator = inst.GetTerminator();
    dravik::CFrameData frame(
        std::string("GPNAV0001,123456.78,4434.5000,N,06330.2500,W,12.5,271.3\r\n"), info);
    for (auto _ : state) benchmark::DoNotOptimize(ConvertAll(inst, frame));
    state.SetItemsProcessed(state.iterations() * inst.GetSensorCount());
}
BENCHMARK(BM_ConvertNavigationFrame);

}  // namespace

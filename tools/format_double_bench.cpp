// Floating-point formatting of one output cell: the fast formatter against the C
// library's printf on the same values, per form and precision.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "format_diff.h"
#include "instrument/sensor.h"
#include "instrument/value_format.h"

namespace {

// Calibrated sensor values as they come out of the fits: a few digits before the
// point, a long binary fraction, both signs, now and then a large or tiny value.
const std::vector<double>& SensorValues() {
    static const std::vector<double> values = [] {
        dravik::format_diff::Random random(42);
        std::vector<double> v(4096);
        for (double& x : v) {
            x = (random.Unit() - 0.3) *
                dravik::format_diff::Pow10(static_cast<int>(random.Below(7)) - 2);
        }
        return v;
    }();
    return values;
}

// Appends the text of one value after another to a row cleared each time;
// `format` writes the text of a value into the row.
template <class Format>
void FormatEachValue(benchmark::State& state, Format&& format) {
    const std::vector<double>& values = SensorValues();
    std::string row;
    std::size_t i = 0;
    for (auto _ : state) {
        row.clear();
        format(row, values[i++ & 4095]);
        benchmark::DoNotOptimize(row.data());
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_FormatDouble(benchmark::State& state) {
    const dravik::CSensorFormat fmt{static_cast<int>(state.range(0)), 0, 0, -1,
                                    static_cast<int>(state.range(1))};
    FormatEachValue(state, [&](std::string& row, double v) { dravik::AppendDouble(row, v, fmt); });
}

void BM_Snprintf(benchmark::State& state) {
    const int type = static_cast<int>(state.range(0));
    const int precision = static_cast<int>(state.range(1));
    char text[512];
    FormatEachValue(state, [&](std::string& row, double v) {
        const int n = dravik::format_diff::Reference(text, sizeof text, v, type, -1, precision);
        row.append(text, static_cast<std::size_t>(n));
    });
}

// The library's own fixed-point formatting, which knows no "#" flag or width:
// the floor the conversion benchmark measures against.
void BM_ToCharsFixed(benchmark::State& state) {
    const int precision = static_cast<int>(state.range(0));
    char text[512];
    FormatEachValue(state, [&](std::string& row, double v) {
        const auto end =
            std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, precision).ptr;
        row.append(text, static_cast<std::size_t>(end - text));
    });
}
BENCHMARK(BM_ToCharsFixed)->ArgName("precision")->Arg(10)->Arg(3);

// {double type, precision}: "f" at the conversion's default precision 10 first.
void Forms(benchmark::internal::Benchmark* b) {
    b->ArgNames({"type", "precision"});
    b->Args({0, 10})->Args({0, 3})->Args({0, -1})->Args({1, 10})->Args({2, 10})->Args({2, -1});
}

BENCHMARK(BM_FormatDouble)->Apply(Forms);
BENCHMARK(BM_Snprintf)->Apply(Forms);

// One row of a radiometer frame: 64 two-byte OPTIC2 channels calibrated and written
// at the conversion's default precision 10, each cell appended to one reused row.
struct RadiometerRow {
    RadiometerRow() : frame(Bytes(), Info()) {
        for (int i = 0; i < kChannels; ++i) {
            auto& sensor = sensors.emplace_back(std::make_unique<dravik::CSensor>());
            sensor->SetType("LU");
            sensor->SetDataType(dravik::kDataBU);
            sensor->SetFitType(dravik::kFitOptic2);
            sensor->SetFieldLength(2);
            sensor->SetOffset(static_cast<std::uint32_t>(2 * i));
            sensor->NextGainRange();
            sensor->AddCoefficient(1000.0 + i);
            sensor->AddCoefficient(3.1e-4 * (i + 1));
            sensor->AddCoefficient(1.35);
        }
    }
    static constexpr int kChannels = 64;
    static std::string Bytes() {
        std::string bytes;
        dravik::format_diff::Random random(7);
        for (int i = 0; i < 2 * kChannels; ++i) bytes.push_back(static_cast<char>(random.Next()));
        return bytes;
    }
    static dravik::CFrameInfo Info() {
        dravik::CFrameInfo info;
        info.frame_size = 2 * kChannels;
        return info;
    }
    std::vector<std::unique_ptr<dravik::CSensor>> sensors;
    dravik::CFrameData frame;
};

void BM_SensorRow(benchmark::State& state) {
    RadiometerRow row_source;
    const dravik::CSensorFormat fmt{0, 1, 0, -1, 10};
    std::string row;
    for (auto _ : state) {
        row.clear();
        for (auto& sensor : row_source.sensors) {
            dravik::AppendSensorValue(row, *sensor, &row_source.frame, fmt);
            row.push_back('\t');
        }
        benchmark::DoNotOptimize(row.data());
    }
    state.SetItemsProcessed(state.iterations() * RadiometerRow::kChannels);
}

// The same row with every cell through snprintf and a string per cell.
void BM_SensorRowSnprintf(benchmark::State& state) {
    RadiometerRow row_source;
    std::string row;
    for (auto _ : state) {
        row.clear();
        for (auto& sensor : row_source.sensors) {
            std::uint32_t raw = 0;
            double value = 0.0;
            sensor->GetUnsignedValue(raw, &row_source.frame);
            sensor->ApplyFitUnsigned(value, raw);
            char text[512];
            std::snprintf(text, sizeof text, "%#.*f", 10, value);
            row += std::string(text);
            row.push_back('\t');
        }
        benchmark::DoNotOptimize(row.data());
    }
    state.SetItemsProcessed(state.iterations() * RadiometerRow::kChannels);
}

// The same row as a conversion writes it: no lock per value.
void BM_SensorRowOfConversion(benchmark::State& state) {
    RadiometerRow row_source;
    const dravik::CSensorFormat fmt{0, 1, 0, -1, 10};
    dravik::CRowValues values;
    std::vector<dravik::CSensor*> columns;
    for (auto& sensor : row_source.sensors) columns.push_back(sensor.get());
    values.Prepare(columns);
    std::string row;
    for (auto _ : state) {
        row.clear();
        values.BeginFrame();
        for (std::size_t k = 0; k < columns.size(); ++k) {
            values.AppendValue(row, k, row_source.frame, fmt);
            row.push_back('\t');
        }
        benchmark::DoNotOptimize(row.data());
    }
    state.SetItemsProcessed(state.iterations() * RadiometerRow::kChannels);
}

BENCHMARK(BM_SensorRow);
BENCHMARK(BM_SensorRowOfConversion);
BENCHMARK(BM_SensorRowSnprintf);

}  // namespace

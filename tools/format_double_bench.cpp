// Floating-point formatting of one output cell: the fast formatter against the C
// library's printf on the same values, per form and precision.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "format_diff.h"
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

void BM_FormatDouble(benchmark::State& state) {
    const dravik::CSensorFormat fmt{static_cast<int>(state.range(0)), 0, 0, -1,
                                    static_cast<int>(state.range(1))};
    const std::vector<double>& values = SensorValues();
    std::string row;
    std::size_t i = 0;
    for (auto _ : state) {
        row.clear();
        dravik::AppendDouble(row, values[i++ & 4095], fmt);
        benchmark::DoNotOptimize(row.data());
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_Snprintf(benchmark::State& state) {
    const int type = static_cast<int>(state.range(0));
    const int precision = static_cast<int>(state.range(1));
    const std::vector<double>& values = SensorValues();
    std::string row;
    char text[512];
    std::size_t i = 0;
    for (auto _ : state) {
        row.clear();
        const int n = dravik::format_diff::Reference(text, sizeof text, values[i++ & 4095], type,
                                                     -1, precision);
        row.append(text, static_cast<std::size_t>(n));
        benchmark::DoNotOptimize(row.data());
    }
    state.SetItemsProcessed(state.iterations());
}

// {double type, precision}: "f" at the conversion's default precision 10 first.
void Forms(benchmark::internal::Benchmark* b) {
    b->ArgNames({"type", "precision"});
    b->Args({0, 10})->Args({0, 3})->Args({0, -1})->Args({1, 10})->Args({2, 10})->Args({2, -1});
}

BENCHMARK(BM_FormatDouble)->Apply(Forms);
BENCHMARK(BM_Snprintf)->Apply(Forms);

}  // namespace

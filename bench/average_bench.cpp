// Inputs per second through the running-average core, as the binding drives
// it: fill the input elements, push them into the window, compute the means.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "average_core.h"

namespace {

namespace avg = lyr::average;

void BM_AverageInput(benchmark::State& state) {
    const int32_t mode = static_cast<int32_t>(state.range(0));
    const int n = static_cast<int>(state.range(1));
    const int32_t size = static_cast<int32_t>(state.range(2));

    avg::History history;
    if (!avg::allocate(history, n, 0, {}, {})) {
        state.SkipWithError("allocation failed");
        return;
    }
    // A few rows of positive values, so that every kind of mean stays finite.
    std::mt19937 rng(1);
    std::uniform_real_distribution<double> value(0.5, 100.0);
    std::vector<std::vector<double>> rows(7, std::vector<double>(static_cast<size_t>(n)));
    for (auto& row : rows)
        for (auto& v : row) v = value(rng);

    int32_t count = 0;
    size_t next = 0;
    for (auto _ : state) {
        const auto& row = rows[next];
        next = next + 1 == rows.size() ? 0 : next + 1;
        for (int i = 0; i < n; ++i) history.buffers.input[i] = {row[static_cast<size_t>(i)], true};
        const int w = avg::window(count, size);
        avg::push(history, n, size);
        avg::compute_means(history, n, w, mode);
        count = avg::advance(count, size);
        benchmark::DoNotOptimize(history.mean);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["elements"] = n;
    avg::release(history, {});
}

BENCHMARK(BM_AverageInput)
    ->ArgNames({"mode", "length", "size"})
    ->ArgsProduct({{avg::arithmetic, avg::geometric, avg::harmonic, avg::quadratic}, {1, 16, 256}, {10, 256}});

}  // namespace

BENCHMARK_MAIN();

// Statistics of lists up to the longest list a message can carry.
#include <benchmark/benchmark.h>

#include <vector>

#include "statistique_core.h"

static void BM_StatistiqueCompute(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    std::vector<float> values(n);
    for (std::size_t i = 0; i < n; ++i) values[i] = static_cast<float>((i * 7919) % 1000) * 0.01f - 3.0f;
    for (auto _ : state) benchmark::DoNotOptimize(lyrstat::statistique_compute(values.data(), values.size()));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_StatistiqueCompute)->Arg(8)->Arg(256)->Arg(32767);

BENCHMARK_MAIN();

// One bang's draw at the largest list size.
#include <benchmark/benchmark.h>

#include "rlg_core.h"

static void BM_RlgDraw(benchmark::State& state) {
    float mins[lyrrlg::kCapacity], maxs[lyrrlg::kCapacity], values[lyrrlg::kCapacity];
    lyrrlg::rlg_fill(mins, -5.0f);
    lyrrlg::rlg_fill(maxs, 5.0f);
    lyrrlg::RandomSource source;
    source.seed(1);
    for (auto _ : state) {
        lyrrlg::rlg_draw(source, mins, maxs, values, lyrrlg::kCapacity);
        benchmark::DoNotOptimize(values);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * lyrrlg::kCapacity);
}
BENCHMARK(BM_RlgDraw);

BENCHMARK_MAIN();

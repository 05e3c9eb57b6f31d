// Inputs per second through the smoothing core, as the binding drives it:
// fill the input elements, then one step.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "smooth_core.h"

namespace {

namespace sm = lyr::smooth;

void BM_SmoothInput(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    sm::State smoother;
    if (!sm::allocate(smoother, n, 0, {}, {})) {
        state.SkipWithError("allocation failed");
        return;
    }
    std::mt19937 rng(1);
    std::uniform_real_distribution<double> value(-100.0, 100.0);
    std::vector<std::vector<double>> rows(7, std::vector<double>(static_cast<size_t>(n)));
    for (auto& row : rows)
        for (auto& v : row) v = value(rng);

    const double fraction = sm::fraction(10);
    bool seed = true;
    size_t next = 0;
    for (auto _ : state) {
        const auto& row = rows[next];
        next = next + 1 == rows.size() ? 0 : next + 1;
        for (int i = 0; i < n; ++i) smoother.buffers.input[i] = {row[static_cast<size_t>(i)], true};
        sm::step(smoother, n, seed, fraction);
        seed = false;
        benchmark::DoNotOptimize(smoother.value);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
    sm::release(smoother, {});
}

BENCHMARK(BM_SmoothInput)->ArgName("length")->Arg(1)->Arg(16)->Arg(256);

}  // namespace

BENCHMARK_MAIN();

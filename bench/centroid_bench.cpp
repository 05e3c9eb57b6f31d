// Cost of the centroid analysis against the cost of its transforms alone.
//
// One iteration feeds window_size samples in 64-sample vectors, which runs
// exactly `overlap` transforms. The FFTW-only benchmark of the same size runs
// those `overlap` transforms and nothing else; at the end the ratio of the two
// is printed for every size, overlap and mode.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "centroid_core.h"

namespace {

constexpr int kVector = 64;

// Blocks aligned alike for every frame, as FFTW's own allocator gives them.
lyrcore::Allocator aligned_allocator() {
    lyrcore::Allocator a;
    a.allocate = [](std::size_t bytes) { return fftw_malloc(bytes); };
    a.release = [](void* p) { fftw_free(p); };
    return a;
}

std::vector<float> bench_signal(int window) {
    std::vector<float> s(static_cast<std::size_t>(window));
    unsigned seed = 12345;
    for (int t = 0; t < window; ++t) {
        seed = seed * 1664525u + 1013904223u;
        const float noise = static_cast<float>(seed >> 8) / 16777216.0f - 0.5f;
        s[static_cast<std::size_t>(t)] = static_cast<float>(0.4 * std::sin(0.05 * t)) + 0.2f * noise;
    }
    return s;
}

void BM_Centroid(benchmark::State& state) {
    const auto window = static_cast<int32_t>(state.range(0));
    const auto overlap = static_cast<int32_t>(state.range(1));
    lyrcentroid::Centroid c;
    c.logamp = static_cast<int32_t>(state.range(2));
    c.sample_rate = 44100.0f;
    lyrcentroid::setup(c, window, overlap, aligned_allocator(), lyrcore::Reporter{});
    const std::vector<float> signal = bench_signal(window);
    std::vector<float> out(kVector);
    for (auto _ : state) {
        for (int32_t at = 0; at < window; at += kVector) {
            lyrcentroid::process(c, signal.data() + at, out.data(), kVector);
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * window);
    lyrcentroid::release(c);
}

void BM_FftwOnly(benchmark::State& state) {
    const auto window = static_cast<int32_t>(state.range(0));
    const auto overlap = static_cast<int32_t>(state.range(1));
    const lyrcore::Allocator alloc = aligned_allocator();
    std::vector<lyrdsp::FftFrame> frames(static_cast<std::size_t>(overlap));
    const std::vector<float> signal = bench_signal(window);
    for (auto& f : frames) {
        lyrdsp::fft_frame_open(f, window, 0, alloc);
        for (int32_t t = 0; t < window; ++t) f.input[t] = signal[static_cast<std::size_t>(t)];
    }
    for (auto _ : state) {
        for (auto& f : frames) fftw_execute(f.plan);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * window);
    for (auto& f : frames) lyrdsp::fft_frame_close(f, alloc);
}

const std::vector<std::vector<int64_t>> kSizes = {{1024, 4}, {256, 8}, {4096, 4}};

// Keeps each benchmark's least CPU time per iteration over its repetitions
// (the machine is shared; the least time is the one least disturbed) and
// prints the ratios at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "min") times_[r.run_name.function_name + "/" + r.run_name.args] = r.GetAdjustedCPUTime();
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nanalysis cost / FFTW-only cost of the same transforms\n");
        for (const auto& size : kSizes) {
            const std::string suffix = "/" + std::to_string(size[0]) + "/" + std::to_string(size[1]);
            const auto fftw = times_.find("BM_FftwOnly" + suffix);
            if (fftw == times_.end()) continue;
            for (const char* mode : {"0", "1"}) {
                const auto full = times_.find("BM_Centroid" + suffix + "/" + mode);
                if (full == times_.end()) continue;
                std::printf("  N %5lld overlap %lld %-8s %.2fx\n", static_cast<long long>(size[0]),
                            static_cast<long long>(size[1]), mode[0] == '0' ? "power" : "decibel",
                            full->second / fftw->second);
            }
        }
    }

private:
    std::map<std::string, double> times_;
};

}  // namespace

void repeat(benchmark::internal::Benchmark* b) {
    b->Repetitions(5)->ReportAggregatesOnly(true)->ComputeStatistics("min", [](const std::vector<double>& v) {
        return *std::min_element(v.begin(), v.end());
    });
}

int main(int argc, char** argv) {
    for (const auto& size : kSizes) {
        repeat(benchmark::RegisterBenchmark("BM_FftwOnly", BM_FftwOnly)->Args({size[0], size[1]}));
        for (int64_t logamp : {0, 1}) {
            repeat(benchmark::RegisterBenchmark("BM_Centroid", BM_Centroid)->Args({size[0], size[1], logamp}));
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

// Cost of the spectrum analyser's audio side against the cost of its FFTs alone.
//
//   build/bench/spectrum_bench [--benchmark_repetitions=5 --benchmark_report_aggregates_only=true]
//
// BM_Perform/N/overlap/logamp feeds noise in 64-sample vectors (one window of
// samples per iteration); BM_FftwOnly/N/overlap runs the same number of
// transforms of the same size on the same kind of buffers with the same
// estimate-only plans. After the usual table, a summary gives for each setting
// the ratio perform / FFTW-only, and the per-vector figures of a separate timed
// pass: the median vector, the slowest vector phase (the median, over many
// windows, of the vector at each position in the window cycle), and one
// transform's time, so that "worst - ordinary" can be held against a transform.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "spectrum_core.h"

namespace {

constexpr int32_t kVector = 64;

std::vector<float> noise(std::size_t count) {
    std::mt19937 rng(12345);
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    std::vector<float> x(count);
    for (float& v : x) v = d(rng);
    return x;
}

struct Analyser {
    lyrspectrum::Spectrum s;
    Analyser(int32_t n, int32_t overlap) { lyrspectrum::spectrum_open(s, n, overlap, 44100, {}, {}); }
    ~Analyser() { lyrspectrum::spectrum_close(s); }
};

void drain(lyrspectrum::Spectrum& s) {
    lyrspectrum::spectrum_poll(s, {0, 5, 0}, [](void*, int32_t, const float*, int32_t) {}, nullptr);
}

using Clock = std::chrono::steady_clock;

double ns_between(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::nano>(b - a).count();
}

double median(std::vector<double> v) {
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

// One transform of size n, as the analyser's frames plan it.
double transform_ns(int32_t n) {
    auto* in = static_cast<double*>(std::malloc(sizeof(double) * n));
    auto* out = static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * (n / 2 + 1)));
    const std::vector<float> x = noise(static_cast<std::size_t>(n));
    for (int32_t k = 0; k < n; ++k) in[k] = x[k];
    fftw_plan p = fftw_plan_dft_r2c_1d(n, in, out, FFTW_ESTIMATE);
    std::vector<double> times;
    for (int r = 0; r < 201; ++r) {
        const auto a = Clock::now();
        fftw_execute(p);
        times.push_back(ns_between(a, Clock::now()));
    }
    fftw_destroy_plan(p);
    fftw_free(out);
    std::free(in);
    return median(times);
}

struct VectorFigures {
    double ordinary_ns = 0, worst_phase_ns = 0, worst_single_ns = 0, transform_ns = 0;
};
std::map<std::string, VectorFigures>& vector_figures() {
    static std::map<std::string, VectorFigures> m;
    return m;
}

void BM_Perform(benchmark::State& state) {
    const auto n = static_cast<int32_t>(state.range(0));
    const auto overlap = static_cast<int32_t>(state.range(1));
    const auto logamp = static_cast<int32_t>(state.range(2));
    Analyser a(n, overlap);
    const std::vector<float> x = noise(static_cast<std::size_t>(n) * 2);
    // Warm up past every frame's second transform.
    for (int32_t t = 0; t < 2 * n; t += kVector) lyrspectrum::spectrum_process(a.s, x.data() + t, kVector, logamp);
    drain(a.s);

    int64_t offset = 0;
    for (auto _ : state) {
        for (int32_t t = 0; t < n; t += kVector) {
            lyrspectrum::spectrum_process(a.s, x.data() + offset + t, kVector, logamp);
        }
        offset = offset == 0 ? n : 0;
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n);

    // Per-vector pass: each vector timed alone, grouped by its place in the
    // window cycle (the transform pattern repeats every n samples).
    const int32_t phases = n / kVector;
    const int32_t windows = std::max(16, 65536 / n);
    std::vector<std::vector<double>> by_phase(static_cast<std::size_t>(phases));
    std::vector<double> all;
    for (int32_t w = 0; w < windows; ++w) {
        for (int32_t ph = 0; ph < phases; ++ph) {
            const float* v = x.data() + (w % 2) * n + ph * kVector;
            const auto t0 = Clock::now();
            lyrspectrum::spectrum_process(a.s, v, kVector, logamp);
            const double ns = ns_between(t0, Clock::now());
            by_phase[static_cast<std::size_t>(ph)].push_back(ns);
            all.push_back(ns);
        }
        drain(a.s);
    }
    VectorFigures f;
    f.ordinary_ns = median(all);
    for (auto& p : by_phase) f.worst_phase_ns = std::max(f.worst_phase_ns, median(p));
    f.worst_single_ns = *std::max_element(all.begin(), all.end());
    f.transform_ns = transform_ns(n);
    vector_figures()[std::to_string(n) + "/" + std::to_string(overlap) + "/" + std::to_string(logamp)] = f;
    state.counters["vector_ns"] = f.ordinary_ns;
    state.counters["worst_phase_ns"] = f.worst_phase_ns;
    state.counters["worst_single_ns"] = f.worst_single_ns;
    state.counters["transform_ns"] = f.transform_ns;
}

void BM_FftwOnly(benchmark::State& state) {
    const auto n = static_cast<int32_t>(state.range(0));
    const auto overlap = static_cast<int32_t>(state.range(1));
    const std::vector<float> x = noise(static_cast<std::size_t>(n));
    struct Frame {
        double* in;
        fftw_complex* out;
        fftw_plan plan;
    };
    std::vector<Frame> frames(static_cast<std::size_t>(overlap));
    for (Frame& f : frames) {
        f.in = static_cast<double*>(std::malloc(sizeof(double) * n));
        f.out = static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * (n / 2 + 1)));
        std::memset(f.in, 0, sizeof(double) * n);
        f.plan = fftw_plan_dft_r2c_1d(n, f.in, f.out, FFTW_ESTIMATE);
        for (int32_t k = 0; k < n; ++k) f.in[k] = x[k];
    }
    for (auto _ : state) {
        for (Frame& f : frames) fftw_execute(f.plan);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n);
    for (Frame& f : frames) {
        fftw_destroy_plan(f.plan);
        fftw_free(f.out);
        std::free(f.in);
    }
}

const std::vector<std::pair<int64_t, int64_t>> kSettings = {{1024, 4}, {256, 8}, {4096, 4}, {16384, 8}};

void perform_args(benchmark::internal::Benchmark* b) {
    for (auto [n, o] : kSettings)
        for (int64_t logamp : {0, 1}) b->Args({n, o, logamp});
}
void fftw_args(benchmark::internal::Benchmark* b) {
    for (auto [n, o] : kSettings) b->Args({n, o});
}

BENCHMARK(BM_Perform)->Apply(perform_args)->ArgNames({"N", "overlap", "logamp"});
BENCHMARK(BM_FftwOnly)->Apply(fftw_args)->ArgNames({"N", "overlap"});

// The usual console table, then the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.error_occurred) continue;
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name != "median") continue;
            cpu_[r.run_name.function_name + "/" + r.run_name.args] = r.GetAdjustedCPUTime();
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\n%-10s %-7s %12s %10s %10s %15s %13s %13s %17s\n", "setting", "scale", "perform/fftw",
                    "vector_ns", "worst_ns", "worst-ordinary", "transform_ns", "in_fftw_run", "excess/transform");
        for (auto [n, o] : kSettings) {
            const std::string key = "N:" + std::to_string(n) + "/overlap:" + std::to_string(o);
            const auto fftw = cpu_.find("BM_FftwOnly/" + key);
            for (int logamp : {0, 1}) {
                const auto perf = cpu_.find("BM_Perform/" + key + "/logamp:" + std::to_string(logamp));
                if (fftw == cpu_.end() || perf == cpu_.end()) continue;
                const VectorFigures& f =
                    vector_figures()[std::to_string(n) + "/" + std::to_string(o) + "/" + std::to_string(logamp)];
                const double excess = f.worst_phase_ns - f.ordinary_ns;
                // One transform's time alone (hot buffers), and its share of the
                // FFTW-only run (all frames' buffers, as the analysis has them).
                const double in_fftw_run = fftw->second / static_cast<double>(o);
                std::printf("%-10s %-7s %11.2fx %10.0f %10.0f %15.0f %13.0f %13.0f %8.2fx / %.2fx\n",
                            (std::to_string(n) + "/" + std::to_string(o)).c_str(), logamp ? "dB" : "linear",
                            perf->second / fftw->second, f.ordinary_ns, f.worst_phase_ns, excess, f.transform_ns,
                            in_fftw_run, excess / f.transform_ns, excess / in_fftw_run);
            }
        }
    }

private:
    std::map<std::string, double> cpu_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

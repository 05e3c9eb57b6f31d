// Matching one input against 25 references of 350 elements: the core's
// computation against a plain loop that calls pow for every element, for
// p = 1, 2 and 3, with and without weights. Before timing, the two are checked
// to agree (every distance within 1e-12 relative, the same closest key); after
// timing, the speed-up of the core over the pow loop is printed per case.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "distance_core.h"

namespace {

using lyrdistance::Atom;
using lyrdistance::AtomList;
using lyrdistance::kLength;
using lyrdistance::kSlots;

AtomList list_of(const std::vector<Atom>& atoms) {
    return {atoms.data(), atoms.size(), sizeof(Atom), [](const void* p) { return *static_cast<const Atom*>(p); }};
}

// A full table: 25 references of 350 random values, a random input and
// random weights.
struct Fixture {
    lyrdistance::Matcher matcher;
    Fixture() {
        std::mt19937 rng(1234);
        std::uniform_real_distribution<double> value(-1.0, 1.0), weight(0.0, 2.0);
        std::vector<Atom> msg;
        for (int key = 1; key <= kSlots; ++key) {
            msg.assign(1, Atom::integer(key));
            for (int k = 0; k < kLength; ++k) msg.push_back(Atom::real(static_cast<float>(value(rng))));
            matcher.store(list_of(msg));
        }
        msg.clear();
        for (int k = 0; k < kLength; ++k) msg.push_back(Atom::real(static_cast<float>(value(rng))));
        matcher.set_input(list_of(msg));
        msg.clear();
        for (int k = 0; k < kLength; ++k) msg.push_back(Atom::real(static_cast<float>(weight(rng))));
        matcher.set_weights(list_of(msg));
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

// The plain loop: pow for each term and for the root, terms added in order.
struct PowResult {
    double distances[kSlots];
    int closest;
};

PowResult pow_loop(const lyrdistance::Matcher& m, double p, bool weighted) {
    PowResult out{};
    double best = 0.0;
    bool first = true;
    for (int j = 0; j < m.count(); ++j) {
        if (!m.filled(j)) continue;
        const double* x = m.input();
        const double* r = m.reference(j);
        const double scale = 350.0 / static_cast<double>(m.length(j) - 1);
        double sum = 0.0;
        for (int k = 0; k < kLength; ++k) {
            double t = std::pow(std::fabs(x[k] - r[k]), p) / scale;
            if (weighted) t = t * m.weights()[k];
            sum = t + sum;
        }
        out.distances[j] = std::pow(sum, 1.0 / p);
        if (first || out.distances[j] < best) {
            best = out.distances[j];
            out.closest = j + 1;
        }
        first = false;
    }
    return out;
}

void BM_Core(benchmark::State& state) {
    const double p = static_cast<double>(state.range(0));
    const bool weighted = state.range(1) != 0;
    auto& m = fixture().matcher;
    for (auto _ : state) {
        benchmark::DoNotOptimize(m.compute(p, weighted));
        benchmark::DoNotOptimize(m.closest());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());  // one item: one input matched against 25 references
}

void BM_PowLoop(benchmark::State& state) {
    const double p = static_cast<double>(state.range(0));
    const bool weighted = state.range(1) != 0;
    auto& m = fixture().matcher;
    for (auto _ : state) {
        PowResult r = pow_loop(m, p, weighted);
        benchmark::DoNotOptimize(r);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}

void cases(benchmark::internal::Benchmark* b) {
    b->ArgNames({"p", "weights"});
    for (int p : {1, 2, 3})
        for (int w : {0, 1}) b->Args({p, w});
}

BENCHMARK(BM_Core)->Apply(cases);
BENCHMARK(BM_PowLoop)->Apply(cases);

// Checks that the core and the pow loop agree; prints any disagreement.
bool results_agree() {
    auto& m = fixture().matcher;
    bool ok = true;
    for (int p : {1, 2, 3}) {
        for (bool weighted : {false, true}) {
            PowResult ref = pow_loop(m, p, weighted);
            m.compute(p, weighted);
            double worst = 0.0;
            for (int j = 0; j < kSlots; ++j)
                worst = std::fmax(worst, std::fabs(m.distance(j) - ref.distances[j]) / ref.distances[j]);
            const bool same_key = m.closest() == ref.closest;
            std::printf("p=%d weights=%d: largest relative difference %.3g, closest key %d (pow loop %d)\n", p,
                        weighted, worst, m.closest(), ref.closest);
            if (!(worst <= 1e-12) || !same_key) ok = false;
        }
    }
    return ok;
}

// Console output as usual, keeping the CPU time per iteration of each case
// (steadier than wall time on a shared machine).
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> times;
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration) times[r.benchmark_name()] = r.GetAdjustedCPUTime();
    }
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    if (!results_agree()) {
        std::printf("the core and the pow loop disagree\n");
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nspeed-up of the core over the pow loop (same run):\n");
    for (int p : {1, 2, 3}) {
        for (int w : {0, 1}) {
            const std::string args = "/p:" + std::to_string(p) + "/weights:" + std::to_string(w);
            auto core = reporter.times.find("BM_Core" + args);
            auto plain = reporter.times.find("BM_PowLoop" + args);
            if (core == reporter.times.end() || plain == reporter.times.end()) continue;
            std::printf("p=%d weights=%d: %.1fx (%.0f matches/s against %.0f)\n", p, w, plain->second / core->second,
                        1e9 / core->second, 1e9 / plain->second);
        }
    }
    benchmark::Shutdown();
    return 0;
}

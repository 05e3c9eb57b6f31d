// Helpers shared by the spectrum analyser's tests.
#pragma once

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "spectrum_core.h"

namespace spectrum_test {

struct Lines {
    std::vector<std::string> lines;
    lyrcore::Reporter reporter() {
        lyrcore::Reporter r;
        r.context = this;
        r.line = [](void* context, const char* text) { static_cast<Lines*>(context)->lines.emplace_back(text); };
        return r;
    }
};

struct SentList {
    int32_t frame;
    std::vector<float> values;
};

struct Sent {
    std::vector<SentList> lists;
    static void sink(void* context, int32_t frame, const float* values, int32_t count) {
        static_cast<Sent*>(context)->lists.push_back(SentList{frame, std::vector<float>(values, values + count)});
    }
};

inline int32_t poll(lyrspectrum::Spectrum& s, Sent& sent, lyrspectrum::PollSettings settings = {0, 1, 0}) {
    return lyrspectrum::spectrum_poll(s, settings, &Sent::sink, &sent);
}

// Several sines plus noise, deterministic.
inline std::vector<float> test_signal(std::size_t count, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> noise(-0.1f, 0.1f);
    std::vector<float> x(count);
    for (std::size_t t = 0; t < count; ++t) {
        const double tt = static_cast<double>(t);
        x[t] = static_cast<float>(0.5 * std::sin(0.0613 * tt) + 0.25 * std::sin(0.4 * tt + 1.0) +
                                  0.125 * std::sin(2.1 * tt)) +
               noise(rng);
    }
    return x;
}

}  // namespace spectrum_test

#include "centroid_core.h"

#include <algorithm>
#include <memory>

namespace lyrcentroid {

namespace {

void set_size(Centroid& c, int32_t window_size, int32_t overlap) {
    c.window_size = window_size;
    c.overlap = overlap;
    c.half_size = window_size / 2;
    c.scale = lyrdsp::analysis_scale(c.half_size);
    c.centroid = 0.0f;
}

// Takes the sums, the frame array and every frame, or nothing at all.
bool open_frames(Centroid& c) {
    const auto count = static_cast<std::size_t>(c.overlap);
    c.weight_sums = static_cast<float*>(c.allocator.allocate(count * sizeof(float)));
    c.moment_sums = static_cast<float*>(c.allocator.allocate(count * sizeof(float)));
    c.frames = static_cast<Frame*>(c.allocator.allocate(count * sizeof(Frame)));
    // Zeroed frames first, so that release() can close any of them.
    if (c.frames) std::uninitialized_value_construct_n(c.frames, count);
    if (!c.weight_sums || !c.moment_sums || !c.frames) {
        release(c);
        return false;
    }
    std::fill_n(c.weight_sums, count, 0.0f);
    std::fill_n(c.moment_sums, count, 0.0f);
    for (int32_t i = 0; i < c.overlap; ++i) {
        const int32_t position = lyrdsp::stagger_position(c.window_size, i, c.overlap);
        c.partial_pass[i] = position > 1 && position <= c.half_size;
        if (!lyrdsp::fft_frame_open(c.frames[i], c.window_size, position, c.allocator)) {
            release(c);
            return false;
        }
    }
    return true;
}

float pass_centroid(float moment_sum, float weight_sum, int32_t logamp, float sample_rate, int32_t window_size) {
    if (weight_sum == 0.0f) return 0.0f;
    const double mean_bin = static_cast<double>(moment_sum) / static_cast<double>(weight_sum);
    const double rate = sample_rate;
    const double hz = mean_bin * rate / window_size + rate * 0.5 / window_size;
    // Decibel weights are mostly negative: the mean bin is mirrored about half the sample rate.
    return static_cast<float>(logamp == 1 ? rate / 2 - hz : hz);
}

// The bins one frame takes during a run of samples: [first, last] of its
// spectrum as it stands at the end of the run, summed into its pass.
struct BinRun {
    const fftw_complex* spectrum;
    int32_t first;
    int32_t last;
    float moment;
    float weight;
};

template <bool Decibels>
inline float bin_value(const fftw_complex& bin, double scale) {
    if constexpr (Decibels) {
        return lyrdsp::decibels(lyrdsp::scaled_magnitude(bin, scale));
    } else {
        return static_cast<float>(bin[0] * bin[0] + bin[1] * bin[1]);
    }
}

// Sums the next `count` bins of K runs side by side. Each run's sums still
// take their bins one after another, in bin order and in single precision;
// only the independent chains of different frames are interleaved.
template <bool Decibels, int K>
void sum_side_by_side(BinRun* const* runs, int32_t count, double scale) {
    const fftw_complex* spectrum[K];
    int32_t first[K];
    float moment[K];
    float weight[K];
    for (int r = 0; r < K; ++r) {
        spectrum[r] = runs[r]->spectrum;
        first[r] = runs[r]->first;
        moment[r] = runs[r]->moment;
        weight[r] = runs[r]->weight;
    }
    for (int32_t j = 0; j < count; ++j) {
#pragma GCC unroll 4
        for (int r = 0; r < K; ++r) {
            const int32_t b = first[r] + j;
            const float v = bin_value<Decibels>(spectrum[r][b], scale);
            moment[r] = static_cast<float>(b) * v + moment[r];
            weight[r] = weight[r] + v;
        }
    }
    for (int r = 0; r < K; ++r) {
        runs[r]->first = first[r] + count;
        runs[r]->moment = moment[r];
        runs[r]->weight = weight[r];
    }
}

template <bool Decibels>
void sum_runs(BinRun* const* runs, int count, double scale) {
    BinRun* left[kMaxOverlap];
    int n = 0;
    for (int r = 0; r < count; ++r) {
        if (runs[r]->first <= runs[r]->last) left[n++] = runs[r];
    }
    while (n > 0) {
        const int group = std::min(n, 4);
        int32_t bins = left[0]->last - left[0]->first + 1;
        for (int r = 1; r < group; ++r) bins = std::min(bins, left[r]->last - left[r]->first + 1);
        switch (group) {
            case 1: sum_side_by_side<Decibels, 1>(left, bins, scale); break;
            case 2: sum_side_by_side<Decibels, 2>(left, bins, scale); break;
            case 3: sum_side_by_side<Decibels, 3>(left, bins, scale); break;
            default: sum_side_by_side<Decibels, 4>(left, bins, scale); break;
        }
        int kept = 0;
        for (int r = 0; r < n; ++r) {
            if (left[r]->first <= left[r]->last) left[kept++] = left[r];
        }
        n = kept;
    }
}

// Runs `n` samples through every frame, where no pass completes before the
// last of them. Within such a run a frame takes bins from one spectrum only:
// either it is inside its pass and takes bins from where it stands, or it is
// past half_size and its bins, if any, follow its next transform.
void run_frames(Centroid& c, const float* in, int32_t n) {
    const int32_t half = c.half_size;
    const int32_t logamp = c.logamp;
    BinRun runs[kMaxOverlap];
    BinRun* taking[kMaxOverlap];
    bool completes[kMaxOverlap];
    int count = 0;
    for (int32_t i = 0; i < c.overlap; ++i) {
        Frame& f = c.frames[i];
        BinRun& run = runs[i];
        run = BinRun{f.spectrum, 1, 0, c.moment_sums[i], c.weight_sums[i]};
        completes[i] = false;
        lyrdsp::fft_frame_feed(
            f, c.window_size, in, n,
            [&](int32_t from, int32_t to, int32_t) {
                if (from > half) return;
                run.first = std::max(from, 1);  // bin 0 is taken but left out of the sums
                run.last = std::min(to - 1, half);
                completes[i] = half < to;
                // A 2-sample window transforms right after its last bin: take them now.
                if (to == c.window_size) {
                    BinRun* now = &run;
                    if (logamp == 1)
                        sum_runs<true>(&now, 1, c.scale);
                    else
                        sum_runs<false>(&now, 1, c.scale);
                }
            },
            [](int32_t) {});
        if (run.first <= run.last) taking[count++] = &run;
    }
    if (logamp == 1)
        sum_runs<true>(taking, count, c.scale);
    else
        sum_runs<false>(taking, count, c.scale);
    // Frames in index order: when several complete on the same sample the
    // last one sets the output.
    for (int32_t i = 0; i < c.overlap; ++i) {
        float moment = runs[i].moment;
        float weight = runs[i].weight;
        if (completes[i]) {
            if (c.partial_pass[i])
                c.partial_pass[i] = false;
            else
                c.centroid = pass_centroid(moment, weight, logamp, c.sample_rate, c.window_size);
            moment = 0.0f;
            weight = 0.0f;
        }
        c.moment_sums[i] = moment;
        c.weight_sums[i] = weight;
    }
}

}  // namespace

void setup(Centroid& c, int64_t window_size, int64_t overlap, const lyrcore::Allocator& allocator,
           const lyrcore::Reporter& reporter) {
    release(c);
    c.allocator = allocator;
    c.reporter = reporter;
    const bool overlap_ok = overlap >= 1 && overlap <= kMaxOverlap;
    const auto frames = static_cast<int32_t>(overlap_ok ? overlap : kDefaultOverlap);
    const bool window_ok = window_size > 0 && window_size % 2 == 0 && lyrdsp::frames_fit(window_size, frames);
    if (!window_ok) c.reporter(kWindowSizeMessage);
    if (!overlap_ok) c.reporter(kOverlapMessage);
    set_size(c, window_ok ? static_cast<int32_t>(window_size) : kDefaultWindowSize, frames);
    if (open_frames(c)) return;
    // A window whose buffers cannot be had is a bad window size too.
    if (c.window_size != kDefaultWindowSize) {
        c.reporter(kWindowSizeMessage);
        set_size(c, kDefaultWindowSize, frames);
    }
    take_frames(c);
}

bool take_frames(Centroid& c) {
    if (c.frames) return true;
    if (c.window_size < 2 || c.overlap < 1) return false;
    set_size(c, c.window_size, c.overlap);
    if (open_frames(c)) return true;
    c.reporter(kNoMemoryMessage);
    return false;
}

void release(Centroid& c) {
    if (c.frames) {
        for (int32_t i = 0; i < c.overlap; ++i) lyrdsp::fft_frame_close(c.frames[i], c.allocator);
    }
    c.allocator.release(c.frames);
    c.allocator.release(c.weight_sums);
    c.allocator.release(c.moment_sums);
    c.frames = nullptr;
    c.weight_sums = nullptr;
    c.moment_sums = nullptr;
}

void process(Centroid& c, const float* in, float* out, int32_t n) {
    if (n <= 0) return;
    if (!c.frames) {
        std::fill(out, out + n, c.centroid);
        return;
    }
    const int32_t window = c.window_size;
    const int32_t half = c.half_size;
    for (int32_t k = 0; k < n;) {
        // The samples up to and including the next completed pass of any frame:
        // within them the output holds, and it changes at most at the last one.
        int32_t count = n - k;
        for (int32_t i = 0; i < c.overlap; ++i) {
            const int32_t p = c.frames[i].position;
            count = std::min(count, (p <= half ? half - p : window - p + half) + 1);
        }
        const float held = c.centroid;
        run_frames(c, in + k, count);
        // Every input sample of the run has been read; the output may overwrite them.
        std::fill(out + k, out + k + count - 1, held);
        out[k + count - 1] = c.centroid;
        k += count;
    }
}

}  // namespace lyrcentroid

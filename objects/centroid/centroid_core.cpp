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

// Adds bins [from, last] of a spectrum to a pass's sums (bin 0 is left out),
// in bin order, each sum kept in single precision as the pass goes.
template <bool Decibels>
void sum_bins(const fftw_complex* spectrum, int32_t from, int32_t last, double scale, float& moment, float& weight) {
    for (int32_t b = std::max(from, 1); b <= last; ++b) {
        float v;
        if constexpr (Decibels) {
            v = lyrdsp::decibels(lyrdsp::scaled_magnitude(spectrum[b], scale));
        } else {
            const double re = spectrum[b][0];
            const double im = spectrum[b][1];
            v = static_cast<float>(re * re + im * im);
        }
        moment = static_cast<float>(b) * v + moment;
        weight = weight + v;
    }
}

// Feeds `n` samples to frame i; no pass of it completes before the last of them.
void feed_frame(Centroid& c, int32_t i, const float* in, int32_t n, int32_t logamp) {
    Frame& f = c.frames[i];
    const int32_t half = c.half_size;
    const double scale = c.scale;
    float moment = c.moment_sums[i];
    float weight = c.weight_sums[i];
    lyrdsp::fft_frame_feed(
        f, c.window_size, in, n,
        [&](int32_t from, int32_t to, int32_t) {
            const int32_t last = std::min(to - 1, half);
            if (logamp == 1)
                sum_bins<true>(f.spectrum, from, last, scale, moment, weight);
            else
                sum_bins<false>(f.spectrum, from, last, scale, moment, weight);
            if (from <= half && half < to) {
                if (c.partial_pass[i])
                    c.partial_pass[i] = false;
                else
                    c.centroid = pass_centroid(moment, weight, logamp, c.sample_rate, c.window_size);
                moment = 0.0f;
                weight = 0.0f;
            }
        },
        [](int32_t) {});
    c.moment_sums[i] = moment;
    c.weight_sums[i] = weight;
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
        const int32_t logamp = c.logamp;
        // Frames in index order: when several complete on the same sample the
        // last one sets the output.
        for (int32_t i = 0; i < c.overlap; ++i) feed_frame(c, i, in + k, count, logamp);
        // Every input sample of the run has been read; the output may overwrite them.
        std::fill(out + k, out + k + count - 1, held);
        out[k + count - 1] = c.centroid;
        k += count;
    }
}

}  // namespace lyrcentroid

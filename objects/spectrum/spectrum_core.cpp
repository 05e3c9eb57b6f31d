#include "spectrum_core.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

namespace lyrspectrum {

namespace {

constexpr int32_t kFresh = 4;      // set on `middle` while its slot has not been taken
constexpr int32_t kSlotMask = 3;

uint64_t pack(Bins b) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(b.high)) << 32) | static_cast<uint32_t>(b.low);
}

Bins unpack(uint64_t word) {
    return Bins{static_cast<int32_t>(static_cast<uint32_t>(word)), static_cast<int32_t>(word >> 32)};
}

// An edge in Hz as an FFT bin: (edge / sample_rate) * window_size in double
// precision, truncated towards zero, kept within 0..half_size.
int32_t edge_to_bin(const Spectrum& s, float edge) {
    if (s.sample_rate <= 0) return 0;
    const double bin = std::trunc(static_cast<double>(edge) / s.sample_rate * s.window_size);
    if (!(bin >= 0.0)) return 0;
    return bin > s.half_size ? s.half_size : static_cast<int32_t>(bin);
}

void publish_bins(Spectrum& s, int32_t low, int32_t high) {
    s.bins.store(pack(Bins{low, high}), std::memory_order_release);
}

float* slot(const Spectrum& s, const SpectrumFrame& f, int32_t index) {
    return f.slots + static_cast<std::size_t>(index) * static_cast<std::size_t>(s.list_capacity);
}

// The frame's list is complete: hand a copy of it to the poll side. Lists
// completed before the second transform carry samples from before the frame's
// first full window and are not handed out.
void complete_list(const Spectrum& s, SpectrumFrame& f, int32_t count) {
    if (f.transforms < 2) return;
    std::memcpy(slot(s, f, f.back), f.magnitudes, sizeof(float) * static_cast<std::size_t>(count));
    f.slot_count[f.back] = count;
    f.back = f.middle.exchange(f.back | kFresh, std::memory_order_acq_rel) & kSlotMask;
}

// Bins [from, to) of the spectrum into out[0 .. to - from), linear: the hot
// loop of the analysis.
[[gnu::always_inline]] inline void linear_magnitudes(float* out, const fftw_complex* spectrum, int32_t from,
                                                     int32_t to, double scale) {
    const fftw_complex* bin = spectrum + from;
    const int32_t count = to - from;
    for (int32_t k = 0; k < count; ++k) out[k] = static_cast<float>(lyrdsp::scaled_magnitude(bin[k], scale));
}

// The same in decibels.
void take_decibels(float* out, const fftw_complex* spectrum, int32_t from, int32_t to, double scale) {
    const fftw_complex* bin = spectrum + from;
    const int32_t count = to - from;
    for (int32_t k = 0; k < count; ++k) out[k] = lyrdsp::decibels(lyrdsp::scaled_magnitude(bin[k], scale));
}

template <bool Decibels>
void process_frames(Spectrum& s, const float* samples, int32_t n, Bins bins) {
    const double scale = s.scale;
    const int32_t count = bins.count();
    for (int32_t i = 0; i < s.overlap; ++i) {
        SpectrumFrame& f = s.frames[i];
        lyrdsp::fft_frame_feed(
            f.fft, s.window_size, samples, n,
            [&](int32_t from, int32_t to, int32_t) {
                const int32_t lo = std::max(from, bins.low);
                const int32_t hi = std::min(to, bins.high);
                // Entry k of the list holds bin low + k.
                if (lo < hi) {
                    float* out = f.magnitudes + (lo - bins.low);
                    if (Decibels)
                        take_decibels(out, f.fft.spectrum, lo, hi, scale);
                    else
                        s.take_linear(out, f.fft.spectrum, lo, hi, scale);
                }
                if (from <= bins.high && bins.high < to) complete_list(s, f, count);
            },
            [&](int32_t) {
                if (f.transforms < INT32_MAX) ++f.transforms;
            });
    }
}

void release_frames(Spectrum& s) {
    if (!s.frames) return;
    for (int32_t i = 0; i < s.overlap; ++i) {
        SpectrumFrame& f = s.frames[i];
        lyrdsp::fft_frame_close(f.fft, s.alloc);
        s.alloc.release(f.magnitudes);
        s.alloc.release(f.slots);
        f.~SpectrumFrame();
    }
    s.alloc.release(s.frames);
    s.frames = nullptr;
}

bool take_buffers(Spectrum& s) {
    const auto half = static_cast<std::size_t>(s.half_size);
    const auto capacity = static_cast<std::size_t>(s.list_capacity);
    s.warp_buffer = static_cast<float*>(s.alloc.allocate(sizeof(float) * half));
    s.smooth_buffer = static_cast<float*>(s.alloc.allocate(sizeof(float) * half));
    void* frames = s.alloc.allocate(sizeof(SpectrumFrame) * static_cast<std::size_t>(s.overlap));
    if (!s.warp_buffer || !s.smooth_buffer || !frames) {
        s.alloc.release(frames);
        return false;
    }
    s.frames = static_cast<SpectrumFrame*>(frames);
    for (int32_t i = 0; i < s.overlap; ++i) new (&s.frames[i]) SpectrumFrame();
    for (int32_t i = 0; i < s.overlap; ++i) {
        SpectrumFrame& f = s.frames[i];
        f.magnitudes = static_cast<float*>(s.alloc.allocate(sizeof(float) * half));
        f.slots = static_cast<float*>(s.alloc.allocate(sizeof(float) * capacity * 3));
        if (!f.magnitudes || !f.slots) return false;
        std::fill_n(f.magnitudes, half, 0.0f);
        std::fill_n(f.slots, capacity * 3, 0.0f);
        const int32_t position = lyrdsp::stagger_position(s.window_size, i, s.overlap);
        if (!lyrdsp::fft_frame_open(f.fft, s.window_size, position, s.alloc)) return false;
    }
    return true;
}

}  // namespace

// The same loop built for AVX2 and for the baseline. Square root, product and
// narrowing are exactly rounded on both paths, so the bits are the same.
#if defined(__x86_64__) || defined(__i386__)
[[gnu::target("avx2")]] void take_linear_avx2(float* out, const fftw_complex* spectrum, int32_t from, int32_t to,
                                              double scale) {
    linear_magnitudes(out, spectrum, from, to, scale);
}
#else
void take_linear_avx2(float* out, const fftw_complex* spectrum, int32_t from, int32_t to, double scale) {
    linear_magnitudes(out, spectrum, from, to, scale);
}
#endif
void take_linear_baseline(float* out, const fftw_complex* spectrum, int32_t from, int32_t to, double scale) {
    linear_magnitudes(out, spectrum, from, to, scale);
}

bool spectrum_open(Spectrum& s, int32_t window_size, int32_t overlap, double sample_rate,
                   const lyrcore::Allocator& alloc, const lyrcore::Reporter& report) {
    s.alloc = alloc;
    s.report = report;
    spectrum_set_sample_rate(s, sample_rate);

    if (window_size <= 0 || window_size % 2 != 0 || window_size > kMaxWindowSize) {
        window_size = kDefaultWindowSize;
        report("lyr.spectrum~ :Error in FFT window size, set to 1024 samples");
    }
    if (overlap < 1 || !lyrdsp::frames_fit(window_size, overlap)) {
        overlap = kDefaultOverlap;
        report("lyr.spectrum~ :Error in overlapping, set to 2");
    }
    s.window_size = window_size;
    s.overlap = overlap;
    s.half_size = window_size / 2;
    s.scale = lyrdsp::analysis_scale(s.half_size);
    s.list_capacity = std::max(s.half_size, kResizeLength);
#if defined(__x86_64__) || defined(__i386__)
    s.take_linear = __builtin_cpu_supports("avx2") ? take_linear_avx2 : take_linear_baseline;
#else
    s.take_linear = take_linear_baseline;
#endif

    s.domain[0] = 0.0f;
    s.domain[1] = static_cast<float>(s.sample_rate / 2);
    publish_bins(s, edge_to_bin(s, s.domain[0]), edge_to_bin(s, s.domain[1]));
    s.smooth_primed = 0;

    if (!take_buffers(s)) {
        spectrum_close(s);
        report(kNoMemoryMessage);
        return false;
    }
    return true;
}

void spectrum_close(Spectrum& s) {
    release_frames(s);
    s.alloc.release(s.warp_buffer);
    s.alloc.release(s.smooth_buffer);
    s.warp_buffer = nullptr;
    s.smooth_buffer = nullptr;
}

void spectrum_set_domain(Spectrum& s, std::optional<float> low, std::optional<float> high) {
    const int32_t nyquist = s.sample_rate / 2;
    if (low) s.domain[0] = *low;
    if (!(s.domain[0] >= 0.0f) || s.domain[0] > static_cast<float>(nyquist - 1)) {
        s.domain[0] = 0.0f;
        s.report("lyr.spectrum~ : error in low size domain (minimum is 0)");
    }
    const int32_t low_bin = edge_to_bin(s, s.domain[0]);

    if (high) s.domain[1] = *high;
    if (!(s.domain[1] <= static_cast<float>(nyquist)) || s.domain[1] < s.domain[0]) {
        s.domain[1] = static_cast<float>(nyquist);
        s.report("lyr.spectrum~ : error in high size domain (maximum is half of sampling-rate)");
        char line[96];
        std::snprintf(line, sizeof line, "lyr.spectrum~ : high size domain set to %f", static_cast<double>(s.domain[1]));
        s.report(line);
    }
    publish_bins(s, low_bin, edge_to_bin(s, s.domain[1]));
}

Bins spectrum_bins(const Spectrum& s) {
    return unpack(s.bins.load(std::memory_order_acquire));
}

void spectrum_set_sample_rate(Spectrum& s, double hz) {
    const double truncated = std::trunc(hz);
    s.sample_rate = truncated >= 0.0 && truncated <= INT32_MAX ? static_cast<int32_t>(truncated) : 0;
}

void spectrum_process(Spectrum& s, const float* samples, int32_t n, int32_t logamp) {
    if (!s.frames || n <= 0) return;
    const Bins bins = spectrum_bins(s);
    if (logamp == 1)
        process_frames<true>(s, samples, n, bins);
    else
        process_frames<false>(s, samples, n, bins);
}

void spectrum_warp(float* list, float* scratch, int32_t n) {
    if (n <= 0) return;
    std::memcpy(scratch, list, sizeof(float) * static_cast<std::size_t>(n));
    for (int32_t j = 0; j < n; ++j) {
        const auto k = static_cast<int32_t>(std::exp(static_cast<double>(j - n) / kWarpEntriesPerFactorE) * n);
        // Lists of 50 entries or fewer reach one past their top: the last entry stands in.
        const int32_t upper = std::min(k + 1, n - 1);
        list[j] = static_cast<float>((static_cast<double>(scratch[k]) + scratch[upper]) / 2.0);
    }
}

void spectrum_smooth(Spectrum& s, float* list, int32_t n, int32_t smooth) {
    float* smoothed = s.smooth_buffer;
    if (s.smooth_primed != 0 && smooth <= 1) {
        // Factor 1: the list passes unchanged (the blend would lose small
        // entries that follow much larger smoothed values).
        std::memcpy(smoothed, list, sizeof(float) * static_cast<std::size_t>(std::max(n, 0)));
    } else if (s.smooth_primed != 0) {
        const double a = 2.0 / (static_cast<double>(smooth) + 1.0);
        for (int32_t j = 0; j < n; ++j) {
            smoothed[j] = static_cast<float>((static_cast<double>(list[j]) - smoothed[j]) * a + smoothed[j]);
            list[j] = smoothed[j];
        }
    } else {
        for (int32_t j = 0; j < n; ++j) {
            smoothed[j] = list[j];
            ++s.smooth_primed;
        }
    }
}

int32_t spectrum_resize(float* list, int32_t n) {
    // Nothing to stretch: an empty list stays empty.
    if (n <= 0) return 0;
    if (n >= kResizeLength) {
        // Every step-th entry, read upwards so that no entry is read after being overwritten.
        const int32_t step = n / kResizeLength;
        for (int32_t c = 0; c < kResizeLength; ++c) list[c] = list[c * step];
    } else {
        // Stretched: entry c from entry c*n/256, written downwards for the same reason.
        for (int32_t c = kResizeLength - 1; c >= 0; --c) list[c] = list[(c * n) / kResizeLength];
    }
    return kResizeLength;
}

int32_t spectrum_poll(Spectrum& s, const PollSettings& settings, ListSink sink, void* context) {
    if (!s.frames) return 0;
    int32_t sent = 0;
    for (int32_t i = 0; i < s.overlap; ++i) {
        SpectrumFrame& f = s.frames[i];
        if (!(f.middle.load(std::memory_order_relaxed) & kFresh)) continue;
        f.front = f.middle.exchange(f.front, std::memory_order_acq_rel) & kSlotMask;
        float* list = slot(s, f, f.front);
        int32_t n = f.slot_count[f.front];
        if (settings.logfreq == 1) spectrum_warp(list, s.warp_buffer, n);
        spectrum_smooth(s, list, n, settings.smooth);
        if (settings.resize == 1) n = spectrum_resize(list, n);
        sink(context, i, list, n);
        ++sent;
    }
    return sent;
}

}  // namespace lyrspectrum

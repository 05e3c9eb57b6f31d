// Overlapped-frame FFT analysis shared by the signal objects: staggered frames
// of a fixed window size, each transformed (real to complex, no analysis
// window) whenever it is full, and one bin of the last transform visited per
// sample that the frame takes.
#pragma once

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core_support.h"

namespace lyrdsp {

// Start position of frame `index` of `overlap` staggered frames:
// (window_size * index) / overlap, the product in 64 bits.
int32_t stagger_position(int64_t window_size, int64_t index, int64_t overlap);

// The magnitude normalisation of the analysis: (1 / half_size) * pi in double
// precision, narrowed to float.
float analysis_scale(int32_t half_size);

// sqrt(re^2 + im^2) * scale in double precision.
inline double scaled_magnitude(const fftw_complex& bin, double scale) {
    return std::sqrt(bin[0] * bin[0] + bin[1] * bin[1]) * scale;
}

// Lowest value of the decibel scale.
inline constexpr float kDecibelFloor = -126.0f;

// 20*log10(m) narrowed to float; every value below -126.000001 becomes exactly -126.
float decibels(double m);

// Memory bound for a set of frames: at most kMaxFrames frames (one plan each)
// and at most kMaxFrameSamples samples over all frames (16 to 24 bytes of
// buffers per sample, so at most about 100 MiB). Larger requests are treated
// as bad arguments by the objects.
inline constexpr int64_t kMaxFrames = 4096;
inline constexpr int64_t kMaxFrameSamples = int64_t{1} << 22;
bool frames_fit(int64_t window_size, int64_t overlap);

// One analysis frame: `input` (window_size doubles, cleared), `spectrum`
// (half_size + 1 complex bins, cleared, from fftw_malloc), an estimate-only
// real-to-complex plan from input to spectrum, and the position where the
// frame's next sample goes (also the bin visited at that sample).
struct FftFrame {
    double* input = nullptr;
    fftw_complex* spectrum = nullptr;
    fftw_plan plan = nullptr;
    int32_t position = 0;
};

// Takes the buffers (input through the allocator, spectrum through
// fftw_malloc) and the plan; false, with nothing held, on any failure.
// Plans are made on the calling thread (FFTW planning is not thread-safe).
bool fft_frame_open(FftFrame& f, int32_t window_size, int32_t position, const lyrcore::Allocator& alloc);
// Gives back what fft_frame_open took; accepts a zeroed frame that was never
// opened. Leaves the frame zeroed.
void fft_frame_close(FftFrame& f, const lyrcore::Allocator& alloc);

// Feeds `n` samples to a frame, one segment of positions at a time: a segment
// runs from the frame's position to the end of the block or of the window,
// whichever comes first. For each segment the samples are stored (widened to
// double) at their positions, then visit(from, to, offset) is called with the
// segment's positions [from, to) and the offset of its first sample in the
// block, while `spectrum` still holds the transform from before the segment.
// Then the position advances; when it reaches window_size the transform runs,
// the position goes back to 0 and transformed(offset_after) is called with
// the number of the block's samples taken so far.
//
// This is the per-sample scheme "store, visit bin `position`, advance,
// transform when full" taken a segment at a time: every bin is visited from
// the same transform and every transform sees the same input.
template <class Visit, class Transformed>
inline void fft_frame_feed(FftFrame& f, int32_t window_size, const float* samples, int32_t n, Visit&& visit,
                           Transformed&& transformed) {
    int32_t offset = 0;
    while (offset < n) {
        const int32_t from = f.position;
        const int32_t count = std::min(n - offset, window_size - from);
        double* in = f.input + from;
        for (int32_t k = 0; k < count; ++k) in[k] = static_cast<double>(samples[offset + k]);
        visit(from, from + count, offset);
        offset += count;
        f.position = from + count;
        if (f.position == window_size) {
            fftw_execute(f.plan);
            f.position = 0;
            transformed(offset);
        }
    }
}

}  // namespace lyrdsp

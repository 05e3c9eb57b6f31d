#include "fft_frames.h"

#include <cstring>

namespace lyrdsp {

int32_t stagger_position(int64_t window_size, int64_t index, int64_t overlap) {
    return static_cast<int32_t>((window_size * index) / overlap);
}

float analysis_scale(int32_t half_size) {
    return static_cast<float>((1.0 / static_cast<double>(half_size)) * 3.141592653589793);
}

float decibels(double m) {
    float v = static_cast<float>(20.0 * std::log10(m));
    if (v < -126.000001) v = kDecibelFloor;
    return v;
}

bool frames_fit(int64_t window_size, int64_t overlap) {
    if (window_size < 2 || overlap < 1 || overlap > kMaxFrames) return false;
    return window_size <= kMaxFrameSamples / overlap;
}

bool fft_frame_open(FftFrame& f, int32_t window_size, int32_t position, const lyrcore::Allocator& alloc) {
    f = FftFrame{};
    if (window_size < 2) return false;
    const std::size_t bins = static_cast<std::size_t>(window_size / 2) + 1;
    f.input = static_cast<double*>(alloc.allocate(sizeof(double) * static_cast<std::size_t>(window_size)));
    f.spectrum = static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * bins));
    if (f.input && f.spectrum) {
        std::memset(f.input, 0, sizeof(double) * static_cast<std::size_t>(window_size));
        std::memset(f.spectrum, 0, sizeof(fftw_complex) * bins);
        // Estimate-only planning leaves the buffers alone.
        f.plan = fftw_plan_dft_r2c_1d(window_size, f.input, f.spectrum, FFTW_ESTIMATE);
    }
    if (!f.plan) {
        fft_frame_close(f, alloc);
        return false;
    }
    f.position = position;
    return true;
}

void fft_frame_close(FftFrame& f, const lyrcore::Allocator& alloc) {
    if (f.plan) fftw_destroy_plan(f.plan);
    if (f.spectrum) fftw_free(f.spectrum);
    if (f.input) alloc.release(f.input);
    f = FftFrame{};
}

}  // namespace lyrdsp

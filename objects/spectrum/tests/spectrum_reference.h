// A plain per-sample model of the analyser's audio side, written straight from
// its description: for each sample and each frame in order, store the sample,
// take the magnitude of bin `position` when it lies in [low, high), mark the
// list complete at `high`, advance, transform when full. The block-wise core
// must give the same bits.
#pragma once

#include <fftw3.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

namespace spectrum_test {

struct ReferenceFrame {
    double* input = nullptr;
    fftw_complex* spectrum = nullptr;
    fftw_plan plan = nullptr;
    int32_t position = 0;
    std::vector<float> magnitudes;
    int32_t transforms = 0;
    // The list at the last completion after the second transform, and a count
    // of such completions.
    std::vector<float> completed;
    int64_t completions = 0;
};

class Reference {
public:
    Reference(int32_t window_size, int32_t overlap, int32_t low, int32_t high)
        : window_size_(window_size), half_(window_size / 2), low_(low), high_(high), frames_(overlap) {
        scale_ = static_cast<float>((1.0 / half_) * 3.141592653589793);
        for (int32_t i = 0; i < overlap; ++i) {
            ReferenceFrame& f = frames_[i];
            // Same kinds of buffers as the core: malloc'ed input, fftw_malloc'ed spectrum.
            f.input = static_cast<double*>(std::calloc(window_size, sizeof(double)));
            f.spectrum = static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * (half_ + 1)));
            std::memset(f.spectrum, 0, sizeof(fftw_complex) * (half_ + 1));
            f.plan = fftw_plan_dft_r2c_1d(window_size, f.input, f.spectrum, FFTW_ESTIMATE);
            f.position = static_cast<int32_t>((int64_t{window_size} * i) / overlap);
            f.magnitudes.assign(half_, 0.0f);
        }
    }
    ~Reference() {
        for (ReferenceFrame& f : frames_) {
            fftw_destroy_plan(f.plan);
            fftw_free(f.spectrum);
            std::free(f.input);
        }
    }
    Reference(const Reference&) = delete;
    Reference& operator=(const Reference&) = delete;

    void set_bins(int32_t low, int32_t high) {
        low_ = low;
        high_ = high;
    }

    void process(const float* samples, int32_t n, int32_t logamp) {
        for (int32_t t = 0; t < n; ++t) {
            for (int32_t i = 0; i < static_cast<int32_t>(frames_.size()); ++i) {
                ReferenceFrame& f = frames_[i];
                const int32_t p = f.position;
                f.input[p] = samples[t];
                if (low_ <= p && p < high_) {
                    const double re = f.spectrum[p][0];
                    const double im = f.spectrum[p][1];
                    const double m = std::sqrt(re * re + im * im) * scale_;
                    float v;
                    if (logamp == 1) {
                        v = static_cast<float>(20.0 * std::log10(m));
                        if (v < -126.000001) v = -126.0f;
                    } else {
                        v = static_cast<float>(m);
                    }
                    f.magnitudes[p - low_] = v;
                }
                if (p == high_ && f.transforms >= 2) {
                    const int32_t count = high_ > low_ ? high_ - low_ : 0;
                    f.completed.assign(f.magnitudes.begin(), f.magnitudes.begin() + count);
                    ++f.completions;
                    if (on_complete) on_complete(i, f.completed);
                }
                f.position = p + 1;
                if (f.position == window_size_) {
                    fftw_execute(f.plan);
                    f.position = 0;
                    ++f.transforms;
                }
            }
        }
    }

    const std::vector<ReferenceFrame>& frames() const { return frames_; }

    // Called with the frame index and the list at each completion after the second transform.
    std::function<void(int32_t, const std::vector<float>&)> on_complete;

private:
    int32_t window_size_;
    int32_t half_;
    int32_t low_;
    int32_t high_;
    float scale_ = 0.0f;
    std::vector<ReferenceFrame> frames_;
};

}  // namespace spectrum_test

// The spectrum analyser's computation: overlapped FFT frames fed with blocks of
// samples (the audio thread), lists of bin magnitudes taken out by a poll (the
// scheduler thread), and the settings that shape them. No host type here.
//
// Hand-over between the two threads: each frame keeps its working list, which
// only the audio side touches. When a frame's list is complete (its position
// reaches the high bin after its second transform or later) the audio side
// copies the list into the free slot of a per-frame triple buffer and swaps
// that slot in as the newest, with a "fresh" mark, in one atomic exchange. The
// poll swaps the newest slot out in one atomic exchange when it is marked
// fresh. Neither side waits; a list taken by the poll is exactly the list the
// frame completed, and the latest completion since the last poll is never lost.
//
// The domain reaches the audio side as one atomic word (low and high bin
// together), so a block always sees one consistent pair.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include "core_support.h"
#include "fft_frames.h"

namespace lyrspectrum {

inline constexpr int32_t kDefaultWindowSize = 1024;
inline constexpr int32_t kMaxWindowSize = 16384;
inline constexpr int32_t kDefaultOverlap = 2;
inline constexpr int32_t kResizeLength = 256;
inline constexpr int32_t kWarpEntriesPerFactorE = 50;
inline constexpr int32_t kMinInterval = 3;
inline constexpr int32_t kMaxInterval = 5000;
inline constexpr int32_t kFirstTickDelay = 10;

inline constexpr const char* kNoMemoryMessage = "lyr.spectrum~ : not enough memory for the analysis, the object stays silent";

// The FFT bins of a domain: the first bin that goes into the lists and the bin
// at which a frame's list counts as complete.
struct Bins {
    int32_t low = 0;
    int32_t high = 0;
    int32_t count() const { return high > low ? high - low : 0; }
};

struct SpectrumFrame {
    lyrdsp::FftFrame fft;
    float* magnitudes = nullptr;  // half_size entries: entry k is bin low + k (audio side only)
    int32_t transforms = 0;       // transforms run since creation (audio side only)

    // Triple buffer of completed lists: three slots of `list_capacity` floats.
    float* slots = nullptr;
    int32_t slot_count[3] = {0, 0, 0};
    int32_t back = 0;                 // audio side's free slot
    std::atomic<int32_t> middle{1};   // newest completed slot, | kFresh until taken
    int32_t front = 2;                // poll side's slot
};

// Settings read by the poll.
struct PollSettings {
    int32_t logfreq = 0;  // 1: logarithmic frequency warp
    int32_t smooth = 5;   // smoothing span (values below 1 count as 1)
    int32_t resize = 0;   // 1: 256-entry lists
};

struct Spectrum {
    int32_t sample_rate = 0;
    int32_t window_size = 0;
    int32_t half_size = 0;
    int32_t overlap = 0;
    float scale = 0.0f;
    float domain[2] = {0.0f, 0.0f};  // low and high edge in Hz
    std::atomic<uint64_t> bins{0};    // packed Bins: what the audio side reads
    int32_t list_capacity = 0;        // max(half_size, 256): room for a resized list

    SpectrumFrame* frames = nullptr;  // `overlap` frames, or null when creation failed
    float* warp_buffer = nullptr;     // half_size floats
    float* smooth_buffer = nullptr;   // half_size floats: the running smoothed spectrum
    int32_t smooth_primed = 0;

    // Linear magnitudes of bins [from, to) into out[0 .. to - from): the
    // fastest build of the loop this processor runs.
    void (*take_linear)(float* out, const fftw_complex* spectrum, int32_t from, int32_t to, double scale) = nullptr;

    lyrcore::Allocator alloc;
    lyrcore::Reporter report;
};

// Checks the creation arguments (0 stands for a missing or non-integer
// argument), posts their console lines, takes the sample rate (truncated
// towards zero), derives the sizes and the full domain,
// and takes the frames, plans and buffers. False when memory or a plan could
// not be had: the analyser then holds nothing and processes nothing (a line is
// posted). `s` must be freshly constructed.
bool spectrum_open(Spectrum& s, int32_t window_size, int32_t overlap, double sample_rate,
                   const lyrcore::Allocator& alloc, const lyrcore::Reporter& report);
// Gives back everything spectrum_open took; safe on a failed or closed analyser.
void spectrum_close(Spectrum& s);

// Sets the domain edges in Hz (a missing edge keeps its value), checks them
// with their console lines and publishes the new bins.
void spectrum_set_domain(Spectrum& s, std::optional<float> low, std::optional<float> high);
Bins spectrum_bins(const Spectrum& s);
// Takes a new sample rate (truncated towards zero; one that is not a positive
// 32-bit number counts as 0, which gives empty lists); the bins keep their values.
void spectrum_set_sample_rate(Spectrum& s, double hz);

// The audio side: feeds a block of samples to every frame. logamp 1 takes
// magnitudes in decibels, any other value linear magnitudes. Allocates
// nothing and never waits.
void spectrum_process(Spectrum& s, const float* samples, int32_t n, int32_t logamp);

// The poll: for each frame in index order whose list was completed since the
// last poll, post-processes the list (warp, smoothing, resizing) and hands it
// to `sink` with the frame index. Returns the number of lists handed out.
using ListSink = void (*)(void* context, int32_t frame, const float* values, int32_t count);
int32_t spectrum_poll(Spectrum& s, const PollSettings& settings, ListSink sink, void* context);

// The two builds of the linear magnitude loop (Spectrum::take_linear);
// spectrum_open picks the AVX2 one where the processor has it.
void take_linear_avx2(float* out, const fftw_complex* spectrum, int32_t from, int32_t to, double scale);
void take_linear_baseline(float* out, const fftw_complex* spectrum, int32_t from, int32_t to, double scale);

// The list steps of the poll, exposed for tests. `list` holds `n` entries and
// has room for 256 (resize).
void spectrum_warp(float* list, float* scratch, int32_t n);
void spectrum_smooth(Spectrum& s, float* list, int32_t n, int32_t smooth);
int32_t spectrum_resize(float* list, int32_t n);  // returns the new length

}  // namespace lyrspectrum

// Spectral centroid of overlapped FFT frames, as an audio-rate signal.
//
// `overlap` frames of `window_size` samples, staggered by about
// window_size / overlap samples, each transformed whenever it is full. After a
// transform the frame takes one bin per sample, from bin 0 to bin half_size,
// summing the bin values (power, or decibels when logamp is 1) and bin index x
// value; at bin half_size the pass is complete and the frame's centroid in Hz
// becomes the output, held on every sample until the next pass of any frame
// completes.
//
// Buffers start cleared, so passes before a frame's first transform see
// silence and the output is defined from the first sample: 0 until the first
// pass completes. A frame that starts inside a pass (position 2 to half_size)
// skips that first, partial pass.
#pragma once

#include <cstdint>

#include "core_support.h"
#include "fft_frames.h"

namespace lyrcentroid {

inline constexpr int32_t kDefaultWindowSize = 1024;
inline constexpr int32_t kDefaultOverlap = 2;
inline constexpr int32_t kMaxOverlap = 8;

inline constexpr const char* kWindowSizeMessage = "lyr.centroid~ :Error in FFT window size, set to 1024 samples";
inline constexpr const char* kOverlapMessage = "lyr.centroid~ :Error in overlapping, set to 2";
inline constexpr const char* kNoMemoryMessage = "lyr.centroid~ :Not enough memory for the FFT frames, output held at 0";

using Frame = lyrdsp::FftFrame;

// The analyser state. A binding embeds it in its instance record; `logamp` and
// `sample_rate` are the binding's to set (attribute, signal set-up) and setup()
// leaves them alone.
struct Centroid {
    float sample_rate = 0.0f;   // Hz; 0 until the signal chain is set up
    int32_t window_size = 0;    // N, even, at least 2
    int32_t overlap = 0;        // 1 to 8
    int32_t half_size = 0;      // N / 2
    float scale = 0.0f;         // pi / half_size, for decibel values
    Frame* frames = nullptr;    // `overlap` frames, or null when memory ran out
    float* weight_sums = nullptr;  // per frame: sum of bin values of the current pass
    float* moment_sums = nullptr;  // per frame: sum of bin index x bin value
    float centroid = 0.0f;      // Hz, written to every output sample
    int32_t logamp = 0;         // 1: decibel values; anything else: power values
    // Per frame: its current pass began after bin 1 (a frame staggered into the
    // middle of a pass at creation), so it covers only part of the bins and does
    // not set the output.
    bool partial_pass[kMaxOverlap] = {};
    lyrcore::Allocator allocator;
    lyrcore::Reporter reporter;
};

// Reads the creation arguments (window size, overlap; pass 0 and -1 where an
// argument is missing or not an integer), reports and replaces bad ones, and
// takes the frames with cleared buffers. A window size that is odd, not
// positive, beyond the memory bound of the frames (window_size x overlap at
// most lyrdsp::kMaxFrameSamples) or whose buffers cannot be had becomes 1024
// with the window-size line. If even those cannot be had, no frames are held,
// the output stays at the last centroid (0) and take_frames() may try again.
void setup(Centroid& c, int64_t window_size, int64_t overlap, const lyrcore::Allocator& allocator,
           const lyrcore::Reporter& reporter);

// Takes the frames for the current window size and overlap if none are held
// (all or nothing; reports when memory runs out). True when frames are held.
bool take_frames(Centroid& c);

// Gives back every buffer and plan; the state can be set up again.
void release(Centroid& c);

// Analyses n samples and writes n centroid samples. Input sample k is read
// before output sample k is written, so `in` and `out` may be the same block.
// Allocates nothing.
void process(Centroid& c, const float* in, float* out, int32_t n);

}  // namespace lyrcentroid

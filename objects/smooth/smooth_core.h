// Exponential smoothing, element by element: each input moves every smoothed
// value the fraction 2 / (size + 1) of the way towards it. Plain numbers and
// arrays; no host.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core_support.h"
#include "element_list.h"

namespace lyr::smooth {

// The smoothed value of every element of a stream.
struct State {
    double* value = nullptr;           // one smoothed value per element
    lyrcore::ElementBuffers buffers;   // the incoming elements; the block behind everything
};

// Makes `fresh` a zero-filled state for lists of n elements (nothing for
// n = 0), in one block from `allocator`. When the allocator fails, posts the
// console line, leaves `fresh` empty and returns false.
bool allocate(State& fresh, int n, std::size_t companion_bytes, const lyrcore::Allocator& allocator,
              const lyrcore::Reporter& report);
// Gives the block back and empties the state.
void release(State& state, const lyrcore::Allocator& allocator);

// The fraction of the way a step moves: 2 / (size + 1), size taken as at least 1.
double fraction(int32_t size);

// One step for every numeric input element: the first input of a stream
// (seed) sets the smoothed value, later ones move it by `fraction` towards
// the input. Skipped elements keep their smoothed value.
void step(State& state, int n, bool seed, double fraction);

}  // namespace lyr::smooth

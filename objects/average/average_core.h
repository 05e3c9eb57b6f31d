// Running means over a window of past inputs, element by element: the
// arithmetic, geometric, harmonic or quadratic mean of the newest values of
// every element. Plain numbers and arrays; no host.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core_support.h"
#include "element_list.h"

namespace lyr::average {

// Rows of the window, and the largest window length.
inline constexpr int capacity = 256;

enum Mode : int32_t { arithmetic = 0, geometric = 1, harmonic = 2, quadratic = 3 };

// The window of past values. Row 0 holds the newest value of every element,
// row k the value from k inputs earlier; column i (index i of every row) is
// the history of element i. The rows are reached through pointers so that a
// push moves pointers rather than values.
struct History {
    double* row[capacity] = {};
    double* mean = nullptr;            // the means of the last input, one per element
    lyrcore::ElementBuffers buffers;   // the incoming elements; the block behind everything
};

// Makes `fresh` a zero-filled history for lists of n elements (nothing for
// n = 0), in one block from `allocator`. When the allocator fails, posts the
// console line, leaves `fresh` empty and returns false.
bool allocate(History& fresh, int n, std::size_t companion_bytes, const lyrcore::Allocator& allocator,
              const lyrcore::Reporter& report);
// Gives the block back and empties the history.
void release(History& history, const lyrcore::Allocator& allocator);

// Window length (1 to capacity) that a size attribute value stands for.
int clamp_size(int32_t size);
// Number of newest values the mean of an input covers, given the inputs of the
// stream held before it.
int window(int32_t count, int32_t size);
// The count after an input: one more, but never above size.
int32_t advance(int32_t count, int32_t size);

// Shifts every column whose input element is numeric down one row within
// the first `size` rows and writes the new value into row 0. A skipped
// column is neither shifted nor written; rows from `size` on are not touched.
void push(History& history, int n, int32_t size);

// The mean of kind `mode` of the newest w values (rows 0 to w - 1) of every
// column, taken from row 0 upward, into history.mean. A mode outside 0 to 3
// counts as arithmetic.
void compute_means(History& history, int n, int w, int32_t mode);

}  // namespace lyr::average

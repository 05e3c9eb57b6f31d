#include "average_core.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace lyr::average {

bool allocate(History& fresh, int n, std::size_t companion_bytes, const lyrcore::Allocator& allocator,
              const lyrcore::Reporter& report) {
    fresh = History{};
    if (n <= 0) return true;
    const auto count = static_cast<std::size_t>(n);
    lyrcore::Block layout;
    const std::size_t rows = layout.reserve<double>(count * capacity);
    const std::size_t mean = layout.reserve<double>(count);
    if (!lyrcore::allocate_buffers(fresh.buffers, layout, n, companion_bytes, allocator, report, "lyr.average"))
        return false;
    double* first = lyrcore::Block::at<double>(fresh.buffers.block, rows);
    for (int k = 0; k < capacity; ++k) fresh.row[k] = first + static_cast<std::size_t>(k) * count;
    fresh.mean = lyrcore::Block::at<double>(fresh.buffers.block, mean);
    return true;
}

void release(History& history, const lyrcore::Allocator& allocator) {
    lyrcore::release_buffers(history.buffers, allocator);
    history = History{};
}

int clamp_size(int32_t size) { return std::clamp<int32_t>(size, 1, capacity); }

int window(int32_t count, int32_t size) {
    const int s = clamp_size(size);
    return count < s ? std::max<int32_t>(count, 0) + 1 : s;
}

int32_t advance(int32_t count, int32_t size) {
    const int s = clamp_size(size);
    return count < s ? count + 1 : s;
}

void push(History& h, int n, int32_t size) {
    const int s = clamp_size(size);
    // Rows 0 to s - 2 move down one place and the oldest row of the window
    // comes back as row 0, to be overwritten.
    double* recycled = h.row[s - 1];
    std::memmove(&h.row[1], &h.row[0], static_cast<std::size_t>(s - 1) * sizeof(double*));
    h.row[0] = recycled;
    const lyrcore::Element* in = h.buffers.input;
    for (int i = 0; i < n; ++i) {
        if (in[i].numeric) {
            h.row[0][i] = in[i].value;
            continue;
        }
        // A skipped column keeps its values where they were: undo the move
        // for this column alone.
        const double kept = h.row[0][i];
        for (int k = 0; k + 1 < s; ++k) h.row[k][i] = h.row[k + 1][i];
        h.row[s - 1][i] = kept;
    }
}

void compute_means(History& h, int n, int w, int32_t mode) {
    w = std::clamp(w, 1, capacity);
    double* acc = h.mean;
    const double wd = static_cast<double>(w);
    // Each loop runs over the elements for one row at a time, so every
    // element still accumulates its own values newest first.
    switch (mode) {
    case geometric: {
        const double root = 1.0 / wd;
        for (int i = 0; i < n; ++i) acc[i] = 1.0;
        for (int k = 0; k < w; ++k) {
            const double* v = h.row[k];
            for (int i = 0; i < n; ++i) acc[i] = std::pow(v[i], root) * acc[i];
        }
        break;
    }
    case harmonic:
        for (int i = 0; i < n; ++i) acc[i] = 0.0;
        for (int k = 0; k < w; ++k) {
            const double* v = h.row[k];
            for (int i = 0; i < n; ++i) acc[i] = 1.0 / v[i] + acc[i];
        }
        for (int i = 0; i < n; ++i) acc[i] = wd / acc[i];
        break;
    case quadratic:
        for (int i = 0; i < n; ++i) acc[i] = 0.0;
        for (int k = 0; k < w; ++k) {
            const double* v = h.row[k];
            for (int i = 0; i < n; ++i) acc[i] = v[i] * v[i] + acc[i];
        }
        for (int i = 0; i < n; ++i) acc[i] = std::pow(acc[i] / wd, 0.5);
        break;
    default:
        for (int i = 0; i < n; ++i) acc[i] = 0.0;
        for (int k = 0; k < w; ++k) {
            const double* v = h.row[k];
            for (int i = 0; i < n; ++i) acc[i] = acc[i] + v[i];
        }
        for (int i = 0; i < n; ++i) acc[i] = acc[i] / wd;
        break;
    }
}

}  // namespace lyr::average

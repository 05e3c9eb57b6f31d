// What a computation core may use of its surroundings: an allocator and a
// console. Neither involves a host type; a binding hands in the host's
// allocator and console, a test or a benchmark the plain ones.
#pragma once

#include <cstddef>
#include <cstdlib>

namespace lyrcore {

// Uncleared blocks, or null on failure; release accepts null.
struct Allocator {
    void* (*allocate)(std::size_t bytes) = [](std::size_t bytes) { return std::malloc(bytes); };
    void (*release)(void* block) = [](void* block) { std::free(block); };
};

// Where a core's console lines go (one line per call, without newline).
struct Reporter {
    void (*line)(void* context, const char* text) = nullptr;
    void* context = nullptr;
    void operator()(const char* text) const {
        if (line) line(context, text);
    }
};

}  // namespace lyrcore

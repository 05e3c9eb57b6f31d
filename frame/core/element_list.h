// Lists of numbers as the element-wise cores take them (a number or a skipped
// element at each place), and the single block that holds a core's
// per-element buffers, so that a new list length gets all of them or none.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "core_support.h"

namespace lyrcore {

// One element of an incoming list: a number, or something else, which the
// element-wise objects skip.
struct Element {
    double value = 0.0;
    bool numeric = false;
};

// Arrays carved out of one zero-filled allocation. Reserve every array first,
// then allocate once and reach each array by the offset `reserve` gave.
class Block {
public:
    template <class T>
    std::size_t reserve(std::size_t count) {
        return reserve_bytes(count * sizeof(T), alignof(T));
    }

    std::size_t reserve_bytes(std::size_t bytes, std::size_t align = alignof(std::max_align_t)) {
        bytes_ = (bytes_ + align - 1) / align * align;
        std::size_t offset = bytes_;
        bytes_ += bytes;
        return offset;
    }

    std::size_t bytes() const { return bytes_; }

    // The zero-filled block, or null when the allocator fails.
    void* allocate(const Allocator& allocator) const {
        void* block = allocator.allocate(bytes_);
        if (block) std::memset(block, 0, bytes_);
        return block;
    }

    template <class T>
    static T* at(void* block, std::size_t offset) {
        return reinterpret_cast<T*>(static_cast<char*>(block) + offset);
    }

private:
    std::size_t bytes_ = 0;
};

// The console line of an input that could not be taken for want of memory.
inline void report_dropped(const Reporter& report, const char* class_name, int elements) {
    char line[128];
    std::snprintf(line, sizeof line, "%s :Out of memory for %d element%s, input dropped", class_name, elements,
                  elements == 1 ? "" : "s");
    report(line);
}

// What every element-wise core keeps beside its own arrays: the incoming
// elements, an area of the caller's own (its outgoing atoms) and the one block
// behind them all.
struct ElementBuffers {
    Element* input = nullptr;                // n elements, filled by the caller
    void* companion = nullptr;               // companion_bytes per element, for the caller
    void* block = nullptr;
};

// Adds the input elements and the companion area for n elements to `layout`
// (which already holds the core's own arrays) and allocates the block. When
// the allocator fails, posts the console line of `class_name` and returns false.
inline bool allocate_buffers(ElementBuffers& out, Block& layout, int n, std::size_t companion_bytes,
                             const Allocator& allocator, const Reporter& report, const char* class_name) {
    const auto count = static_cast<std::size_t>(n);
    const std::size_t input = layout.reserve<Element>(count);
    const std::size_t companion = layout.reserve_bytes(companion_bytes * count);
    void* block = layout.allocate(allocator);
    if (!block) {
        report_dropped(report, class_name, n);
        return false;
    }
    out.block = block;
    out.input = Block::at<Element>(block, input);
    out.companion = Block::at<char>(block, companion);
    return true;
}

inline void release_buffers(ElementBuffers& buffers, const Allocator& allocator) {
    if (buffers.block) allocator.release(buffers.block);
    buffers = ElementBuffers{};
}

}  // namespace lyrcore

#include "smooth_core.h"

namespace lyr::smooth {

bool allocate(State& fresh, int n, std::size_t companion_bytes, const lyrcore::Allocator& allocator,
              const lyrcore::Reporter& report) {
    fresh = State{};
    if (n <= 0) return true;
    const auto count = static_cast<std::size_t>(n);
    lyrcore::Block layout;
    const std::size_t value = layout.reserve<double>(count);
    const std::size_t input = layout.reserve<lyrcore::Element>(count);
    const std::size_t companion = layout.reserve_bytes(companion_bytes * count);
    void* block = layout.allocate(allocator);
    if (!block) {
        lyrcore::report_dropped(report, "lyr.smooth", n);
        return false;
    }
    fresh.block = block;
    fresh.value = lyrcore::Block::at<double>(block, value);
    fresh.input = lyrcore::Block::at<lyrcore::Element>(block, input);
    fresh.companion = lyrcore::Block::at<char>(block, companion);
    return true;
}

void release(State& state, const lyrcore::Allocator& allocator) {
    if (state.block) allocator.release(state.block);
    state = State{};
}

double fraction(int32_t size) {
    // size + 1 formed in double: the attribute has no upper bound.
    return 2.0 / (static_cast<double>(size < 1 ? 1 : size) + 1.0);
}

void step(State& state, int n, bool seed, double fraction) {
    for (int i = 0; i < n; ++i) {
        const lyrcore::Element& in = state.input[i];
        if (!in.numeric) continue;
        double& s = state.value[i];
        s = seed ? in.value : (in.value - s) * fraction + s;
    }
}

}  // namespace lyr::smooth

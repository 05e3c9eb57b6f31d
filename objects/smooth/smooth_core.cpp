#include "smooth_core.h"

namespace lyr::smooth {

bool allocate(State& fresh, int n, std::size_t companion_bytes, const lyrcore::Allocator& allocator,
              const lyrcore::Reporter& report) {
    fresh = State{};
    if (n <= 0) return true;
    lyrcore::Block layout;
    const std::size_t value = layout.reserve<double>(static_cast<std::size_t>(n));
    if (!lyrcore::allocate_buffers(fresh.buffers, layout, n, companion_bytes, allocator, report, "lyr.smooth"))
        return false;
    fresh.value = lyrcore::Block::at<double>(fresh.buffers.block, value);
    return true;
}

void release(State& state, const lyrcore::Allocator& allocator) {
    lyrcore::release_buffers(state.buffers, allocator);
    state = State{};
}

double fraction(int32_t size) {
    // size + 1 formed in double: the attribute has no upper bound.
    return 2.0 / (static_cast<double>(size < 1 ? 1 : size) + 1.0);
}

void step(State& state, int n, bool seed, double fraction) {
    for (int i = 0; i < n; ++i) {
        const lyrcore::Element& in = state.buffers.input[i];
        if (!in.numeric) continue;
        double& s = state.value[i];
        s = seed ? in.value : (in.value - s) * fraction + s;
    }
}

}  // namespace lyr::smooth

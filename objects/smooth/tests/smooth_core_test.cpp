// The smoothing step without the host.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "smooth_core.h"

namespace {

namespace sm = lyr::smooth;
using lyrcore::Element;

// The core as the binding drives it: the first input of a stream seeds.
struct Smoother {
    sm::State state;
    int n;
    bool seeded = false;

    explicit Smoother(int elements) : n(elements) { EXPECT_TRUE(sm::allocate(state, n, 0, {}, {})); }
    ~Smoother() { sm::release(state, {}); }

    std::vector<double> input(const std::vector<Element>& in, int32_t size) {
        for (int i = 0; i < n; ++i) state.buffers.input[i] = in[static_cast<size_t>(i)];
        sm::step(state, n, !seeded, sm::fraction(size));
        seeded = true;
        return {state.value, state.value + n};
    }
    double input(double v, int32_t size) { return input({{v, true}}, size)[0]; }
};

TEST(SmoothCore, Fraction) {
    EXPECT_EQ(sm::fraction(3), 0.5);
    EXPECT_EQ(sm::fraction(10), 2.0 / 11);
    EXPECT_EQ(sm::fraction(1), 1.0);
    EXPECT_EQ(sm::fraction(0), 1.0);  // below 1 counts as 1
    EXPECT_EQ(sm::fraction(INT32_MAX), 1.0 / 1073741824.0);  // no overflow at the top
}

TEST(SmoothCore, WorkedSteps) {
    Smoother a(1);
    EXPECT_EQ(a.input(10, 3), 10);
    EXPECT_EQ(a.input(20, 3), 15);
    EXPECT_EQ(a.input(20, 3), 17.5);
    EXPECT_EQ(a.input(20, 1), 20);  // size 1: the input itself
    EXPECT_EQ(a.input(-4, 1), -4);

    Smoother b(1);
    EXPECT_EQ(b.input(0, 10), 0);
    EXPECT_EQ(b.input(11, 10), 2);

    Smoother c(2);
    EXPECT_EQ(c.input({{0, true}, {10, true}}, 3), (std::vector<double>{0, 10}));
    EXPECT_EQ(c.input({{10, true}, {0, true}}, 3), (std::vector<double>{5, 5}));
}

TEST(SmoothCore, SkippedElementsKeepTheirValue) {
    Smoother s(3);
    EXPECT_EQ(s.input({{8, true}, {}, {2, true}}, 3), (std::vector<double>{8, 0, 2}));
    // The unwritten value is 0, and a later number is smoothed from it.
    EXPECT_EQ(s.input({{}, {6, true}, {4, true}}, 3), (std::vector<double>{8, 3, 3}));
}

TEST(SmoothCore, AllocationFailureReportsAndLeavesNothing) {
    std::vector<std::string> lines;
    lyrcore::Reporter report{[](void* c, const char* t) { static_cast<std::vector<std::string>*>(c)->push_back(t); },
                             &lines};
    lyrcore::Allocator failing;
    failing.allocate = [](std::size_t) -> void* { return nullptr; };
    sm::State s;
    EXPECT_FALSE(sm::allocate(s, 1, 16, failing, report));
    EXPECT_EQ(s.buffers.block, nullptr);
    EXPECT_EQ(s.value, nullptr);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "lyr.smooth :Out of memory for 1 element, input dropped");
    EXPECT_TRUE(sm::allocate(s, 0, 16, failing, report));  // nothing to allocate
    EXPECT_EQ(lines.size(), 1u);
}

}  // namespace

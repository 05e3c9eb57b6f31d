#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "rlg_core.h"

namespace {

using namespace lyrrlg;

std::vector<int> sequence(RandomSource& source, int n) {
    std::vector<int> out;
    for (int i = 0; i < n; ++i) out.push_back(source.next());
    return out;
}

TEST(RlgRandomSource, StaysInRangeAndReachesBothEnds) {
    RandomSource source;
    source.seed(12345);
    int lowest = kRandomMax, highest = 0;
    for (int i = 0; i < 1000000; ++i) {
        const int r = source.next();
        ASSERT_GE(r, 0);
        ASSERT_LE(r, kRandomMax);
        lowest = std::min(lowest, r);
        highest = std::max(highest, r);
    }
    EXPECT_EQ(lowest, 0);
    EXPECT_EQ(highest, kRandomMax);
}

TEST(RlgRandomSource, NumberedSeedsRepeatClockSeedsDiffer) {
    RandomSource a, b, c;
    a.seed(7);
    b.seed(7);
    c.seed(8);
    const auto sa = sequence(a, 64);
    EXPECT_EQ(sa, sequence(b, 64));
    EXPECT_NE(sa, sequence(c, 64));
    // Negative seeds are seeds like any other.
    a.seed(-7);
    b.seed(-7);
    EXPECT_EQ(sequence(a, 16), sequence(b, 16));

    // Sources seeded from the clock in quick succession (the same second, and
    // most likely the same microsecond) still differ, from each other and from
    // a fresh default source.
    RandomSource d, e;
    d.seed(0);
    e.seed(0);
    const auto sd = sequence(d, 64);
    EXPECT_NE(sd, sequence(e, 64));
    RandomSource fresh;
    EXPECT_NE(sd, sequence(fresh, 64));
}

TEST(RlgDraw, EndsOfTheSourceGiveTheBoundsExactly) {
    struct Case {
        float lo, hi;
    };
    for (const Case c : {Case{0, 10}, Case{-5, 5}, Case{-3.7f, -1.2f}, Case{0.1f, 0.3f}, Case{-1e6f, 3e7f}}) {
        EXPECT_EQ(rlg_draw_value(0, c.lo, c.hi), c.lo);
        EXPECT_EQ(rlg_draw_value(kRandomMax, c.lo, c.hi), c.hi);
        const float mid = rlg_draw_value(16384, c.lo, c.hi);
        EXPECT_GT(mid, c.lo);
        EXPECT_LT(mid, c.hi);
    }
    EXPECT_EQ(rlg_draw_value(16384, 0, 32767), 16384.0f);
}

TEST(RlgDraw, InvertedBoundsAreSwappedForGood) {
    float mins[kCapacity], maxs[kCapacity], values[kCapacity];
    rlg_fill(mins, 5);
    rlg_fill(maxs, 2);
    RandomSource source;
    source.seed(3);
    rlg_draw(source, mins, maxs, values, 10);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(mins[i], 2);
        EXPECT_EQ(maxs[i], 5);
        EXPECT_GE(values[i], 2);
        EXPECT_LE(values[i], 5);
    }
    // Elements beyond the drawn count are left alone.
    EXPECT_EQ(mins[10], 5);
    EXPECT_EQ(maxs[10], 2);
}

TEST(RlgDraw, OneRandomNumberPerElementInOrder) {
    float mins[kCapacity], maxs[kCapacity], values[kCapacity];
    rlg_fill(mins, 0);
    rlg_fill(maxs, kRandomMax);
    RandomSource a, b;
    a.seed(99);
    b.seed(99);
    rlg_draw(a, mins, maxs, values, 20);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(values[i], static_cast<float>(b.next())) << i;
    EXPECT_EQ(a.next(), b.next());
}

TEST(RlgTruncate, TowardZeroAndSafeAtTheEdges) {
    struct Case {
        float in;
        std::int32_t out;
    };
    const Case cases[] = {
        {0.999f, 0},           {-0.999f, 0},           {4.99f, 4},
        {-4.99f, -4},          {-5.0f, -5},            {10.0f, 10},
        {1e20f, INT32_MAX},    {-1e20f, INT32_MIN},    {-2147483648.0f, INT32_MIN},
        {INFINITY, INT32_MAX}, {-INFINITY, INT32_MIN}, {std::numeric_limits<float>::quiet_NaN(), 0},
    };
    for (const auto& c : cases) EXPECT_EQ(rlg_truncate(c.in), c.out) << c.in;
}

TEST(RlgResample, StretchesAndThins) {
    // Two values over ten elements: the first half takes the first.
    for (int i = 0; i < 10; ++i) EXPECT_EQ(rlg_resample_index(i, 2, 10), i < 5 ? 0 : 1) << i;
    // Twenty values over ten elements: every other one.
    for (int i = 0; i < 10; ++i) EXPECT_EQ(rlg_resample_index(i, 20, 10), 2 * i);
    // The longest list over the largest count stays in range.
    EXPECT_EQ(rlg_resample_index(255, 32767, 256), 255 * 32767 / 256);
    EXPECT_EQ(rlg_resample_index(255, 3, 256), 2);
}

}  // namespace

#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "statistique_core.h"

namespace {

using lyrstat::Statistics;
using lyrstat::statistique_compute;

Statistics compute(const std::vector<float>& v) { return statistique_compute(v.data(), v.size()); }

struct WorkedCase {
    const char* name;
    std::vector<float> input;
    Statistics expected;
};

// Each statistic within single-precision rounding of the expected value.
TEST(StatistiqueCore, WorkedCases) {
    const WorkedCase cases[] = {
        {"one to four", {1, 2, 3, 4}, {1, 4, 2.5f, 1.6666666f, 1.2909944f, 0.6454972f, 0, -1.2f}},
        // Equal values: the variance is floored to 1e-6 and the kurtosis is
        // -3(n-1)^2 / ((n-2)(n-3)).
        {"five equal", {2, 2, 2, 2, 2}, {2, 2, 2, 9.99999997e-07f, 0.001f, 0.00044721f, 0, -8}},
        // Extremes beyond +-2000 are reported as they are.
        {"above 2000", {3000, 4000}, {3000, 4000, 3500, 500000, 707.10678f, 500, NAN, NAN}},
        {"below -2000", {-3000, -4000}, {-4000, -3000, -3500, 500000, 707.10678f, 500, NAN, NAN}},
        // Every element beyond 2000: reference values from scipy.stats.
        {"all far out", {5000, 7000, 6000, 9000},
         {5000, 9000, 6750, 2916666.75f, 1707.8251f, 853.91256f, 0.75283720f, 0.34285714f}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Statistics got = compute(c.input);
        for (std::size_t i = 0; i < got.size(); ++i) {
            SCOPED_TRACE(i);
            if (std::isnan(c.expected[i])) {
                EXPECT_FALSE(std::isfinite(got[i])) << got[i];
            } else {
                EXPECT_NEAR(got[i], c.expected[i], 2e-6 * std::max(1.0f, std::fabs(c.expected[i])));
            }
        }
    }
}

TEST(StatistiqueCore, FloorIsExactlyTheSinglePrecisionOneMillionth) {
    const Statistics got = compute({7, 7, 7});
    EXPECT_EQ(got[lyrstat::kVariance], 1e-6f);
    EXPECT_EQ(got[lyrstat::kVariance], 9.99999997e-07f);
}

TEST(StatistiqueCore, ExtremesAreTheTrueOnesWhereverTheyLie) {
    const Statistics mixed = compute({-2500, 10, 2500, -7});
    EXPECT_EQ(mixed[lyrstat::kMinimum], -2500);
    EXPECT_EQ(mixed[lyrstat::kMaximum], 2500);
    const Statistics single = compute({12345});
    EXPECT_EQ(single[lyrstat::kMinimum], 12345);
    EXPECT_EQ(single[lyrstat::kMaximum], 12345);
    // A NaN element takes no part in the extremes, even in first place.
    const Statistics with_nan = compute({NAN, 3, -1});
    EXPECT_EQ(with_nan[lyrstat::kMinimum], -1);
    EXPECT_EQ(with_nan[lyrstat::kMaximum], 3);
    const Statistics only_nan = compute({NAN, NAN});
    EXPECT_TRUE(std::isnan(only_nan[lyrstat::kMinimum]));
    EXPECT_TRUE(std::isnan(only_nan[lyrstat::kMaximum]));
}

// Short lists: the formulas divide by n - 1, n - 2, n - 3; what those give
// stays in place, and a NaN variance is not floored.
TEST(StatistiqueCore, ShortLists) {
    const Statistics empty = statistique_compute(nullptr, 0);
    for (float v : empty) EXPECT_TRUE(std::isnan(v));

    const Statistics one = compute({4});
    EXPECT_EQ(one[lyrstat::kMean], 4);
    for (std::size_t i = lyrstat::kVariance; i < one.size(); ++i) EXPECT_TRUE(std::isnan(one[i])) << i;

    const Statistics two = compute({1, 3});
    EXPECT_EQ(two[lyrstat::kMean], 2);
    EXPECT_EQ(two[lyrstat::kVariance], 2);
    EXPECT_FALSE(std::isfinite(two[lyrstat::kSkewness]));
    EXPECT_FALSE(std::isfinite(two[lyrstat::kKurtosis]));

    const Statistics three = compute({1, 2, 6});
    EXPECT_EQ(three[lyrstat::kVariance], 7);
    EXPECT_TRUE(std::isfinite(three[lyrstat::kSkewness]));
    EXPECT_NEAR(three[lyrstat::kSkewness], 1.4578630f, 1e-6);
    EXPECT_FALSE(std::isfinite(three[lyrstat::kKurtosis]));
}

// The sum runs in single precision: a large value followed by small ones
// loses them as a 32-bit accumulator would.
TEST(StatistiqueCore, SumRunsInSinglePrecision) {
    std::vector<float> v(1, 16777216.0f);
    v.resize(9, 1.0f);  // each 1 vanishes when added to 2^24 in single precision
    const Statistics got = compute(v);
    EXPECT_EQ(got[lyrstat::kMean], 16777216.0f / 9.0f);
}

}  // namespace

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "gaussian_core.h"

namespace {

using lyrgauss::gaussian_density;
using lyrgauss::gaussian_deviation_valid;
using lyrgauss::gaussian_fwhm;

TEST(GaussianCore, DensityWorkedValues) {
    struct Case {
        double x;
        float deviation, expectation, expected;
    };
    const Case cases[] = {
        {0, 1, 0, 0.398942262f}, {1, 1, 0, 0.241970718f}, {-1, 1, 0, 0.241970718f},
        {5, 2, 5, 0.199471131f}, {3, 2, 5, 0.120985359f},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(gaussian_density(c.x, c.deviation, c.expectation), c.expected) << c.x << " " << c.deviation;
    }
}

// At x = mu the density is 1 / (sigma * sqrt(2 pi)), with sqrt(2 pi) taken
// from 2 pi at single precision rather than the exact value.
TEST(GaussianCore, PeakUsesSinglePrecisionTwoPi) {
    const double single_sqrt_two_pi = std::sqrt(static_cast<double>(static_cast<float>(2 * M_PI)));
    for (float sigma : {0.25f, 1.0f, 3.0f, 1e-3f}) {
        EXPECT_EQ(gaussian_density(7.5, sigma, 7.5f), static_cast<float>(1.0 / (sigma * single_sqrt_two_pi)));
    }
    // Far tails underflow to 0 rather than to anything odd.
    EXPECT_EQ(gaussian_density(1e6, 1.0f, 0.0f), 0.0f);
}

TEST(GaussianCore, Fwhm) {
    EXPECT_EQ(gaussian_fwhm(1.0f), 2.35482001f);
    EXPECT_EQ(gaussian_fwhm(3.0f), 7.06446028f);
}

TEST(GaussianCore, DeviationMustStayAboveZeroInSinglePrecision) {
    EXPECT_TRUE(gaussian_deviation_valid(0.5));
    EXPECT_TRUE(gaussian_deviation_valid(1e30));
    EXPECT_FALSE(gaussian_deviation_valid(0.0));
    EXPECT_FALSE(gaussian_deviation_valid(-4.0));
    EXPECT_FALSE(gaussian_deviation_valid(1e-60));  // rounds to 0 when stored
    EXPECT_FALSE(gaussian_deviation_valid(std::numeric_limits<double>::quiet_NaN()));
}

}  // namespace

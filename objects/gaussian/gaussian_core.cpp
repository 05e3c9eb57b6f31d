#include "gaussian_core.h"

#include <cmath>

namespace lyrgauss {

namespace {
constexpr double kSqrtTwoPi = 2.5066283095076436;   // sqrt of 2 pi rounded to single precision
constexpr double kFwhmFactor = 2.3548200450309493;  // 2 sqrt(2 ln 2)
}  // namespace

float gaussian_density(double x, float deviation, float expectation) {
    const double d = x - static_cast<double>(expectation);
    const double s = static_cast<double>(deviation);
    return static_cast<float>(std::exp(-(d * d) / (2.0 * s * s)) / (s * kSqrtTwoPi));
}

float gaussian_fwhm(float deviation) { return static_cast<float>(kFwhmFactor * static_cast<double>(deviation)); }

bool gaussian_deviation_valid(double deviation) { return static_cast<float>(deviation) > 0.0f; }

}  // namespace lyrgauss

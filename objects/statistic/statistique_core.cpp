#include "statistique_core.h"

#include <cmath>
#include <limits>

namespace lyrstat {

Statistics statistique_compute(const float* values, std::size_t n) {
    constexpr float nan = std::numeric_limits<float>::quiet_NaN();
    Statistics out;
    if (n == 0) {
        // Nothing to describe: every statistic is undefined.
        out.fill(nan);
        return out;
    }
    const double count = static_cast<double>(n);
    const float countf = static_cast<float>(n);

    // Pass 1: extremes and sum. The extremes start from the infinities so that
    // any ordered element replaces them.
    float minimum = std::numeric_limits<float>::infinity();
    float maximum = -std::numeric_limits<float>::infinity();
    bool ordered = false;
    float sum = 0.0f;
    for (std::size_t i = 0; i < n; ++i) {
        const float x = values[i];
        if (x <= minimum) minimum = x;
        if (x >= maximum) maximum = x;
        ordered = ordered || x == x;
        sum = sum + x;
    }
    if (!ordered) minimum = maximum = nan;
    const float mean = sum / countf;

    // Pass 2: sum of squared deviations.
    float squares = 0.0f;
    for (std::size_t i = 0; i < n; ++i) {
        const float d = values[i] - mean;
        squares = squares + d * d;
    }
    float variance = squares / static_cast<float>(count - 1.0);
    // A spread of exactly zero is floored so that the moments below stay finite.
    if (variance == 0.0f) variance = 1e-6f;
    const float deviation = static_cast<float>(std::pow(static_cast<double>(variance), 0.5));
    const float standard_error = static_cast<float>(deviation / std::pow(count, 0.5));

    // Pass 3: third standardised moment.
    float c3 = 0.0f;
    for (std::size_t i = 0; i < n; ++i) {
        const float z = (values[i] - mean) / deviation;
        c3 = static_cast<float>(c3 + std::pow(static_cast<double>(z), 3.0));
    }
    const float skewness = static_cast<float>(count * c3 / ((count - 1.0) * (count - 2.0)));

    // Pass 4: fourth moment over the squared variance.
    const float variance2 = variance * variance;
    float c4 = 0.0f;
    for (std::size_t i = 0; i < n; ++i) {
        const float d = values[i] - mean;
        c4 = static_cast<float>(c4 + std::pow(static_cast<double>(d), 4.0) / variance2);
    }
    const double n1 = count - 1.0, n2 = count - 2.0, n3 = count - 3.0;
    const float kurtosis =
        static_cast<float>(count * (count + 1.0) * c4 / (n1 * n2 * n3) - 3.0 * n1 * n1 / (n2 * n3));

    out[kMinimum] = minimum;
    out[kMaximum] = maximum;
    out[kMean] = mean;
    out[kVariance] = variance;
    out[kDeviation] = deviation;
    out[kStandardError] = standard_error;
    out[kSkewness] = skewness;
    out[kKurtosis] = kurtosis;
    return out;
}

}  // namespace lyrstat

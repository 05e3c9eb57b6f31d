// Eight descriptive statistics of a list of numbers, computed in single
// precision as the object reports them.
#pragma once

#include <array>
#include <cstddef>

namespace lyrstat {

// Positions in the result.
enum Statistic : std::size_t {
    kMinimum = 0,
    kMaximum,
    kMean,
    kVariance,  // sample variance, floored to 1e-6 when it is exactly 0
    kDeviation,
    kStandardError,
    kSkewness,  // adjusted Fisher-Pearson coefficient
    kKurtosis,  // sample excess kurtosis
    kStatisticCount
};

using Statistics = std::array<float, kStatisticCount>;

// The statistics of values[0..n). Every running value and stored result is a
// 32-bit float; roots, powers and the small-sample factors are taken in double.
// Short lists give what the formulas give (NaN or infinities where they divide
// by zero); an empty list gives NaN everywhere. Elements that are NaN take no
// part in the minimum and maximum.
Statistics statistique_compute(const float* values, std::size_t n);

}  // namespace lyrstat

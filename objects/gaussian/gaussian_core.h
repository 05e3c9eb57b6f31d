// The normal probability density and the width of its curve at half maximum.
#pragma once

namespace lyrgauss {

// exp(-(x - mu)^2 / (2 sigma^2)) / (sigma * sqrt(2 pi)), in double precision
// from x and the single-precision parameters, rounded to single precision.
// sqrt(2 pi) is taken from 2 pi at single precision, as the object always has.
float gaussian_density(double x, float deviation, float expectation);

// Full width at half maximum: 2 sqrt(2 ln 2) sigma, rounded to single precision.
float gaussian_fwhm(float deviation);

// A standard deviation is usable only when, once stored in single precision,
// it is above 0.
bool gaussian_deviation_valid(double deviation);

}  // namespace lyrgauss

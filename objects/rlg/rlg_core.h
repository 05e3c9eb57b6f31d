// Random lists between per-element bounds: the random source, the draw and
// the conversions the list generator needs.
#pragma once

#include <cstdint>

namespace lyrrlg {

constexpr int kCapacity = 256;     // elements of the bound arrays; the largest list
constexpr int kRandomMax = 32767;  // largest value of the random source, divisor of the draw

// A per-instance pseudo-random source yielding integers uniformly from 0 to
// 32767 (the top 15 bits of PCG32). Seeding with a number other than 0 gives
// a reproducible sequence; 0 seeds from the time of day mixed with a count of
// the seedings made in this process, so that sources seeded in the same
// instant still differ.
class RandomSource {
public:
    RandomSource() { seed(0); }
    void seed(std::int32_t value);
    int next();

private:
    void seed_state(std::uint64_t value);
    std::uint64_t state_ = 0;
    std::uint64_t increment_ = 1;
};

// Sets all 256 elements of a bound array.
void rlg_fill(float* bounds, float value);

// The draw for one element: (r / 32767) * (max - min) + min in double
// precision, rounded to single precision; r = 0 gives min, r = 32767 max.
float rlg_draw_value(int r, float minimum, float maximum);

// Draws values[0..count) in element order, one random number each, after
// swapping any inverted pair of bounds in place (the swap stays).
void rlg_draw(RandomSource& source, float* mins, float* maxs, float* values, int count);

// A drawn value as an integer, truncated toward zero; values beyond the
// 32-bit range are held at its ends and NaN gives 0.
std::int32_t rlg_truncate(float value);

// Which of n given elements fills element i of a list of count elements:
// floor(i * n / count), in integers.
int rlg_resample_index(int i, int n, int count);

}  // namespace lyrrlg

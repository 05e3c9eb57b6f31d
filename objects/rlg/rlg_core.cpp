#include "rlg_core.h"

#include <chrono>
#include <utility>

namespace lyrrlg {

namespace {

std::uint64_t splitmix64(std::uint64_t& x) {
    std::uint64_t z = (x += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

// Sources seeded from the clock in this process so far. Instances are created
// one at a time by the host, so a plain counter suffices.
std::uint64_t clock_seedings = 0;

}  // namespace

void RandomSource::seed_state(std::uint64_t value) {
    std::uint64_t mix = value;
    const std::uint64_t start = splitmix64(mix);
    increment_ = (splitmix64(mix) << 1) | 1u;
    state_ = 0;
    next();
    state_ += start;
    next();
}

void RandomSource::seed(std::int32_t value) {
    if (value != 0) {
        seed_state(static_cast<std::uint32_t>(value));
        return;
    }
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto micros = static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(now).count());
    // Clock seeds live above the 32-bit range so that they never repeat a numbered seed.
    std::uint64_t mix = micros ^ (++clock_seedings * 0xD1B54A32D192ED03ULL);
    seed_state(splitmix64(mix) | (1ULL << 32));
}

int RandomSource::next() {
    const std::uint64_t old = state_;
    state_ = old * 6364136223846793005ULL + increment_;
    const auto shifted = static_cast<std::uint32_t>(((old >> 18u) ^ old) >> 27u);
    const auto rot = static_cast<std::uint32_t>(old >> 59u);
    const std::uint32_t out = (shifted >> rot) | (shifted << ((32u - rot) & 31u));
    return static_cast<int>(out >> 17u);
}

void rlg_fill(float* bounds, float value) {
    for (int i = 0; i < kCapacity; ++i) bounds[i] = value;
}

float rlg_draw_value(int r, float minimum, float maximum) {
    const double fraction = static_cast<double>(static_cast<float>(r)) / static_cast<double>(kRandomMax);
    const double lo = minimum;
    return static_cast<float>(fraction * (static_cast<double>(maximum) - lo) + lo);
}

void rlg_draw(RandomSource& source, float* mins, float* maxs, float* values, int count) {
    for (int i = 0; i < count; ++i) {
        if (mins[i] > maxs[i]) std::swap(mins[i], maxs[i]);
        values[i] = rlg_draw_value(source.next(), mins[i], maxs[i]);
    }
}

std::int32_t rlg_truncate(float value) {
    if (value != value) return 0;
    if (value >= 2147483648.0f) return INT32_MAX;
    if (value < -2147483648.0f) return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

int rlg_resample_index(int i, int n, int count) {
    return static_cast<int>(static_cast<long long>(i) * n / count);
}

}  // namespace lyrrlg

// The window and the four means, without the host. The core moves row
// pointers; a plain shift register that moves values, written here from the
// description of the object, is the reference it must match bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "average_core.h"

namespace {

namespace avg = lyr::average;
using lyrcore::Element;

// The shift register: 256 rows of n values, row 0 newest, values moved on every push.
struct ShiftRegister {
    std::vector<std::vector<double>> rows;
    int32_t count = 0;

    explicit ShiftRegister(int n) : rows(avg::capacity, std::vector<double>(static_cast<size_t>(n), 0.0)) {}

    std::vector<double> input(const std::vector<Element>& in, int32_t size, int32_t mode) {
        const int n = static_cast<int>(in.size());
        const int w = count < size ? count + 1 : size;
        for (int i = 0; i < n; ++i) {
            if (!in[i].numeric) continue;
            for (int j = size - 1; j >= 1; --j) rows[j][i] = rows[j - 1][i];
            rows[0][i] = in[i].value;
        }
        std::vector<double> out(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) {
            double s = mode == avg::geometric ? 1.0 : 0.0;
            for (int j = 0; j < w; ++j) {
                const double v = rows[j][i];
                switch (mode) {
                case avg::geometric: s = std::pow(v, 1.0 / w) * s; break;
                case avg::harmonic: s = 1.0 / v + s; break;
                case avg::quadratic: s = v * v + s; break;
                default: s = s + v; break;
                }
            }
            switch (mode) {
            case avg::geometric: out[i] = s; break;
            case avg::harmonic: out[i] = w / s; break;
            case avg::quadratic: out[i] = std::pow(s / w, 0.5); break;
            default: out[i] = s / w; break;
            }
        }
        count = count < size ? count + 1 : size;
        return out;
    }
};

// The core as the binding drives it.
struct Window {
    avg::History history;
    int n;
    int32_t count = 0;

    explicit Window(int elements) : n(elements) { EXPECT_TRUE(avg::allocate(history, n, 0, {}, {})); }
    ~Window() { avg::release(history, {}); }

    std::vector<double> input(const std::vector<Element>& in, int32_t size, int32_t mode) {
        for (int i = 0; i < n; ++i) history.buffers.input[i] = in[static_cast<size_t>(i)];
        const int w = avg::window(count, size);
        avg::push(history, n, size);
        avg::compute_means(history, n, w, mode);
        count = avg::advance(count, size);
        return {history.mean, history.mean + n};
    }
};

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::vector<Element> numbers(std::initializer_list<double> values) {
    std::vector<Element> in;
    for (double v : values) in.push_back({v, true});
    return in;
}

double mean_of(std::initializer_list<double> values, int32_t mode) {
    Window w(1);
    double last = 0;
    for (double v : values) last = w.input(numbers({v}), avg::capacity, mode)[0];
    return last;
}

TEST(AverageCore, WorkedMeans) {
    EXPECT_EQ(mean_of({1, 2, 3}, avg::arithmetic), 2.0);
    EXPECT_DOUBLE_EQ(mean_of({2, 8}, avg::geometric), 4.0);
    EXPECT_TRUE(std::isnan(mean_of({2, -8}, avg::geometric)));
    EXPECT_TRUE(std::isnan(mean_of({-2, 8, 3}, avg::geometric)));
    EXPECT_EQ(mean_of({-2}, avg::geometric), -2.0);  // one value: itself
    EXPECT_EQ(mean_of({5, 0}, avg::geometric), 0.0);
    EXPECT_EQ(mean_of({1, 0}, avg::harmonic), 0.0);
    EXPECT_EQ(mean_of({2, -2}, avg::harmonic), std::numeric_limits<double>::infinity());
    EXPECT_EQ(mean_of({3, 6}, avg::harmonic), 4.0);
    EXPECT_DOUBLE_EQ(mean_of({3, 4}, avg::quadratic), std::sqrt(12.5));
    EXPECT_EQ(mean_of({-7}, avg::quadratic), 7.0);
}

TEST(AverageCore, WindowFollowsSizeAndCount) {
    // Ten inputs at size 10, then the window shrinks to 3 or grows by one an input towards 20.
    Window shrink(1), grow(1);
    for (int v = 1; v <= 10; ++v) {
        shrink.input(numbers({double(v)}), 10, avg::arithmetic);
        grow.input(numbers({double(v)}), 10, avg::arithmetic);
    }
    EXPECT_EQ(shrink.input(numbers({11}), 3, avg::arithmetic)[0], 10.0);  // 9 10 11
    EXPECT_EQ(shrink.count, 3);
    for (int v = 11; v <= 25; ++v) {
        const int w = std::min(v, 20);  // values held: v - w + 1 .. v
        EXPECT_EQ(grow.input(numbers({double(v)}), 20, avg::arithmetic)[0], (2.0 * v - w + 1) / 2) << v;
    }
    EXPECT_EQ(grow.count, 20);
}

TEST(AverageCore, MatchesShiftRegisterBitForBit) {
    // Random streams with skipped elements, changes of size in both directions,
    // changes of mode and restarts, on a few list lengths.
    std::mt19937 rng(20240611);
    std::uniform_real_distribution<double> value(-3.0, 50.0);
    std::uniform_int_distribution<int> percent(0, 99);
    for (int n : {1, 3, 16}) {
        ShiftRegister ref(n);
        Window core(n);
        int32_t size = 10, mode = avg::arithmetic;
        for (int step = 0; step < 3000; ++step) {
            const int r = percent(rng);
            if (r < 4) size = std::uniform_int_distribution<int>(1, 256)(rng);
            else if (r < 8) size = std::uniform_int_distribution<int>(1, 12)(rng);
            else if (r < 12) mode = std::uniform_int_distribution<int>(0, 3)(rng);
            else if (r < 13) ref.count = core.count = 0;  // "clear"
            std::vector<Element> in(static_cast<size_t>(n));
            for (auto& e : in) e = percent(rng) < 10 ? Element{} : Element{value(rng), true};
            const auto want = ref.input(in, size, mode);
            const auto got = core.input(in, size, mode);
            ASSERT_EQ(ref.count, core.count);
            for (int i = 0; i < n; ++i)
                ASSERT_TRUE(same_bits(want[i], got[i]))
                    << "n " << n << " step " << step << " element " << i << ": " << want[i] << " vs " << got[i];
        }
    }
}

TEST(AverageCore, UnwrittenValuesAreZero) {
    // A skipped element of a fresh history averages zeros: 0 in every kind.
    for (int32_t mode : {avg::arithmetic, avg::geometric, avg::harmonic, avg::quadratic}) {
        Window w(2);
        std::vector<Element> in = {{}, {4.0, true}};
        auto out = w.input(in, 10, mode);
        EXPECT_EQ(out[0], 0.0) << mode;
        EXPECT_EQ(out[1], 4.0) << mode;
        out = w.input(in, 10, mode);
        EXPECT_EQ(out[0], 0.0) << mode;
    }
}

TEST(AverageCore, OutOfRangeSizeAndModeStaySafe) {
    Window w(1);
    w.input(numbers({4}), 0, 99);  // size below 1 counts as 1, unknown mode as arithmetic
    EXPECT_EQ(w.input(numbers({6}), -5, 99)[0], 6.0);
    for (int v = 0; v < 300; ++v) w.input(numbers({1}), 100000, avg::arithmetic);
    EXPECT_EQ(w.count, avg::capacity);
    EXPECT_EQ(w.input(numbers({1}), 100000, avg::arithmetic)[0], 1.0);
}

struct FailingAllocator {
    static inline int calls = 0;
    static lyrcore::Allocator make() {
        lyrcore::Allocator a;
        a.allocate = [](std::size_t) -> void* {
            ++calls;
            return nullptr;
        };
        return a;
    }
};

TEST(AverageCore, AllocationFailureReportsAndLeavesNothing) {
    std::vector<std::string> lines;
    lyrcore::Reporter report{[](void* c, const char* t) { static_cast<std::vector<std::string>*>(c)->push_back(t); },
                             &lines};
    avg::History h;
    EXPECT_FALSE(avg::allocate(h, 3, 16, FailingAllocator::make(), report));
    EXPECT_EQ(FailingAllocator::calls, 1);
    EXPECT_EQ(h.buffers.block, nullptr);
    EXPECT_EQ(h.row[0], nullptr);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "lyr.average :Out of memory for 3 elements, input dropped");

    // No elements needs no memory at all.
    EXPECT_TRUE(avg::allocate(h, 0, 16, FailingAllocator::make(), report));
    EXPECT_EQ(FailingAllocator::calls, 1);
}

TEST(AverageCore, OneBlockHoldsRowsAndCompanion) {
    avg::History h;
    ASSERT_TRUE(avg::allocate(h, 5, 16, {}, {}));
    for (int k = 0; k < avg::capacity; ++k)
        for (int i = 0; i < 5; ++i) EXPECT_EQ(h.row[k][i], 0.0);
    const auto* companion = static_cast<const unsigned char*>(h.buffers.companion);
    for (int b = 0; b < 5 * 16; ++b) EXPECT_EQ(companion[b], 0);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(h.buffers.companion) % alignof(std::max_align_t), 0u);
    // The rows, the means, the input and the companion do not overlap.
    EXPECT_LE(reinterpret_cast<const char*>(h.row[avg::capacity - 1] + 5), reinterpret_cast<const char*>(h.mean));
    EXPECT_LE(reinterpret_cast<const char*>(h.mean + 5), reinterpret_cast<const char*>(h.buffers.input));
    EXPECT_LE(reinterpret_cast<const char*>(h.buffers.input + 5), static_cast<const char*>(h.buffers.companion));
    avg::release(h, {});
    EXPECT_EQ(h.buffers.block, nullptr);
}

}  // namespace

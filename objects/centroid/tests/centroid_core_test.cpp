// The centroid core on its own: arguments, memory, and the block-wise
// processing held bit for bit against a per-sample reference.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "centroid_core.h"

namespace {

using lyrcentroid::Centroid;

// Console lines, collected.
struct Lines {
    std::vector<std::string> lines;
    lyrcore::Reporter reporter() {
        lyrcore::Reporter r;
        r.line = [](void* self, const char* text) { static_cast<Lines*>(self)->lines.emplace_back(text); };
        r.context = this;
        return r;
    }
};

// An allocator that counts what is outstanding, can refuse after a number of
// calls or above a size, and aligns every block alike so that two analysers
// get the same FFTW plans.
struct TestMemory {
    static inline long calls = 0;
    static inline long outstanding = 0;
    static inline long fail_after = -1;               // refuse every call after this many; -1 never
    static inline std::size_t largest = SIZE_MAX;     // refuse blocks above this many bytes
    static inline std::size_t largest_asked = 0;

    static void reset() {
        calls = 0;
        outstanding = 0;
        fail_after = -1;
        largest = SIZE_MAX;
        largest_asked = 0;
    }
    static lyrcore::Allocator allocator() {
        lyrcore::Allocator a;
        a.allocate = [](std::size_t bytes) -> void* {
            largest_asked = std::max(largest_asked, bytes);
            if (fail_after >= 0 && calls >= fail_after) return nullptr;
            ++calls;
            if (bytes > largest) return nullptr;
            void* p = std::aligned_alloc(64, (bytes + 63) / 64 * 64);
            if (p) ++outstanding;
            return p;
        };
        a.release = [](void* p) {
            if (p) --outstanding;
            std::free(p);
        };
        return a;
    }
};

class CentroidCore : public ::testing::Test {
protected:
    void SetUp() override { TestMemory::reset(); }
    void TearDown() override {
        for (Centroid* c : made_) lyrcentroid::release(*c);
        for (Centroid* c : made_) delete c;
        EXPECT_EQ(TestMemory::outstanding, 0) << "blocks left unreleased";
    }
    Centroid& make(int64_t window, int64_t overlap, int32_t logamp = 0, float sample_rate = 44100.0f) {
        auto* c = new Centroid{};
        c->logamp = logamp;
        c->sample_rate = sample_rate;
        lyrcentroid::setup(*c, window, overlap, TestMemory::allocator(), lines_.reporter());
        made_.push_back(c);
        return *c;
    }
    Lines lines_;
    std::vector<Centroid*> made_;
};

// The processing as described sample by sample: each sample goes to every
// frame in index order (store, take bin `position`, sum bins 1 to half_size,
// complete the pass at half_size, advance, transform when full), then the
// current centroid is written. Kept apart from the core on purpose.
void reference_process(Centroid& c, const float* in, float* out, int32_t n) {
    const int32_t window = c.window_size;
    const int32_t half = c.half_size;
    for (int32_t k = 0; k < n; ++k) {
        const float sample = in[k];
        for (int32_t i = 0; i < c.overlap; ++i) {
            lyrcentroid::Frame& f = c.frames[i];
            const int32_t p = f.position;
            f.input[p] = sample;
            if (p <= half) {
                const double re = f.spectrum[p][0];
                const double im = f.spectrum[p][1];
                float v;
                if (c.logamp == 1) {
                    v = static_cast<float>(20.0 * std::log10(std::sqrt(re * re + im * im) * c.scale));
                    if (v < -126.000001) v = -126.0f;
                } else {
                    v = static_cast<float>(re * re + im * im);
                }
                if (p > 0) {
                    c.moment_sums[i] = p * v + c.moment_sums[i];
                    c.weight_sums[i] = c.weight_sums[i] + v;
                }
                if (p == half) {
                    if (c.partial_pass[i]) {
                        c.partial_pass[i] = false;
                    } else {
                        float centroid = 0.0f;
                        if (c.weight_sums[i] != 0.0f) {
                            const double b = static_cast<double>(c.moment_sums[i]) / c.weight_sums[i];
                            const double r = c.sample_rate;
                            const double hz = b * r / window + r * 0.5 / window;
                            centroid = static_cast<float>(c.logamp == 1 ? r / 2 - hz : hz);
                        }
                        c.centroid = centroid;
                    }
                    c.moment_sums[i] = 0.0f;
                    c.weight_sums[i] = 0.0f;
                }
            }
            if (++f.position == window) {
                fftw_execute(f.plan);
                f.position = 0;
            }
        }
        out[k] = c.centroid;
    }
}

// Sines, noise and stretches of silence.
std::vector<float> test_signal(int64_t length, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> noise(-0.2f, 0.2f);
    std::vector<float> s(static_cast<std::size_t>(length));
    for (int64_t t = 0; t < length; ++t) {
        const double x = 0.5 * std::sin(0.031 * t) + 0.25 * std::sin(0.57 * t + 1.0) + noise(rng);
        const bool silent = (t / 700) % 5 == 3;
        s[static_cast<std::size_t>(t)] = silent ? 0.0f : static_cast<float>(x);
    }
    return s;
}

void expect_same_state(const Centroid& a, const Centroid& b) {
    ASSERT_EQ(a.overlap, b.overlap);
    for (int32_t i = 0; i < a.overlap; ++i) {
        EXPECT_EQ(a.frames[i].position, b.frames[i].position) << "frame " << i;
        EXPECT_EQ(std::memcmp(&a.weight_sums[i], &b.weight_sums[i], sizeof(float)), 0) << "frame " << i;
        EXPECT_EQ(std::memcmp(&a.moment_sums[i], &b.moment_sums[i], sizeof(float)), 0) << "frame " << i;
        EXPECT_EQ(a.partial_pass[i], b.partial_pass[i]) << "frame " << i;
    }
}

TEST_F(CentroidCore, BlockwiseMatchesPerSampleReferenceBitForBit) {
    const int32_t windows[] = {2, 4, 6, 10, 64, 250, 1024, 2048};
    const int32_t overlaps[] = {1, 2, 3, 5, 8};
    const std::vector<std::vector<int32_t>> vector_plans = {{1}, {64}, {4096}, {3, 0, 100, 1, 77, 512}};
    for (int32_t window : windows) {
        for (int32_t overlap : overlaps) {
            for (int32_t logamp : {0, 1}) {
                const int64_t length = std::max<int64_t>(6 * window + 333, 6500);
                const std::vector<float> signal = test_signal(length, static_cast<unsigned>(window * 10 + overlap));
                for (const auto& plan : vector_plans) {
                    SCOPED_TRACE(::testing::Message() << "window " << window << " overlap " << overlap << " logamp "
                                                      << logamp << " vectors of " << plan[0] << "...");
                    Centroid& block = make(window, overlap, logamp);
                    Centroid& reference = make(window, overlap, logamp);
                    std::vector<float> got(signal.size()), want(signal.size());
                    std::size_t at = 0;
                    for (std::size_t v = 0; at < signal.size(); ++v) {
                        const auto n = static_cast<int32_t>(std::min<std::size_t>(plan[v % plan.size()], signal.size() - at));
                        lyrcentroid::process(block, signal.data() + at, got.data() + at, n);
                        reference_process(reference, signal.data() + at, want.data() + at, n);
                        at += static_cast<std::size_t>(n);
                    }
                    ASSERT_EQ(std::memcmp(got.data(), want.data(), got.size() * sizeof(float)), 0);
                    expect_same_state(block, reference);
                    // The comparison saw real passes: the output changed several times
                    // (a 2-sample window has one summed bin, so a constant centroid).
                    int changes = 0;
                    for (std::size_t t = 1; t < got.size(); ++t) changes += got[t] != got[t - 1];
                    if (window > 2) {
                        EXPECT_GE(changes, 3);
                    }
                    lyrcentroid::release(block);
                    lyrcentroid::release(reference);
                }
            }
        }
    }
    EXPECT_TRUE(lines_.lines.empty());
}

TEST_F(CentroidCore, SharedInputAndOutputBlockGivesTheSameOutput) {
    const std::vector<float> signal = test_signal(20000, 7);
    for (int32_t logamp : {0, 1}) {
        Centroid& apart = make(256, 3, logamp);
        Centroid& shared = make(256, 3, logamp);
        std::vector<float> out(signal.size());
        std::vector<float> buffer = signal;
        for (std::size_t at = 0; at < signal.size(); at += 100) {
            const auto n = static_cast<int32_t>(std::min<std::size_t>(100, signal.size() - at));
            lyrcentroid::process(apart, signal.data() + at, out.data() + at, n);
            lyrcentroid::process(shared, buffer.data() + at, buffer.data() + at, n);
        }
        EXPECT_EQ(std::memcmp(out.data(), buffer.data(), out.size() * sizeof(float)), 0) << "logamp " << logamp;
    }
}

TEST_F(CentroidCore, CreationArguments) {
    const std::string window_line = lyrcentroid::kWindowSizeMessage;
    const std::string overlap_line = lyrcentroid::kOverlapMessage;
    struct Case {
        int64_t window, overlap;
        int32_t want_window, want_overlap;
        std::vector<std::string> want_lines;
    };
    const Case cases[] = {
        {0, -1, 1024, 2, {window_line, overlap_line}},  // no arguments
        {32768, 4, 32768, 4, {}},
        {2, 1, 2, 1, {}},
        {1000, 8, 1000, 8, {}},  // any even size, not only powers of two
        {1023, 2, 1024, 2, {window_line}},
        {-2, 2, 1024, 2, {window_line}},
        {512, 9, 512, 2, {overlap_line}},
        {512, 0, 512, 2, {overlap_line}},
        {1 << 20, 4, 1 << 20, 4, {}},
        // Beyond the memory bound of the frames: a bad window size, refused
        // before anything is asked of the allocator.
        {(int64_t{1} << 22) + 2, 1, 1024, 1, {window_line}},
        {(int64_t{1} << 20) + 2, 4, 1024, 4, {window_line}},
        {2147483646, 8, 1024, 8, {window_line}},
        // The bound is checked with the overlap that will be used.
        {1 << 21, 9, 1 << 21, 2, {overlap_line}},
        {(1 << 21) + 2, -1, 1024, 2, {window_line, overlap_line}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(::testing::Message() << "window " << k.window << " overlap " << k.overlap);
        lines_.lines.clear();
        TestMemory::largest_asked = 0;
        Centroid& c = make(k.window, k.overlap);
        EXPECT_EQ(c.window_size, k.want_window);
        EXPECT_EQ(c.overlap, k.want_overlap);
        EXPECT_EQ(c.half_size, k.want_window / 2);
        EXPECT_FLOAT_EQ(c.scale, static_cast<float>(3.141592653589793 / (k.want_window / 2)));
        EXPECT_EQ(lines_.lines, k.want_lines);
        ASSERT_NE(c.frames, nullptr);
        EXPECT_LE(TestMemory::largest_asked,
                  std::max(sizeof(double) * static_cast<std::size_t>(k.want_window), 8 * sizeof(lyrcentroid::Frame)));
        lyrcentroid::release(c);
    }
}

TEST_F(CentroidCore, FramesStartStaggeredAndCleared) {
    Centroid& c = make(6, 4, /*logamp=*/0);
    const int32_t want[] = {0, 1, 3, 4};  // (6 * i) / 4
    const bool partial[] = {false, false, true, false};
    for (int32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(c.frames[i].position, want[i]);
        EXPECT_EQ(c.partial_pass[i], partial[i]) << "frame " << i;
        for (int32_t s = 0; s < 6; ++s) EXPECT_EQ(c.frames[i].input[s], 0.0);
        for (int32_t b = 0; b <= 3; ++b) EXPECT_EQ(c.frames[i].spectrum[b][0] + c.frames[i].spectrum[b][1], 0.0);
    }
    // With more frames than samples several share a start (integer division after the product).
    Centroid& crowded = make(2, 8);
    for (int32_t i = 0; i < 8; ++i) EXPECT_EQ(crowded.frames[i].position, i < 4 ? 0 : 1);
}

// Decibel mode on silence: every bin reads -126, so every whole pass gives
// 44100 / 4 - 44100 / 1024 Hz. The frame staggered to bin 512 at creation
// skips its one-bin first pass rather than report a centroid of -21.5 Hz.
TEST_F(CentroidCore, DecibelSilenceFromTheFirstSample) {
    Centroid& c = make(1024, 2, /*logamp=*/1);
    std::vector<float> buffer(2048, 0.0f);
    lyrcentroid::process(c, buffer.data(), buffer.data(), 2048);
    const float silence = static_cast<float>(44100.0 / 4 - 44100.0 / 1024);
    for (int k = 0; k < 512; ++k) ASSERT_EQ(buffer[k], 0.0f) << "sample " << k;
    for (int k = 512; k < 2048; ++k) ASSERT_EQ(buffer[k], silence) << "sample " << k;
    EXPECT_NEAR(silence, 10981.934, 1e-3);
}

TEST_F(CentroidCore, NoSampleRateYetGivesZero) {
    Centroid& c = make(64, 2, 0, /*sample_rate=*/0.0f);
    const std::vector<float> signal = test_signal(1000, 3);
    std::vector<float> out(signal.size(), -1.0f);
    lyrcentroid::process(c, signal.data(), out.data(), static_cast<int32_t>(signal.size()));
    for (float v : out) ASSERT_EQ(v, 0.0f);
}

// Every allocation that can fail is made to fail in turn: nothing crashes,
// nothing leaks, the output stays defined, and the analyser works once memory
// is back.
TEST_F(CentroidCore, AllocationFailureLeavesAUsableAnalyser) {
    const std::vector<float> signal = test_signal(4096, 11);
    std::vector<float> want(signal.size());
    {
        Centroid& healthy = make(1024, 3);
        lyrcentroid::process(healthy, signal.data(), want.data(), static_cast<int32_t>(signal.size()));
    }
    TestMemory::calls = 0;
    Centroid& probe = make(1024, 3);
    const long needed = TestMemory::calls;  // the sums, the frame array, one input per frame
    ASSERT_EQ(needed, 3 + 3);
    for (long after = 0; after < needed; ++after) {
        SCOPED_TRACE(::testing::Message() << "allocations refused after " << after);
        lines_.lines.clear();
        TestMemory::calls = 0;
        TestMemory::fail_after = after;
        const long before = TestMemory::outstanding;
        Centroid& c = make(1024, 3);
        EXPECT_EQ(c.frames, nullptr);
        EXPECT_EQ(TestMemory::outstanding, before);
        EXPECT_EQ(lines_.lines, std::vector<std::string>{lyrcentroid::kNoMemoryMessage});
        std::vector<float> out(signal.size(), -1.0f);
        lyrcentroid::process(c, signal.data(), out.data(), 512);
        for (int k = 0; k < 512; ++k) ASSERT_EQ(out[k], 0.0f);
        // Memory is back: the frames are taken again and the analysis is whole.
        TestMemory::fail_after = -1;
        ASSERT_TRUE(lyrcentroid::take_frames(c));
        lyrcentroid::process(c, signal.data(), out.data(), static_cast<int32_t>(signal.size()));
        EXPECT_EQ(std::memcmp(out.data(), want.data(), out.size() * sizeof(float)), 0);
    }
    lyrcentroid::release(probe);
}

// A window whose buffers cannot be had falls back to 1024 like a bad argument.
TEST_F(CentroidCore, WindowThatCannotBeHadFallsBackTo1024) {
    TestMemory::largest = sizeof(double) * 4096;
    Centroid& c = make(8192, 2);
    EXPECT_EQ(c.window_size, 1024);
    EXPECT_EQ(c.overlap, 2);
    ASSERT_NE(c.frames, nullptr);
    EXPECT_EQ(lines_.lines, std::vector<std::string>{lyrcentroid::kWindowSizeMessage});
    EXPECT_EQ(c.frames[1].position, 512);
}

}  // namespace

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <optional>
#include <random>

#include "spectrum_core.h"
#include "spectrum_reference.h"
#include "spectrum_test_support.h"

using namespace lyrspectrum;
using spectrum_test::Lines;
using spectrum_test::Reference;
using spectrum_test::Sent;

namespace {

constexpr const char* kWindowLine = "lyr.spectrum~ :Error in FFT window size, set to 1024 samples";
constexpr const char* kOverlapLine = "lyr.spectrum~ :Error in overlapping, set to 2";
constexpr const char* kLowLine = "lyr.spectrum~ : error in low size domain (minimum is 0)";
constexpr const char* kHighLine = "lyr.spectrum~ : error in high size domain (maximum is half of sampling-rate)";

struct Analyser {
    Spectrum s;
    Lines lines;
    Analyser(int32_t window_size, int32_t overlap, int32_t sample_rate = 44100,
             lyrcore::Allocator alloc = lyrcore::Allocator{}) {
        opened = spectrum_open(s, window_size, overlap, sample_rate, alloc, lines.reporter());
    }
    ~Analyser() { spectrum_close(s); }
    bool opened = false;
};

// ---------------------------------------------------------------- creation

struct CreationCase {
    int32_t window_size, overlap;
    int32_t want_window, want_overlap;
    bool window_line, overlap_line;
};

TEST(SpectrumCore, CreationArgumentsAreCheckedAndReported) {
    const CreationCase cases[] = {
        {0, 0, 1024, 2, true, true},            // both missing
        {1000, 2, 1000, 2, false, false},       // even, not a power of two
        {1023, 2, 1024, 2, true, false},        // odd
        {16386, 2, 1024, 2, true, false},       // too large
        {-4, 2, 1024, 2, true, false},          // negative
        {16384, 1, 16384, 1, false, false},     // largest
        {2, 1, 2, 1, false, false},             // smallest
        {1024, -1, 1024, 2, false, true},       // overlap below 1
        {1024, 100000000, 1024, 2, false, true},  // overlap beyond the memory bound
        {16384, 257, 16384, 2, false, true},    // 16384 x 257 samples of frames: beyond the bound
        {4, 6, 4, 6, false, false},             // more frames than samples in the window
    };
    for (const CreationCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.window_size << " " << c.overlap);
        Analyser a(c.window_size, c.overlap);
        ASSERT_TRUE(a.opened);
        EXPECT_EQ(a.s.window_size, c.want_window);
        EXPECT_EQ(a.s.half_size, c.want_window / 2);
        EXPECT_EQ(a.s.overlap, c.want_overlap);
        std::vector<std::string> want;
        if (c.window_line) want.push_back(kWindowLine);
        if (c.overlap_line) want.push_back(kOverlapLine);
        EXPECT_EQ(a.lines.lines, want);
    }
}

TEST(SpectrumCore, MemoryBoundOfTheFrames) {
    EXPECT_TRUE(lyrdsp::frames_fit(16384, 256));
    EXPECT_FALSE(lyrdsp::frames_fit(16384, 257));
    EXPECT_TRUE(lyrdsp::frames_fit(1024, 4096));
    EXPECT_FALSE(lyrdsp::frames_fit(2, 4097));
    EXPECT_FALSE(lyrdsp::frames_fit(1024, 0));
    EXPECT_FALSE(lyrdsp::frames_fit(int64_t{1} << 40, 1));
}

TEST(SpectrumCore, FramesAreStaggered) {
    Analyser a(2048, 3);
    EXPECT_EQ(a.s.frames[0].fft.position, 0);
    EXPECT_EQ(a.s.frames[1].fft.position, 682);
    EXPECT_EQ(a.s.frames[2].fft.position, 1365);
    Analyser b(4, 6);  // two frames per start where frames outnumber samples
    const int32_t want[] = {0, 0, 1, 2, 2, 3};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(b.s.frames[i].fft.position, want[i]);
}

TEST(SpectrumCore, DerivedValuesAt44100) {
    Analyser a(1024, 2);
    EXPECT_EQ(a.s.half_size, 512);
    EXPECT_FLOAT_EQ(a.s.scale, 0.0061359233f);
    EXPECT_EQ(a.s.scale, static_cast<float>(std::numbers::pi / 512));
    EXPECT_EQ(a.s.domain[0], 0.0f);
    EXPECT_EQ(a.s.domain[1], 22050.0f);
    const Bins b = spectrum_bins(a.s);
    EXPECT_EQ(b.low, 0);
    EXPECT_EQ(b.high, 512);
    EXPECT_EQ(b.count(), 512);
}

// ---------------------------------------------------------------- domain

struct DomainCase {
    std::optional<float> low, high;
    int32_t want_low_bin, want_high_bin;
    float want_low, want_high;
    std::vector<std::string> lines;
};

TEST(SpectrumCore, DomainIsCheckedAndConvertedToBins) {
    const float nan = std::nanf("");
    const std::string high_set = "lyr.spectrum~ : high size domain set to 22050.000000";
    const DomainCase cases[] = {
        {100.0f, 5000.0f, 2, 116, 100.0f, 5000.0f, {}},
        {-5.0f, 1000.0f, 0, 23, 0.0f, 1000.0f, {kLowLine}},
        {300.0f, 200.0f, 6, 512, 300.0f, 22050.0f, {kHighLine, high_set}},
        {22049.0f, 22050.0f, 511, 512, 22049.0f, 22050.0f, {}},
        {22050.0f, 22050.0f, 0, 512, 0.0f, 22050.0f, {kLowLine}},
        {0.0f, 30000.0f, 0, 512, 0.0f, 22050.0f, {kHighLine, high_set}},
        // A missing edge (a symbol in the message) keeps its value; both checks still run.
        {std::nullopt, 5000.0f, 0, 116, 0.0f, 5000.0f, {}},
        {nan, nan, 0, 512, 0.0f, 22050.0f, {kLowLine, kHighLine, high_set}},
        {1000.0f, 1010.0f, 23, 23, 1000.0f, 1010.0f, {}},  // narrower than a bin
    };
    for (const DomainCase& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.low ? *c.low : -1.0f) << " " << (c.high ? *c.high : -1.0f));
        Analyser a(1024, 2);
        spectrum_set_domain(a.s, c.low, c.high);
        const Bins b = spectrum_bins(a.s);
        EXPECT_EQ(b.low, c.want_low_bin);
        EXPECT_EQ(b.high, c.want_high_bin);
        EXPECT_EQ(b.count(), std::max(0, c.want_high_bin - c.want_low_bin));
        EXPECT_EQ(a.s.domain[0], c.want_low);
        EXPECT_EQ(a.s.domain[1], c.want_high);
        EXPECT_EQ(a.lines.lines, c.lines);
    }
}

TEST(SpectrumCore, SymbolLowEdgeKeepsThePreviousValue) {
    Analyser a(1024, 2);
    spectrum_set_domain(a.s, 100.0f, 5000.0f);
    spectrum_set_domain(a.s, std::nullopt, 8000.0f);
    EXPECT_EQ(a.s.domain[0], 100.0f);
    EXPECT_EQ(spectrum_bins(a.s).low, 2);
    EXPECT_EQ(spectrum_bins(a.s).high, 185);
}

TEST(SpectrumCore, NewSampleRateLeavesTheBinsUntilTheDomainIsSet) {
    Analyser a(1024, 2);
    spectrum_set_sample_rate(a.s, 48000.7);
    EXPECT_EQ(a.s.sample_rate, 48000);
    EXPECT_EQ(spectrum_bins(a.s).high, 512);
    spectrum_set_domain(a.s, 0.0f, 22050.0f);
    EXPECT_EQ(spectrum_bins(a.s).high, 470);  // trunc(22050 / 48000 * 1024)
}

// ---------------------------------------------------------------- block-wise = per sample

struct Sweep {
    int32_t window_size, overlap;
    std::vector<int32_t> vector_sizes;  // cycled through
    std::optional<float> low, high;
};

// Runs the core and the per-sample reference side by side and compares every
// bit after every block: positions, transform counts, lists, and the lists
// polled after the block against the reference's last completion.
int64_t expect_same_bits(const Sweep& w, int32_t logamp, uint32_t seed, bool baseline) {
    int64_t lists = 0;
    Analyser a(w.window_size, w.overlap);
    EXPECT_TRUE(a.opened);
    if (!a.opened) return 0;
    if (baseline) a.s.take_linear = take_linear_baseline;
    if (w.low || w.high) spectrum_set_domain(a.s, w.low, w.high);
    Bins b = spectrum_bins(a.s);
    Reference ref(w.window_size, w.overlap, b.low, b.high);

    const int64_t total = int64_t{w.window_size} * 5 + 300;
    const std::vector<float> x = spectrum_test::test_signal(static_cast<std::size_t>(total), seed);
    std::vector<int64_t> seen(w.overlap, 0);
    int64_t t = 0;
    for (std::size_t k = 0; t < total; ++k) {
        const int32_t n = static_cast<int32_t>(
            std::min<int64_t>(w.vector_sizes[k % w.vector_sizes.size()], total - t));
        // Half-way through, a new domain and the other amplitude scale.
        const bool second_half = t >= total / 2;
        if (second_half && t - n < total / 2 && w.window_size >= 64) {
            spectrum_set_domain(a.s, 0.0f, 11025.0f);
            b = spectrum_bins(a.s);
            ref.set_bins(b.low, b.high);
        }
        const int32_t amp = second_half ? 1 - logamp : logamp;
        spectrum_process(a.s, x.data() + t, n, amp);
        ref.process(x.data() + t, n, amp);
        t += n;

        Sent sent;
        spectrum_test::poll(a.s, sent);
        std::size_t next = 0;
        for (int32_t i = 0; i < w.overlap; ++i) {
            const spectrum_test::ReferenceFrame& r = ref.frames()[i];
            const SpectrumFrame& f = a.s.frames[i];
            EXPECT_EQ(f.fft.position, r.position);
            EXPECT_EQ(f.transforms, r.transforms);
            EXPECT_EQ(0, std::memcmp(f.magnitudes, r.magnitudes.data(), sizeof(float) * r.magnitudes.size()))
                << "frame " << i << " after " << t << " samples";
            if (testing::Test::HasFailure()) return lists;
            if (r.completions != seen[i]) {
                seen[i] = r.completions;
                EXPECT_LT(next, sent.lists.size());
                if (next >= sent.lists.size()) return lists;
                EXPECT_EQ(sent.lists[next].frame, i);
                EXPECT_EQ(sent.lists[next].values.size(), r.completed.size());
                if (sent.lists[next].values.size() != r.completed.size()) return lists;
                EXPECT_TRUE(r.completed.empty() || std::memcmp(sent.lists[next].values.data(), r.completed.data(),
                                                               sizeof(float) * r.completed.size()) == 0)
                    << "list of frame " << i << " after " << t << " samples";
                ++next;
                ++lists;
            }
        }
        EXPECT_EQ(next, sent.lists.size());
        if (testing::Test::HasFailure()) return lists;
    }
    return lists;
}

TEST(SpectrumCore, BlockwiseProcessingGivesTheBitsOfThePerSampleScheme) {
    const Sweep sweeps[] = {
        {1024, 2, {64}, std::nullopt, std::nullopt},
        {1024, 4, {64}, 100.0f, 5000.0f},
        {256, 8, {64, 1, 0, 100}, std::nullopt, std::nullopt},
        {1000, 3, {7, 64, 333}, 50.0f, 20000.0f},
        {2048, 5, {512}, std::nullopt, std::nullopt},
        {64, 1, {64, 128, 3}, std::nullopt, std::nullopt},
        {16, 7, {5, 64, 1}, std::nullopt, std::nullopt},
        {6, 4, {1, 2, 13}, std::nullopt, std::nullopt},
        {4, 6, {3, 64}, std::nullopt, std::nullopt},  // frames sharing a start position
        {2, 2, {1, 5}, std::nullopt, std::nullopt},
        {1024, 2, {4096, 17}, 1000.0f, 1010.0f},       // a domain narrower than a bin
        {4096, 4, {64, 256}, 22049.0f, 22050.0f},
    };
    uint32_t seed = 1;
    for (const Sweep& w : sweeps) {
        for (int32_t logamp : {0, 1}) {
            // The loop build this processor gets, then the baseline build.
            for (bool baseline : {false, true}) {
                SCOPED_TRACE(testing::Message() << "N " << w.window_size << " overlap " << w.overlap << " logamp "
                                                << logamp << (baseline ? " baseline" : ""));
                // Every frame completes its list at least twice in the run.
                EXPECT_GE(expect_same_bits(w, logamp, seed, baseline), 2 * w.overlap);
                if (HasFailure()) return;
            }
            ++seed;
        }
    }
}

// ---------------------------------------------------------------- values

TEST(SpectrumCore, SilenceReadsFloorOrZero) {
    for (int32_t logamp : {0, 1}) {
        Analyser a(1024, 2);
        std::vector<float> silence(4096, 0.0f);
        spectrum_process(a.s, silence.data(), 4096, logamp);
        Sent sent;
        spectrum_test::poll(a.s, sent);
        ASSERT_EQ(sent.lists.size(), 2u);
        for (const auto& l : sent.lists)
            for (float v : l.values) ASSERT_EQ(v, logamp == 1 ? -126.0f : 0.0f);
    }
}

TEST(SpectrumCore, SineCentredOnBinTenReadsPi) {
    for (int32_t logamp : {0, 1}) {
        Analyser a(1024, 1);
        std::vector<float> x(4096);
        for (std::size_t t = 0; t < x.size(); ++t)
            x[t] = static_cast<float>(std::sin(2.0 * std::numbers::pi * 10.0 * static_cast<double>(t) / 1024.0));
        spectrum_process(a.s, x.data(), 4096, logamp);
        Sent sent;
        spectrum_test::poll(a.s, sent);
        ASSERT_EQ(sent.lists.size(), 1u);
        const std::vector<float>& l = sent.lists[0].values;
        ASSERT_EQ(l.size(), 512u);
        if (logamp == 1) {
            EXPECT_NEAR(l[10], 9.9430, 1e-3);
            for (std::size_t k = 0; k < l.size(); ++k) {
                if (k != 10) {
                    EXPECT_LT(l[k], -80.0f) << k;
                }
            }
        } else {
            EXPECT_NEAR(l[10], std::numbers::pi, 1e-5);
            for (std::size_t k = 0; k < l.size(); ++k) {
                if (k != 10) {
                    EXPECT_LT(l[k], 1e-4f) << k;
                }
            }
        }
    }
}

TEST(SpectrumCore, ConstantInputReadsTwoPiInBinZero) {
    Analyser a(1024, 1);
    std::vector<float> x(2048 + 1, 1.0f);
    spectrum_process(a.s, x.data(), static_cast<int32_t>(x.size()), 1);
    EXPECT_NEAR(a.s.frames[0].magnitudes[0], 15.9636, 1e-4);
}

// ---------------------------------------------------------------- hand-over timing

TEST(SpectrumCore, FirstListsComeAfterTheSecondTransformAndACompleteRefresh) {
    // 1024 / 2, full domain: frame 1 transforms for the second time after 1536
    // samples and completes its list 513 samples later; frame 0 after 2048 + 513.
    Analyser a(1024, 2);
    std::vector<float> x = spectrum_test::test_signal(4096, 7);
    Sent sent;
    spectrum_process(a.s, x.data(), 2048, 0);
    EXPECT_EQ(spectrum_test::poll(a.s, sent), 0);
    spectrum_process(a.s, x.data() + 2048, 1, 0);
    EXPECT_EQ(spectrum_test::poll(a.s, sent), 1);
    EXPECT_EQ(sent.lists.back().frame, 1);
    spectrum_process(a.s, x.data() + 2049, 2560 - 2049, 0);
    EXPECT_EQ(spectrum_test::poll(a.s, sent), 0);
    spectrum_process(a.s, x.data() + 2560, 1, 0);
    EXPECT_EQ(spectrum_test::poll(a.s, sent), 1);
    EXPECT_EQ(sent.lists.back().frame, 0);
    EXPECT_EQ(a.s.frames[0].transforms, 2);  // after 1024 and 2048 samples
    EXPECT_EQ(a.s.frames[1].transforms, 3);  // after 512, 1536 and 2560 samples
}

TEST(SpectrumCore, FrameCompletedTwiceBetweenPollsIsSentOnceWithItsLatestList) {
    Analyser a(64, 1);
    std::vector<float> x = spectrum_test::test_signal(64 * 6, 3);
    spectrum_process(a.s, x.data(), 64 * 4, 0);  // completions after transforms 2 and 3
    const std::vector<float> latest(a.s.frames[0].magnitudes, a.s.frames[0].magnitudes + 32);
    Sent sent;
    EXPECT_EQ(spectrum_test::poll(a.s, sent), 1);
    EXPECT_EQ(sent.lists[0].values, latest);
    EXPECT_EQ(spectrum_test::poll(a.s, sent), 0);
}

TEST(SpectrumCore, LongIntervalSendsOneListPerFrameInFrameOrder) {
    // 100 ms at 44100 Hz with 1024 / 4: every frame completes in between.
    Analyser a(1024, 4);
    std::vector<float> x = spectrum_test::test_signal(4410 * 4, 11);
    for (int tick = 0; tick < 4; ++tick) {
        spectrum_process(a.s, x.data() + 4410 * tick, 4410, 1);
        Sent sent;
        spectrum_test::poll(a.s, sent);
        if (tick == 0) continue;  // frames still before their second transform
        ASSERT_EQ(sent.lists.size(), 4u) << tick;
        for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(sent.lists[i].frame, i);
    }
}

TEST(SpectrumCore, DomainNarrowerThanABinSendsEmptyLists) {
    for (int32_t resize : {0, 1}) {
        Analyser a(1024, 2);
        spectrum_set_domain(a.s, 1000.0f, 1010.0f);
        std::vector<float> x = spectrum_test::test_signal(8192, 5);
        spectrum_process(a.s, x.data(), 8192, 0);
        Sent sent;
        spectrum_test::poll(a.s, sent, {0, 5, resize});
        ASSERT_EQ(sent.lists.size(), 2u);
        for (const auto& l : sent.lists) EXPECT_TRUE(l.values.empty());
    }
}

// ---------------------------------------------------------------- list steps

TEST(SpectrumCore, LogarithmicWarpPicksNeighbourMeans) {
    std::vector<float> list(512), scratch(513);
    for (int j = 0; j < 512; ++j) list[j] = static_cast<float>(j);
    spectrum_warp(list.data(), scratch.data(), 512);
    for (int j = 0; j <= 200; ++j) ASSERT_EQ(list[j], 0.5f) << j;
    EXPECT_EQ(list[201], 1.5f);
    EXPECT_EQ(list[256], 3.5f);
    EXPECT_EQ(list[511], 501.5f);
}

TEST(SpectrumCore, WarpOfShortListsStaysInsideTheList) {
    for (int32_t n : {1, 2, 10, 49, 50, 51}) {
        SCOPED_TRACE(n);
        std::vector<float> list(n), scratch(n + 1, 1e30f);  // a read past the list would show
        for (int j = 0; j < n; ++j) list[j] = static_cast<float>(j);
        spectrum_warp(list.data(), scratch.data(), n);
        for (int j = 0; j < n; ++j) {
            const auto k = static_cast<int32_t>(std::exp((j - n) / 50.0) * n);
            const float want = (static_cast<float>(k) + static_cast<float>(std::min(k + 1, n - 1))) / 2.0f;
            EXPECT_EQ(list[j], want) << j;
        }
        EXPECT_EQ(list[n - 1], n <= 50 ? static_cast<float>(n - 1) : list[n - 1]);
    }
}

TEST(SpectrumCore, SmoothingIsSeededByTheFirstListThenExponential) {
    Analyser a(1024, 1);
    std::vector<float> first = {10.0f, -20.0f, 0.0f}, second = {20.0f, 0.0f, 1e-30f};
    spectrum_smooth(a.s, first.data(), 3, 3);
    EXPECT_EQ(first, (std::vector<float>{10.0f, -20.0f, 0.0f}));  // first list unsmoothed
    EXPECT_NE(a.s.smooth_primed, 0);
    std::vector<float> l = second;
    spectrum_smooth(a.s, l.data(), 3, 3);  // factor 1/2: halfway
    EXPECT_EQ(l, (std::vector<float>{15.0f, -10.0f, 5e-31f}));
    EXPECT_EQ(a.s.smooth_buffer[0], 15.0f);
    l = {1e-30f, 3.0f, 7.0f};
    spectrum_smooth(a.s, l.data(), 3, 1);  // factor 1: unchanged, even far below the smoothed value
    EXPECT_EQ(l, (std::vector<float>{1e-30f, 3.0f, 7.0f}));
    l = {4.0f, 3.0f, 7.0f};
    spectrum_smooth(a.s, l.data(), 3, 0);  // below 1 counts as 1
    EXPECT_EQ(l, (std::vector<float>{4.0f, 3.0f, 7.0f}));
    l = {10.0f, 3.0f, 7.0f};
    spectrum_smooth(a.s, l.data(), 3, 5);  // factor 1/3
    EXPECT_EQ(l[0], static_cast<float>((10.0 - 4.0) * (2.0 / 6.0) + 4.0));
}

TEST(SpectrumCore, ResizeGivesTwoHundredFiftySixEntries) {
    struct Case {
        int32_t n;
        int32_t (*source)(int32_t c);
    };
    const Case cases[] = {
        {512, [](int32_t c) { return 2 * c; }},
        {1024, [](int32_t c) { return 4 * c; }},
        {300, [](int32_t c) { return c; }},
        {256, [](int32_t c) { return c; }},
        {100, [](int32_t c) { return c * 100 / 256; }},  // stretched, never past the list
        {1, [](int32_t) { return 0; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        std::vector<float> list(std::max(c.n, 256), -1.0f);
        for (int32_t j = 0; j < c.n; ++j) list[j] = static_cast<float>(j);
        ASSERT_EQ(spectrum_resize(list.data(), c.n), 256);
        for (int32_t k = 0; k < 256; ++k) ASSERT_EQ(list[k], static_cast<float>(c.source(k))) << k;
    }
    float empty[256];
    EXPECT_EQ(spectrum_resize(empty, 0), 0);
}

TEST(SpectrumCore, PollAppliesWarpSmoothingAndResizeToTheCompletedList) {
    Analyser a(1024, 1);
    std::vector<float> x = spectrum_test::test_signal(4096, 21);
    spectrum_process(a.s, x.data(), 2048 + 513, 0);
    const std::vector<float> analysed(a.s.frames[0].magnitudes, a.s.frames[0].magnitudes + 512);
    std::vector<float> want = analysed;
    std::vector<float> scratch(512);
    spectrum_warp(want.data(), scratch.data(), 512);
    spectrum_resize(want.data(), 512);
    want.resize(256);
    Sent sent;
    spectrum_test::poll(a.s, sent, {1, 5, 1});
    ASSERT_EQ(sent.lists.size(), 1u);
    EXPECT_EQ(sent.lists[0].values, want);
    // The frame's own list is left as the analysis wrote it.
    EXPECT_EQ(std::vector<float>(a.s.frames[0].magnitudes, a.s.frames[0].magnitudes + 512), analysed);
}

// ---------------------------------------------------------------- memory

struct CountingAllocator {
    static inline long limit = -1;
    static inline long taken = 0;
    static inline long live = 0;
    static lyrcore::Allocator make() {
        lyrcore::Allocator a;
        a.allocate = [](std::size_t bytes) -> void* {
            if (limit >= 0 && taken >= limit) return nullptr;
            ++taken;
            ++live;
            return std::malloc(bytes);
        };
        a.release = [](void* p) {
            if (p) --live;
            std::free(p);
        };
        return a;
    }
};

TEST(SpectrumCore, FailedAllocationLeavesASilentAnalyserAndNoLeak) {
    // Count what a full creation takes, then fail at every step of it.
    CountingAllocator::limit = -1;
    CountingAllocator::taken = 0;
    long needed = 0;
    {
        Analyser a(256, 3, 44100, CountingAllocator::make());
        ASSERT_TRUE(a.opened);
        needed = CountingAllocator::taken;
    }
    EXPECT_EQ(CountingAllocator::live, 0);
    std::vector<float> x(1024, 0.5f);
    for (long limit = 0; limit < needed; ++limit) {
        SCOPED_TRACE(limit);
        CountingAllocator::limit = limit;
        CountingAllocator::taken = 0;
        {
            Analyser a(256, 3, 44100, CountingAllocator::make());
            EXPECT_FALSE(a.opened);
            EXPECT_EQ(a.lines.lines.back(), kNoMemoryMessage);
            spectrum_process(a.s, x.data(), 1024, 1);
            Sent sent;
            EXPECT_EQ(spectrum_test::poll(a.s, sent), 0);
        }
        EXPECT_EQ(CountingAllocator::live, 0);
    }
    CountingAllocator::limit = -1;
}

}  // namespace

// The audio side and the poll allocate nothing: every allocation in this test
// binary is counted (the C allocator, and so operator new), and so is every
// host allocation.
#include <gtest/gtest.h>

#include <cstdlib>

#include "embedded_host.h"
#include "heap_counter.h"
#include "spectrum_core.h"
#include "spectrum_test_support.h"

namespace {

TEST(SpectrumNoAlloc, AnalysisAndPollAllocateNothing) {
    if (!lyrtest::heap_counting_available()) GTEST_SKIP() << "allocation counting is off under sanitizers";
    // The counter sees allocations at all.
    const long before_probe = lyrtest::heap_calls();
    void* volatile probe = std::malloc(16);  // volatile: the pair may not be elided
    std::free(probe);
    ASSERT_GT(lyrtest::heap_calls(), before_probe);

    lyrspectrum::Spectrum s;
    ASSERT_TRUE(lyrspectrum::spectrum_open(s, 1024, 4, 44100, {}, {}));
    const std::vector<float> x = spectrum_test::test_signal(64 * 2000, 4);
    float sink_total = 0.0f;
    auto sink = [](void* context, int32_t, const float* values, int32_t count) {
        if (count > 0) *static_cast<float*>(context) += values[0];
    };
    int32_t lists = 0;

    const long before = lyrtest::heap_calls();
    for (int v = 0; v < 2000; ++v) {
        lyrspectrum::spectrum_process(s, x.data() + 64 * v, 64, v % 3 == 0 ? 1 : 0);
        if (v % 7 == 0) lists += lyrspectrum::spectrum_poll(s, {v % 2, 3, (v / 7) % 2}, sink, &sink_total);
    }
    const long after = lyrtest::heap_calls();
    lyrspectrum::spectrum_close(s);

    EXPECT_EQ(after - before, 0);
    EXPECT_GT(lists, 100);
}

TEST(SpectrumNoAlloc, RunningObjectTakesNoHostMemory) {
    lyrhost::Host host;
    ASSERT_TRUE(host.create("sp", "lyr.spectrum~", "1024 4 @logfreq 1 @resize 1 @interval 3"));
    host.audio("sp", "noise:3");
    host.dsp(true);
    host.run_ms(100);
    host.take_events();
    const long before = host.allocation_count();
    host.run_ms(1000);
    EXPECT_EQ(host.allocation_count() - before, 0);
    EXPECT_GT(host.take_events().size(), 100u);
}

}  // namespace

// The audio side and the poll allocate nothing: every allocation in this test
// binary is counted (global operator new and the C allocator), and so is every
// host allocation.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <new>

#include "embedded_host.h"
#include "spectrum_core.h"
#include "spectrum_test_support.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define SPECTRUM_COUNTS_ALLOCATIONS 0  // the sanitizers own the allocator
#else
#define SPECTRUM_COUNTS_ALLOCATIONS 1
#endif

namespace {
std::atomic<long> g_allocations{0};
}

#if SPECTRUM_COUNTS_ALLOCATIONS
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);

void* malloc(std::size_t n) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(n);
}
void* calloc(std::size_t n, std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(n, size);
}
void* realloc(void* p, std::size_t n) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, n);
}
void* aligned_alloc(std::size_t alignment, std::size_t n) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_memalign(alignment, n);
}
void* memalign(std::size_t alignment, std::size_t n) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_memalign(alignment, n);
}
int posix_memalign(void** out, std::size_t alignment, std::size_t n) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    void* p = __libc_memalign(alignment, n);
    if (!p) return ENOMEM;
    *out = p;
    return 0;
}
}

void* operator new(std::size_t n) {
    if (void* p = malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return malloc(n ? n : 1); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return malloc(n ? n : 1); }
void operator delete(void* p) noexcept { free(p); }
void operator delete[](void* p) noexcept { free(p); }
void operator delete(void* p, std::size_t) noexcept { free(p); }
void operator delete[](void* p, std::size_t) noexcept { free(p); }
#endif

namespace {

TEST(SpectrumNoAlloc, AnalysisAndPollAllocateNothing) {
    if (!SPECTRUM_COUNTS_ALLOCATIONS) GTEST_SKIP() << "allocation counting is off under sanitizers";
    // The counter sees allocations at all.
    const long before_probe = g_allocations.load();
    void* probe = std::malloc(16);
    std::free(probe);
    ASSERT_GT(g_allocations.load(), before_probe);

    lyrspectrum::Spectrum s;
    ASSERT_TRUE(lyrspectrum::spectrum_open(s, 1024, 4, 44100, {}, {}));
    const std::vector<float> x = spectrum_test::test_signal(64 * 2000, 4);
    float sink_total = 0.0f;
    auto sink = [](void* context, int32_t, const float* values, int32_t count) {
        if (count > 0) *static_cast<float*>(context) += values[0];
    };
    int32_t lists = 0;

    const long before = g_allocations.load();
    for (int v = 0; v < 2000; ++v) {
        lyrspectrum::spectrum_process(s, x.data() + 64 * v, 64, v % 3 == 0 ? 1 : 0);
        if (v % 7 == 0) lists += lyrspectrum::spectrum_poll(s, {v % 2, 3, (v / 7) % 2}, sink, &sink_total);
    }
    const long after = g_allocations.load();
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

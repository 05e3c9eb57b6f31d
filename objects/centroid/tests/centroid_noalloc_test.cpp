// The perform routine of lyr.centroid~ allocates nothing: neither host memory
// nor anything from the C library's heap (malloc and its kin are counted in
// this test program, for every library loaded in it, FFTW and the module
// included).
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>

#include "embedded_host.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define LYR_COUNT_HEAP 0  // the sanitizers own malloc
#else
#define LYR_COUNT_HEAP 1
#endif

namespace {
bool counting = false;
long heap_calls = 0;
void count() {
    if (counting) ++heap_calls;
}
}  // namespace

#if LYR_COUNT_HEAP
// The C library's own entry points, which these forward to.
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
void __libc_free(void*);

void* malloc(std::size_t n) {
    count();
    return __libc_malloc(n);
}
void* calloc(std::size_t n, std::size_t size) {
    count();
    return __libc_calloc(n, size);
}
void* realloc(void* p, std::size_t n) {
    count();
    return __libc_realloc(p, n);
}
void* memalign(std::size_t alignment, std::size_t n) {
    count();
    return __libc_memalign(alignment, n);
}
void* aligned_alloc(std::size_t alignment, std::size_t n) {
    count();
    return __libc_memalign(alignment, n);
}
int posix_memalign(void** out, std::size_t alignment, std::size_t n) {
    count();
    void* p = __libc_memalign(alignment, n);
    if (!p) return 12;  // ENOMEM
    *out = p;
    return 0;
}
void free(void* p) { __libc_free(p); }
}
#endif

namespace {

using lyrhost::Host;

TEST(CentroidPerform, AllocatesNothing) {
#if !LYR_COUNT_HEAP
    GTEST_SKIP() << "heap calls cannot be counted under a sanitizer";
#endif
    for (const char* args : {"1024 4", "256 8 @logamp 1", "4096 1", "2 8"}) {
        SCOPED_TRACE(args);
        Host host;
        // The counter sees allocations made inside the loaded module and the host.
        counting = true;
        heap_calls = 0;
        ASSERT_TRUE(host.create("c", "lyr.centroid~", args));
        counting = false;
        EXPECT_GT(heap_calls, 0);

        host.audio("c", "noise:7");
        host.dsp(true);
        host.run_samples(64);  // the first vector, outside the count
        const long host_before = host.allocation_count();
        counting = true;
        heap_calls = 0;
        host.run_samples(64 * 200);  // every frame transforms and completes passes
        counting = false;
        EXPECT_EQ(heap_calls, 0);
        EXPECT_EQ(host.allocation_count(), host_before);
    }
}

}  // namespace

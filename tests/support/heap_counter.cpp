#include "heap_counter.h"

#include <atomic>
#include <cerrno>
#include <cstddef>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define LYR_COUNT_HEAP 0
#else
#define LYR_COUNT_HEAP 1
#endif

namespace {
std::atomic<long> calls{0};
void count() { calls.fetch_add(1, std::memory_order_relaxed); }
}  // namespace

namespace lyrtest {
bool heap_counting_available() { return LYR_COUNT_HEAP != 0; }
long heap_calls() { return calls.load(); }
}  // namespace lyrtest

#if LYR_COUNT_HEAP
// The program's own definitions take the place of the C library's for every
// library loaded in it; each counts, then forwards to the C library's.
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);

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
    if (!p) return ENOMEM;
    *out = p;
    return 0;
}
}
#endif

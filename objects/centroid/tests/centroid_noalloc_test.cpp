// The perform routine of lyr.centroid~ allocates nothing: neither host memory
// nor anything from the C library's heap (malloc and its kin are counted in
// this test program, for every library loaded in it, FFTW and the module
// included).
#include <gtest/gtest.h>

#include "embedded_host.h"
#include "heap_counter.h"

namespace {

using lyrhost::Host;

TEST(CentroidPerform, AllocatesNothing) {
    if (!lyrtest::heap_counting_available()) GTEST_SKIP() << "heap calls cannot be counted under a sanitizer";
    for (const char* args : {"1024 4", "256 8 @logamp 1", "4096 1", "2 8"}) {
        SCOPED_TRACE(args);
        Host host;
        // The counter sees allocations made inside the loaded module and the host.
        long before = lyrtest::heap_calls();
        ASSERT_TRUE(host.create("c", "lyr.centroid~", args));
        EXPECT_GT(lyrtest::heap_calls(), before);

        host.audio("c", "noise:7");
        host.dsp(true);
        host.run_samples(64);  // the first vector, outside the count
        const long host_before = host.allocation_count();
        before = lyrtest::heap_calls();
        host.run_samples(64 * 200);  // every frame transforms and completes passes
        EXPECT_EQ(lyrtest::heap_calls(), before);
        EXPECT_EQ(host.allocation_count(), host_before);
    }
}

}  // namespace

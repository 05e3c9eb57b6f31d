// Counts every heap call made in a test program (malloc and its kin, and so
// operator new), whichever library makes it: the modules, the host, FFTW.
#pragma once

namespace lyrtest {

// False under the sanitizers, which own the allocator: nothing is counted then.
bool heap_counting_available();

// Heap calls since the program started.
long heap_calls();

}  // namespace lyrtest

#!/usr/bin/env bash
# Sets up, builds and runs every test.
#   scripts/test.sh                         plain build in build/
#   scripts/test.sh --sanitize address,undefined
#                                           the same under sanitizers, in build-<sanitizers>/
#   scripts/test.sh --sanitize thread       the threaded tests under ThreadSanitizer
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
sanitize=""
if [[ "${1:-}" == "--sanitize" ]]; then sanitize="$2"; fi

if [[ -z "$sanitize" ]]; then
  BUILD_DIR="$root/build" "$root/scripts/build.sh"
  cd "$root/build" && ctest --output-on-failure -j2
elif [[ "$sanitize" == "thread" ]]; then
  build="$root/build-tsan"
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLYR_SANITIZE=thread >/dev/null
  cmake --build "$build" -j"$(nproc)" --target lyr_test_spectrum
  TSAN_OPTIONS="halt_on_error=1" "$build/objects/spectrum/lyr_test_spectrum" --gtest_filter='*Threaded*'
else
  build="$root/build-${sanitize//,/-}"
  BUILD_DIR="$build" "$root/scripts/build.sh" -DCMAKE_BUILD_TYPE=Debug -DLYR_SANITIZE="$sanitize"
  cd "$build" && ASAN_OPTIONS="detect_leaks=1" UBSAN_OPTIONS="print_stacktrace=1" ctest --output-on-failure -j2
fi

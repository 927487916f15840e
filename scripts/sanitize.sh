#!/usr/bin/env bash
# Builds the core, the batch tool and their tests with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs those tests.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -f build-asan/CMakeCache.txt ]; then
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMDV_SANITIZE=ON \
    -DMDV_BUILD_GUI=OFF -DMDV_BUILD_BENCHMARKS=OFF >/dev/null
fi
cmake --build build-asan -j"$(nproc)"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j"$(nproc)"

#!/usr/bin/env bash
# Installs what is missing, then builds and runs the whole test suite twice: as shipped
# (build/) and under AddressSanitizer with UndefinedBehaviorSanitizer (build-asan/); in
# between, the socket layer's tests under ThreadSanitizer (build-tsan/). Every stage
# always runs; the exit status is non-zero when any had a failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/deps.sh

status=0

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFALAVOX_TESTS=ON
cmake --build build -j "$(nproc)"
(cd build && ctest --output-on-failure -j2) || status=1

# Name lookups run on worker threads: the socket layer's tests under ThreadSanitizer.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFALAVOX_TESTS=ON \
    -DFALAVOX_SANITIZE_THREAD=ON -DFALAVOX_BENCH=OFF
cmake --build build-tsan -j "$(nproc)" --target net_test_eventsocket net_test_sendqueue net_test_resolve
(
    cd build-tsan
    export TSAN_OPTIONS=halt_on_error=1
    ctest --output-on-failure -R '^net_'
) || status=1

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFALAVOX_TESTS=ON \
    -DFALAVOX_SANITIZE=ON -DFALAVOX_BENCH=OFF
cmake --build build-asan -j "$(nproc)"
(
    cd build-asan
    export ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1
    export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp:print_suppressions=0
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    ctest --output-on-failure -j2
) || status=1

# Last, the parsers of received and stored bytes under libFuzzer (build-fuzz/), 20
# seconds each.
scripts/fuzz.sh --seconds 20 || status=1

exit "$status"

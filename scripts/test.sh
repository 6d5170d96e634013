#!/usr/bin/env bash
# Installs what is missing, checks the sources' format, then builds and runs the whole
# test suite twice: as shipped (build/, also built once in Debug with warnings as errors,
# build-debug/) and under AddressSanitizer with UndefinedBehaviorSanitizer (build-asan/); in
# between, the socket layer's tests under ThreadSanitizer (build-tsan/). Every stage
# always runs; the exit status is non-zero when any had a failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/deps.sh

status=0

# The committed format (.clang-format), on every C++ source of the project.
find . \( -path './build*' -o -path './.git' -o -path './dist' \) -prune -o \
    \( -name '*.cpp' -o -name '*.h' \) -print0 |
    xargs -0 clang-format --dry-run --Werror || status=1

# Every include keeps the folders' direction: a folder includes only the folders it links.
scripts/check-includes.py || status=1

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFALAVOX_TESTS=ON
cmake --build build -j "$(nproc)"
(cd build && ctest --output-on-failure -j2) || status=1

# Warnings are errors in a Debug build: the program, its tests and the benchmarks are
# built once that way. The tests ran above and are not run again.
cmake -S . -B build-debug -G Ninja -DCMAKE_BUILD_TYPE=Debug -DFALAVOX_TESTS=ON
cmake --build build-debug -j "$(nproc)" || status=1

# Name lookups and the network scan's calls run on worker threads: their tests under
# ThreadSanitizer.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFALAVOX_TESTS=ON \
    -DFALAVOX_SANITIZE_THREAD=ON -DFALAVOX_BENCH=OFF
cmake --build build-tsan -j "$(nproc)" --target net_test_eventsocket net_test_sendqueue net_test_resolve \
    app_test_network_scan platform_test_network_enum
(
    cd build-tsan
    export TSAN_OPTIONS=halt_on_error=1:suppressions=$root/scripts/tsan.supp
    ctest --output-on-failure -R '^(net_|app_test_network_scan|platform_test_network_enum)'
) || status=1

# The pool that runs blocking work off the user-interface thread, and the notices sent on
# it. Samba's client is started from a process that already has threads, which the
# sanitizer must be told to allow.
cmake --build build-tsan -j "$(nproc)" --target work_test_work_pool notice_test_invitation_notice
(
    cd build-tsan
    export TSAN_OPTIONS=halt_on_error=1:die_after_fork=0:suppressions=$root/scripts/tsan.supp
    ctest --output-on-failure -R '^(work_|notice_test_invitation_notice$)'
) || status=1

# The messenger's reader and ticker hand their steps to the user-interface thread.
cmake --build build-tsan -j "$(nproc)" --target notice_test_messenger
(
    cd build-tsan
    export TSAN_OPTIONS=halt_on_error=1
    ctest --output-on-failure -R '^notice_test_messenger$'
) || status=1

# The network neighbourhood's providers run on worker threads too, against real daemons.
cmake --build build-tsan -j "$(nproc)" --target neighbourhood_probe scan_probe platform_test_netbios_name
(
    cd build-tsan
    export TSAN_OPTIONS=halt_on_error=1:suppressions=$root/scripts/tsan.supp
    ctest --output-on-failure -R '^platform_(neighbourhood_real|test_netbios_name)$'
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

# The Debian package, as a user installs it: a release build packaged and checked by
# lintian (scripts/package.sh), then its menu entry, autostart entry and AppStream
# metadata checked by the desktop's own validators, from the files the package holds.
package_checks() {
    local tree result
    tree=$(mktemp -d)
    scripts/package.sh &&
        dpkg-deb -x dist/falavox_*.deb "$tree" &&
        desktop-file-validate "$tree"/usr/share/applications/falavox.desktop \
            "$tree"/usr/share/falavox/autostart/falavox.desktop &&
        appstreamcli validate-tree --no-net "$tree"
    result=$?
    rm -rf "$tree"
    return "$result"
}
package_checks || status=1

# Last, the parsers of received and stored bytes under libFuzzer (build-fuzz/), 12
# seconds each.
scripts/fuzz.sh || status=1

exit "$status"

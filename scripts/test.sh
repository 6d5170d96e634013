#!/usr/bin/env bash
# Installs what is missing, checks the sources' format, then builds and tests the program
# as shipped (build/: the package's release build, from which the package is made and
# checked; the tests of the whole program against real daemons and desktops run on it),
# the threaded parts under ThreadSanitizer (build-tsan/), and the whole test suite under
# AddressSanitizer with UndefinedBehaviorSanitizer (build-asan/). Every stage always runs;
# the exit status is non-zero when any had a failure.
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

# The Debian package, as a user installs it: the release build (scripts/package.sh, with
# the benchmarks and the whole-program tests' helpers built beside the program) packaged
# and checked by lintian, then its menu entry, autostart entry and AppStream metadata
# checked by the desktop's own validators, from the files the package holds.
package_checks() {
    local tree result
    tree=$(mktemp -d)
    scripts/package.sh build -DFALAVOX_TESTS=ON -DFALAVOX_UNIT_TESTS=OFF -DFALAVOX_BENCH=ON &&
        dpkg-deb -x dist/falavox_*.deb "$tree" &&
        desktop-file-validate "$tree"/usr/share/applications/falavox.desktop \
            "$tree"/usr/share/falavox/autostart/falavox.desktop &&
        appstreamcli validate-tree --no-net "$tree"
    result=$?
    rm -rf "$tree"
    return "$result"
}
package_checks || status=1
(cd build && ctest --output-on-failure -j2) || status=1

# The sanitizers' builds are Debug builds optimised a little (-O1), as their runtimes
# advise: they keep the program's own checks (asserts), and warnings are errors there.
sanitized=(-G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DFALAVOX_TESTS=ON
    -DFALAVOX_UNIT_TESTS=ON -DFALAVOX_BENCH=OFF)

# Name lookups run on worker threads, and their answers (like the network scan's) come back
# on the user-interface thread: their tests under ThreadSanitizer.
cmake -S . -B build-tsan "${sanitized[@]}" -DFALAVOX_SANITIZE_THREAD=ON
cmake --build build-tsan -j "$(nproc)" --target net_test_eventsocket net_test_sendqueue net_test_resolve \
    app_test_network_scan
(
    cd build-tsan
    export TSAN_OPTIONS=halt_on_error=1:suppressions=$root/scripts/tsan.supp
    ctest --output-on-failure -R '^(net_|app_test_network_scan)'
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

# The neighbourhood against real daemons: its lookups on worker threads, beside the toolkit's
# D-Bus thread (the Avahi daemon's replies) and the SMB helper's processes.
cmake --build build-tsan -j "$(nproc)" --target neighbourhood_probe scan_probe falavox-smb-browse \
    platform_test_netbios_name
(
    cd build-tsan
    export TSAN_OPTIONS=halt_on_error=1:suppressions=$root/scripts/tsan.supp
    ctest --output-on-failure -R '^platform_(neighbourhood_real|test_netbios_name)$'
) || status=1

cmake -S . -B build-asan "${sanitized[@]}" -DFALAVOX_SANITIZE=ON
cmake --build build-asan -j "$(nproc)"
(
    cd build-asan
    export ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1
    export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp:print_suppressions=0
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    ctest --output-on-failure -j2
) || status=1

# Last, the parsers of received and stored bytes under libFuzzer (build-fuzz/), 12
# seconds each.
scripts/fuzz.sh || status=1

exit "$status"

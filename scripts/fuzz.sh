#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (build-fuzz/, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each in turn, for a time or a number of runs:
#
#   scripts/fuzz.sh [--seconds N | --runs M] [target ...]
#
# Default: 12 seconds per target (what CI runs). A long run, as before a release:
#   scripts/fuzz.sh --runs 10000000
# Each target starts from its seed corpus in fuzz/corpus/<target>/ and keeps what it finds
# in build-fuzz/corpus/<target>/; a crash is saved in build-fuzz/artifacts/<target>/ and
# makes the script fail. Run a saved input again with build-fuzz/fuzz/<target> FILE.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

limit=(-max_total_time=12)
targets=()
while (($#)); do
    case "$1" in
    --seconds) limit=(-max_total_time="$2"); shift 2 ;;
    --runs) limit=(-runs="$2"); shift 2 ;;
    -h | --help) sed -n '2,11p' "$0"; exit 0 ;;
    *) targets+=("$1"); shift ;;
    esac
done
if ((${#targets[@]} == 0)); then
    mapfile -t targets < <(sed -n 's/^falavox_fuzz_target(\([A-Za-z0-9_]*\) .*/\1/p' fuzz/CMakeLists.txt)
fi

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" \
    -DFALAVOX_FUZZ=ON -DFALAVOX_TESTS=OFF -DFALAVOX_BENCH=OFF >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
# The store targets write a file per input: in memory they run ten times as fast.
if [[ -d /dev/shm && -w /dev/shm ]]; then
    export TMPDIR=/dev/shm
fi

status=0
for target in "${targets[@]}"; do
    work=build-fuzz/corpus/$target
    artifacts=build-fuzz/artifacts/$target
    mkdir -p "$work" "$artifacts"
    echo "== $target ${limit[*]}"
    if ! build-fuzz/fuzz/"$target" "${limit[@]}" -artifact_prefix="$artifacts/" \
        -print_final_stats=1 "$work" "fuzz/corpus/$target" 2>"build-fuzz/$target.log"; then
        status=1
        echo "$target FAILED; its report:"
        grep -v '^#' "build-fuzz/$target.log" | tail -40
    fi
    grep -E '^(stat::number_of_executed_units|stat::new_units_added|Done)' \
        "build-fuzz/$target.log" || true
done
exit "$status"

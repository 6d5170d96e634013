#!/usr/bin/env bash
# Counts how often the running program wakes up while nothing happens, against an
# application that only runs its event loop, measured in the same run.
#
#   bench/idle/idle_wakeups.sh BUILD_DIR [SECONDS]
#
# Both run on the offscreen platform, with no tray host (so the program shows its
# stand-in window), in a network namespace of their own (root) so that port 2200 is free.
# Needs perf (Debian's linux-perf).
set -euo pipefail
command -v perf >/dev/null || { echo "idle_wakeups.sh: perf is missing (linux-perf)" >&2; exit 77; }
build=${1:?build folder}
seconds=${2:-10}
falavox=$build/app/falavox
baseline=$build/bench/idle/bench_idle_baseline

# Context switches of the process, all its threads together, for the given seconds. The
# kernel counts them per thread, and a thread that ends (the work pool's end after a while
# without work) takes its count with it out of /proc; perf's counters, attached to the
# process, keep what its ended threads did and count threads started meanwhile. A process
# that never ran in that time is "<not counted>": no switch at all.
switches_during() {
    local pid=$1 seconds=$2
    perf stat -x, -e context-switches -p "$pid" -- sleep "$seconds" 2>&1 >/dev/null |
        awk -F, '$3 == "context-switches" { print ($1 == "<not counted>" ? 0 : $1) }'
}

measure() {
    local pid
    XDG_CONFIG_HOME=$(mktemp -d) QT_QPA_PLATFORM=offscreen "$@" >/dev/null 2>&1 &
    pid=$!
    sleep 2 # start-up is not idle time
    local counted
    counted=$(switches_during "$pid" "$seconds")
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    if ! [[ "$counted" =~ ^[0-9]+$ ]]; then
        echo "idle_wakeups.sh: perf could not count the context switches of $1" >&2
        exit 1
    fi
    echo "$counted"
}

run() {
    if [ "$(id -u)" = 0 ] && command -v unshare >/dev/null; then
        exec unshare -n bash -c 'ip link set lo up 2>/dev/null || true; exec "$@"' _ "$@"
    else
        exec "$@"
    fi
}

program=$(measure run "$falavox")
base=$(measure "$baseline")
echo "idle wake-ups in ${seconds} s: falavox $program, empty event loop $base"
awk -v p="$program" -v b="$base" -v s="$seconds" 'BEGIN {
    printf "falavox wake-ups per second: %.2f; ratio to the empty event loop: %.2f (goal: no periodic wake-ups, about 1)\n",
           p / s, (b > 0 ? p / b : p + 1) }'

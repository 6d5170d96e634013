#!/usr/bin/env bash
# Counts how often the running program wakes up while nothing happens, against an
# application that only runs its event loop, measured in the same run.
#
#   bench/idle/idle_wakeups.sh BUILD_DIR [SECONDS]
#
# Both run on the offscreen platform, with no tray host (so the program shows its
# stand-in window), in a network namespace of their own (root) so that port 2200 is free.
set -euo pipefail
build=${1:?build folder}
seconds=${2:-10}
falavox=$build/app/falavox
baseline=$build/bench/idle/bench_idle_baseline

# Context switches of every thread of a process: each is a wake-up or a preemption.
switches() {
    local pid=$1 total=0 n
    for status in /proc/"$pid"/task/*/status; do
        n=$(awk '/ctxt_switches/ { s += $2 } END { print s }' "$status" 2>/dev/null || echo 0)
        total=$((total + n))
    done
    echo "$total"
}

measure() {
    local pid
    XDG_CONFIG_HOME=$(mktemp -d) QT_QPA_PLATFORM=offscreen "$@" >/dev/null 2>&1 &
    pid=$!
    sleep 2 # start-up is not idle time
    local before after
    before=$(switches "$pid")
    sleep "$seconds"
    after=$(switches "$pid")
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    echo $((after - before))
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

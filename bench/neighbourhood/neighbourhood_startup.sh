#!/usr/bin/env bash
# Start-up of the network neighbourhood with an Avahi daemon present and no SMB master on
# the network, against no provider at all, measured in the same run:
#
#   bench/neighbourhood/neighbourhood_startup.sh BUILD_DIR [ROUNDS]
#
# Runs in a network namespace of its own (root) joined by a veth pair to a second one,
# each with its own system bus and avahi-daemon, the second announcing one service, so
# that the DNS-SD provider has a computer to find; nothing reaches the machine's network.
set -euo pipefail
build=${1:?build folder}
rounds=${2:-7}
bench=$(realpath "$build/bench/neighbourhood/bench_neighbourhood_startup")
probe=$(realpath "$build/tests/platform/neighbourhood_probe")
# The SMB provider's helper lives beside the program, not beside the benchmark.
export FALAVOX_SMB_BROWSE=$(realpath "$build/app/falavox-smb-browse")

. "$(dirname "$0")/../netns.sh"
netns_pair fnbbench fnbbv 10.245.9
netns_scratch scratch fnb-bench
for side in 1 2; do
    printf '[server]\nhost-name=fnbbench%s\nuse-ipv6=no\nallow-interfaces=fnbbv%s\n' \
        "$side" "$side" >"$scratch/avahi$side.conf"
    ip netns exec fnbbench$side unshare --mount --propagation private sh -c "
        mount -t tmpfs -o mode=0755 fnbrun /run && mkdir -p /run/dbus &&
        dbus-daemon --system --fork --print-pid=1 >$scratch/dbus$side.pid &&
        (avahi-daemon -f $scratch/avahi$side.conf >$scratch/avahi$side.log 2>&1 &)"
done
bus() { echo "unix:path=/proc/$(head -1 "$scratch/dbus$1.pid")/root/run/dbus/system_bus_socket"; }
# Waits up to thirty seconds for a command to succeed.
wait_for() {
    local what=$1
    shift
    for _ in $(seq 100); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.3
    done
    echo "timed out waiting for $what" >&2
    exit 1
}
for side in 1 2; do
    wait_for "avahi-daemon in fnbbench$side" grep -q "Server startup complete" "$scratch/avahi$side.log"
done
DBUS_SYSTEM_BUS_ADDRESS=$(bus 2) ip netns exec fnbbench2 "$probe" serve &
disown # ended with the namespace
# The enumerations have the computer to find once its announcement is out.
announced() {
    DBUS_SYSTEM_BUS_ADDRESS=$(bus 1) HOME=$scratch ip netns exec fnbbench1 "$probe" list |
        grep -qF '\\fnbbench2'
}
wait_for "fnbbench2's announcement" announced

# Milliseconds from start to exit of one side, run where the first daemon is.
run_side() {
    local start end
    start=$(date +%s%N)
    entries=$(DBUS_SYSTEM_BUS_ADDRESS=$(bus 1) HOME=$scratch ip netns exec fnbbench1 "$bench" "$1")
    end=$(date +%s%N)
    echo "$(((end - start) / 1000000)) $entries"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

: >"$scratch/providers"
: >"$scratch/none"
for _ in $(seq "$rounds"); do
    run_side none >>"$scratch/none"
    run_side providers >>"$scratch/providers"
done
with=$(cut -d' ' -f1 "$scratch/providers" | median)
without=$(cut -d' ' -f1 "$scratch/none" | median)
found=$(cut -d' ' -f2 "$scratch/providers" | sort -u | tr '\n' ' ')
echo "neighbourhood start-up and one full enumeration: median $with ms over $rounds runs" \
     "(entries found: $found)"
echo "the same process with no provider at all: median $without ms"
awk -v w="$with" -v b="$without" 'BEGIN {
    printf "ratio: %.1f; the difference, %d ms, is what start-up waits for the network\n",
           (b > 0 ? w / b : w), w - b }'

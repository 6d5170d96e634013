#!/usr/bin/env bash
# The event loop's longest pause while a notice goes to a computer whose SMB ports drop
# every packet, on the work pool against on the user-interface thread:
#
#   bench/notice/notice_pause.sh BUILD_DIR [ROUNDS]
#
# Runs in a network namespace of its own (root) joined by a veth pair to a second one
# whose TCP ports 139 and 445 drop what arrives; nothing reaches the machine's network.
set -euo pipefail
build=${1:?build folder}
rounds=${2:-3}
bench=$(realpath "$build/bench/notice/bench_notice_pause")
if [ "$(id -u)" != 0 ]; then
    echo "needs root: network namespaces and a packet filter of their own" >&2
    exit 1
fi
for tool in smbclient nft; do
    command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 1; }
done

# Runs that use these namespaces take turns, as the tests' do.
exec 9>"${TMPDIR:-/tmp}/falavox-test-fnpbench.lock"
flock 9

cleanup() {
    for ns in fnpbench1 fnpbench2; do
        for pid in $(ip netns pids "$ns" 2>/dev/null); do kill -9 "$pid" 2>/dev/null || true; done
        ip netns delete "$ns" 2>/dev/null || true
    done
}
trap cleanup EXIT
cleanup

ip netns add fnpbench1
ip netns add fnpbench2
ip link add fnpbv1 netns fnpbench1 type veth peer name fnpbv2 netns fnpbench2
for side in 1 2; do
    ip -n fnpbench$side link set lo up
    ip -n fnpbench$side addr add 10.246.9.$side/24 brd + dev fnpbv$side
    ip -n fnpbench$side link set fnpbv$side up
done
ip netns exec fnpbench2 nft 'table inet fnpdrop { chain input { type filter hook input priority 0; tcp dport { 139, 445 } drop; }; }'

ip netns exec fnpbench1 "$bench" 10.246.9.2 "$rounds"

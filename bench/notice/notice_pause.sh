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
for tool in smbclient nft; do
    command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 1; }
done

. "$(dirname "$0")/../netns.sh"
netns_pair fnpbench fnpbv 10.246.9
ip netns exec fnpbench2 nft 'table inet fnpdrop { chain input { type filter hook input priority 0; tcp dport { 139, 445 } drop; }; }'

ip netns exec fnpbench1 "$bench" 10.246.9.2 "$rounds"

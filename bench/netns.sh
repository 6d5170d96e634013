# The network namespaces of the shell benchmarks, sourced by them (bash, root):
#
#   netns_pair NAME VETH SUBNET
#
# makes the namespaces NAME1 and NAME2, each with its loopback up, joined by a veth pair
# VETH1 (in NAME1) to VETH2 (in NAME2), with the addresses SUBNET.1/24 and SUBNET.2/24.
# Runs that use the same namespaces take turns (a lock held until the script ends); what
# an earlier run left behind is removed first, and when the script exits every process
# in the namespaces is ended, the namespaces removed, and so is each folder named in
# netns_scratch. Nothing reaches the machine's network.

netns_names=()
netns_folders=()

netns_remove() {
    local ns
    for ns in "$@"; do
        ip netns pids "$ns" 2>/dev/null | xargs -r kill -9 2>/dev/null || true
        ip netns delete "$ns" 2>/dev/null || true
    done
}

netns_end() {
    netns_remove "${netns_names[@]}"
    if [ ${#netns_folders[@]} -gt 0 ]; then rm -rf "${netns_folders[@]}"; fi
}

# netns_scratch VARIABLE PREFIX: a scratch folder, readable by the daemons, removed at
# the end, its path in VARIABLE.
netns_scratch() {
    local folder
    folder=$(mktemp -d "${TMPDIR:-/tmp}/$2.XXXXXX")
    chmod 755 "$folder"
    netns_folders+=("$folder")
    printf -v "$1" %s "$folder"
}

netns_pair() {
    local name=$1 veth=$2 subnet=$3 side
    if [ "$(id -u)" != 0 ]; then
        echo "needs root: network namespaces of its own" >&2
        exit 1
    fi
    exec {netns_turn}>"${TMPDIR:-/tmp}/falavox-test-${name}.lock"
    flock "$netns_turn"
    netns_names=("${name}1" "${name}2")
    trap netns_end EXIT
    netns_remove "${netns_names[@]}"
    ip netns add "${name}1"
    ip netns add "${name}2"
    ip link add "${veth}1" netns "${name}1" type veth peer name "${veth}2" netns "${name}2"
    for side in 1 2; do
        ip -n "$name$side" link set lo up
        ip -n "$name$side" addr add "$subnet.$side/24" brd + dev "$veth$side"
        ip -n "$name$side" link set "$veth$side" up
    done
}

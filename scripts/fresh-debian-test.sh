#!/usr/bin/env bash
# Runs the README's test command on a fresh minimal Debian 12, as a newcomer would: a clone
# of this checkout's HEAD (committed work only), then ".ci/run" as root, which builds and
# runs all tests. Needs root; not part of CI (it downloads about a thousand packages and
# takes half an hour or more on two cores). Run it after changing what the build or a test
# needs from the system.
#
# The packages are installed by scripts/deps.sh (the command's own first step) in a first
# start of the system, and the tests run in a second one: what installing left in /run
# (Samba's /run/samba, say) is gone then, as after a restart of a real machine.
#
# The fresh system is made once with debootstrap (minbase, plus git) in
# build-fresh/pristine and copied for every run to build-fresh/root, which is removed
# when the run passes and kept for a look when it fails. The clone is /root/falavox in it;
# the run's output is build-fresh/run.log.
#
# The copy becomes the root of mount and PID namespaces of its own through pivot_root, as
# a machine's root is: a plain chroot would break "nsenter -m" into the mount namespaces
# the tests make inside it. What it shares with this machine, and why:
#  - the kernel and the network namespace: apt reaches the archive as a real machine
#    does. The tests' own networks are namespaces they make; their names live in the
#    copy's own /run/netns and their veth pairs are made inside them, so they never meet
#    those of tests running on this machine at the same time. Loopback ports and abstract
#    sockets (an X server's) are shared: the tests choose free ones.
#  - /dev (the devices), with an /dev/shm of its own.
# Everything else is its own: /proc (its processes only, so "ip netns pids" and the
# tests' clean-up never see this machine's), /sys, an empty /run as after a boot, /tmp
# (the tests' lock files, so its tests take turns among themselves only).
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ "$(id -u)" -ne 0 ]]; then
    echo "fresh-debian-test.sh: needs root (debootstrap and namespaces)" >&2
    exit 1
fi
if [[ -n "$(git status --porcelain --untracked-files=no)" ]]; then
    echo "fresh-debian-test.sh: uncommitted changes are not part of the run" >&2
fi
commit=$(git rev-parse HEAD)

work=$PWD/build-fresh
pristine=$work/pristine
root=$work/root
log=$work/run.log
if [[ ! -d "$pristine" ]]; then
    command -v debootstrap >/dev/null || apt-get install -y --no-install-recommends debootstrap
    rm -rf "$pristine.tmp"
    debootstrap --variant=minbase --include=git bookworm "$pristine.tmp"
    mv "$pristine.tmp" "$pristine"
fi
rm -rf "$root"
cp -a "$pristine" "$root"
cp /etc/resolv.conf "$root/etc/resolv.conf"
# What the installer writes and debootstrap does not: without it "localhost" would be a
# question for the name server.
printf '127.0.0.1\tlocalhost\n127.0.1.1\t%s\n::1\t\tlocalhost ip6-localhost ip6-loopback\n' \
    "$(cat "$root/etc/hostname")" >"$root/etc/hosts"
git clone -q --no-hardlinks "$PWD" "$root/root/falavox"
git -C "$root/root/falavox" checkout -q --detach "$commit"

# Runs a command in the root as root's login shell would, in mount and PID namespaces of
# its own; every process it started ends with it (and with this script). PID 1 is a bash
# that waits for the command and, as init does, reaps the daemons the tests leave to it.
in_root() {
    exec unshare --mount --propagation private --pid --fork --kill-child sh -euc '
        root=$0
        mount --bind "$root" "$root"
        mount --rbind /dev "$root/dev"
        mount -t tmpfs -o mode=1777 fresh-shm "$root/dev/shm"
        mount -t proc proc "$root/proc"
        mount -t sysfs sysfs "$root/sys"
        mount -t tmpfs -o mode=0755 fresh-run "$root/run"
        cd "$root"
        mkdir -p .old-root
        pivot_root . .old-root
        umount -l /.old-root
        rmdir /.old-root
        cd /root
        exec /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
            HOME=/root USER=root LOGNAME=root SHELL=/bin/bash LANG=C.UTF-8 TERM=dumb \
            /bin/bash -c "\"\$@\" & wait \$!" bash "$@"' "$root" "$@" </dev/null
}

start=$(date +%s)
minutes() { echo "$((($(date +%s) - start + 30) / 60)) min"; }
fail() {
    echo "fresh Debian 12 run: FAILED $* after $(minutes); see $log, the system is kept" \
        "in $root" | tee -a "$log"
    exit 1
}
# Each start of the system runs in the background so that ending this script ends it too.
running=
boot() {
    local status=0
    (in_root bash -c "cd /root/falavox && $1") >>"$log" 2>&1 &
    running=$!
    wait "$running" || status=$?
    running=
    return "$status"
}
trap '[[ -z "$running" ]] || kill -KILL "$running"' EXIT
trap 'exit 1' INT TERM

echo "fresh Debian 12 run of $commit, started $(date -u '+%F %T') UTC" | tee "$log"
boot scripts/deps.sh || fail "installing the packages"
echo "== packages installed after $(minutes); the system starts again" | tee -a "$log"
boot "bash .ci/run" || fail "in the test command"
rm -rf "$root"
echo "fresh Debian 12 run: passed in $(minutes)" | tee -a "$log"

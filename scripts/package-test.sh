#!/usr/bin/env bash
# Installs the Debian package on a fresh minimal Debian 12 and uses it as a newcomer
# would, then removes it again (needs root; not part of scripts/test.sh: it downloads
# a few hundred packages and takes minutes).
#
#  1. "apt-get install ./falavox_*.deb" (without recommended packages) pulls in every
#     library the program and its display plugin load.
#  2. As an ordinary user, under xvfb-run with trayer as the notification area and in
#     a network namespace of its own, falavox listens on 0.0.0.0:2200 and shows its
#     tray icon.
#  3. Removing the package leaves nothing behind but the user's own files.
#
# The fresh system is made once with debootstrap (build-pkgtest/pristine) and copied
# for every run (build-pkgtest/root, removed when the run passes). A screenshot of the
# desktop with the tray icon is left in build-pkgtest/tray-icon.png.
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ "$(id -u)" -ne 0 ]]; then
    echo "package-test.sh: needs root (debootstrap, chroot and namespaces)" >&2
    exit 1
fi
scripts/deps.sh
scripts/package.sh >/dev/null
deb=$(ls dist/falavox_*.deb)

work=$PWD/build-pkgtest
pristine=$work/pristine
root=$work/root
if [[ ! -d "$pristine" ]]; then
    rm -rf "$pristine.tmp"
    debootstrap --variant=minbase bookworm "$pristine.tmp"
    mv "$pristine.tmp" "$pristine"
fi
rm -rf "$root" "$work/failure.png" "$work/tray-icon.png"
cp -a "$pristine" "$root"
cp /etc/resolv.conf "$root/etc/resolv.conf"
cp "$deb" "$root/tmp/falavox.deb"

# Runs a command in the root, in mount and process namespaces of its own: its mounts
# vanish and every process it started ends with it. --offline adds a network namespace
# with nothing but loopback, for running the program.
in_root() {
    local unshare=(unshare --mount --pid --fork --kill-child --mount-proc="$root/proc")
    if [[ "$1" == --offline ]]; then
        unshare+=(--net)
        shift
    fi
    "${unshare[@]}" sh -c 'mount --rbind /dev "$0/dev" && exec chroot "$0" "$@"' "$root" \
        /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
        DEBIAN_FRONTEND=noninteractive "$@"
}

step() { printf '\n== %s\n' "$*"; }
fail() {
    echo "FAILED: $*" >&2
    exit 1
}

# Every path of the system that a package or a program could leave behind; the
# package manager's own records, caches and logs aside.
snapshot() {
    (cd "$root" && find . -xdev \( -path ./proc -o -path ./sys -o -path ./dev -o -path ./tmp \
        -o -path ./run -o -path ./var/cache -o -path ./var/log -o -path ./var/lib/dpkg \
        -o -path ./var/lib/apt -o -path ./var/backups \) -prune -o -print | sort) >"$1"
}

step "installing the package on a fresh system"
in_root apt-get update -q
in_root apt-get install -y -q --no-install-recommends /tmp/falavox.deb
in_root dpkg-query -W -f='${Status}\n' falavox | grep -qx 'install ok installed' ||
    fail "the package is not installed"
missing=$(in_root sh -c 'ldd /usr/bin/falavox /usr/lib/*/qt6/plugins/platforms/libqxcb.so' |
    grep 'not found' || true)
[[ -z "$missing" ]] || fail "libraries the package did not bring: $missing"
echo "every library of falavox and of its display plugin is there"

step "the tools of the test: a display, a notification area, window and socket tools"
in_root apt-get install -y -q --no-install-recommends xvfb xauth trayer xdotool x11-apps \
    iproute2 >/dev/null
in_root useradd --create-home ana
# The user's own settings, as the options dialog stores them.
settings=/home/ana/.config/falavox/registry.reg
mkdir -p "$root${settings%/*}"
printf '%s\r\n' REGEDIT4 '' '[HKEY_LOCAL_MACHINE\Software\Falavox\Configuracao]' \
    '"BarraTitulo"=dword:00000001' '"AutoResposta"=dword:00000000' '"Resposta"=""' \
    '"ChatConvite"="Oi"' '"WinPopUp"=dword:00000000' >"$root$settings"
in_root chown -R ana:ana /home/ana/.config
# What the system looks like without the program: its libraries and the tools stay.
in_root dpkg -r falavox >/dev/null
snapshot "$work/without-falavox.list"
in_root apt-get install -y -q --no-install-recommends /tmp/falavox.deb >/dev/null

step "starting falavox as ana under xvfb-run, with trayer, without a network"
cat >"$root/tmp/desktop.sh" <<'EOF'
set -u
fail() {
    echo "FAILED: $*"
    xwd -root -silent -out /tmp/failure.xwd
    echo "falavox said on its error stream:"; cat /tmp/falavox.stderr
    exit 1
}
# Waits up to ten seconds for a command to succeed.
wait_for() {
    what=$1; shift; tries=0
    until "$@" >/dev/null 2>&1; do
        tries=$((tries + 1)); [ $tries -le 100 ] || fail "timed out waiting for $what"
        sleep 0.1
    done
}
listening() { ss -Hltn 'sport = :2200' | grep -q '0\.0\.0\.0:2200'; }
# The icon is a small window of the program docked in trayer at the screen's top right.
tray_icon() {
    for window in $(xdotool search --pid "$program" 2>/dev/null); do
        eval "$(xdotool getwindowgeometry --shell "$window")"
        if [ "$WIDTH" -ge 8 ] && [ "$WIDTH" -le 48 ] && [ "$HEIGHT" -ge 8 ] &&
            [ "$HEIGHT" -le 48 ] && [ "$Y" -lt 40 ] && [ "$X" -gt 512 ]; then
            echo "$window at $X,$Y, ${WIDTH}x$HEIGHT"
            return 0
        fi
    done
    return 1
}

chmod 644 "$XAUTHORITY"
trayer --edge top --align right --widthtype request --height 32 --SetDockType true \
    >/tmp/trayer.log 2>&1 &
tray=$!
wait_for "trayer" xdotool search --class trayer
install -d -o ana -g ana -m 700 /tmp/runtime-ana
setpriv --reuid=ana --regid=ana --init-groups env -i HOME=/home/ana USER=ana LOGNAME=ana \
    PATH=/usr/bin:/bin DISPLAY="$DISPLAY" XAUTHORITY="$XAUTHORITY" \
    XDG_RUNTIME_DIR=/tmp/runtime-ana falavox 2>/tmp/falavox.stderr &
program=$!
wait_for "falavox to listen on 0.0.0.0:2200" listening
echo "listening: $(ss -Hltnp 'sport = :2200')"
wait_for "the tray icon" tray_icon
echo "tray icon: $(tray_icon)"
sleep 1
xwd -root -silent -out /tmp/tray-icon.xwd
kill -0 "$program" 2>/dev/null || fail "falavox ended"
kill "$program"
wait "$program"
kill "$tray"
echo "falavox said on its error stream:"; cat /tmp/falavox.stderr
EOF
in_root --offline sh -c 'ip link set lo up && xvfb-run -a -f /tmp/xauth \
    -s "-screen 0 1024x768x24 -nolisten tcp" sh /tmp/desktop.sh' | tee "$work/desktop.log" ||
    true
if ! grep -q '^tray icon: ' "$work/desktop.log"; then
    [[ ! -f "$root/tmp/failure.xwd" ]] || convert "$root/tmp/failure.xwd" "$work/failure.png"
    fail "falavox did not start with its tray icon (screen in $work/failure.png)"
fi
convert "$root/tmp/tray-icon.xwd" "$work/tray-icon.png"
echo "screenshot: $work/tray-icon.png"

step "removing the package"
in_root apt-get remove -y -q falavox >/dev/null
snapshot "$work/after-removal.list"
left=$(comm -13 "$work/without-falavox.list" "$work/after-removal.list" |
    grep -v '^\./home/ana\(/\|$\)' || true)
gone=$(comm -23 "$work/without-falavox.list" "$work/after-removal.list" || true)
[[ -z "$left" ]] || fail "left behind after removal: $left"
[[ -z "$gone" ]] || fail "gone with the package: $gone"
in_root cat "$settings" | grep -q '"ChatConvite"="Oi"' || fail "the user's settings are gone"
echo "nothing is left but ana's own files:"
comm -13 "$work/without-falavox.list" "$work/after-removal.list"
echo "ana's settings are kept"

rm -rf "$root"
echo
echo "package test: passed"

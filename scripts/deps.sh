#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running, testing and benchmarking
# Falavox need. Quick when everything is there already: apt is then not called at all.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config python3 git ca-certificates
    qt6-base-dev libxkbcommon-dev libgl-dev libxcb1-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    libpulse-dev pulseaudio pulseaudio-utils
    xvfb xauth xdotool trayer imagemagick x11-utils fonts-dejavu-core
    xclip
    iproute2 netbase util-linux
    dpkg-dev file desktop-file-utils appstream lintian debootstrap
    tshark samba smbclient libsmbclient-dev avahi-daemon avahi-utils dbus xfce4-panel
    libglib2.0-bin
    clang libfuzzer-14-dev libclang-rt-14-dev clang-format
    dbus-x11
    nftables
    bind9
    sway waybar mako-notifier grim wtype foot qt6-wayland
    openbox xterm dunst
    gnome-shell gjs xwayland gnome-shell-extension-appindicator
    linux-perf
)
# Recommended packages are left out, so every one a build or a test reaches for is named
# above: libclang-rt-14-dev (clang only recommends it) holds the fuzzers' runtime and
# <fuzzer/FuzzedDataProvider.h>, libglib2.0-bin the gdbus that reads the tray's exported
# menu. linux-perf counts the idle program's wake-ups (bench/idle).

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
    [[ "$status" == installed ]] || missing+=("$package")
done
if ((${#missing[@]} == 0)); then
    exit 0
fi

as_root=()
if [[ "$(id -u)" -ne 0 ]]; then
    as_root=(sudo)
fi
echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y --no-install-recommends "${missing[@]}"

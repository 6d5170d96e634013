#!/usr/bin/env bash
# Installs what is missing, builds Falavox and starts it in the current desktop session.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --target falavox -j "$(nproc)"

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    echo "Falavox is built (build/app/falavox) but there is no desktop to show it on:" >&2
    echo "run this command again from a terminal of a graphical session." >&2
    exit 1
fi
exec build/app/falavox

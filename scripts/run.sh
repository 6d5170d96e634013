#!/usr/bin/env bash
# Installs what is missing, builds Falavox and starts it in the current desktop session.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
# A tree made before (by the test command, say) is built as it was made.
[[ -f build/CMakeCache.txt ]] || cmake -S . -B build -G Ninja
cmake --build build --target falavox -j "$(nproc)"

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    echo "Falavox is built (build/app/falavox) but there is no desktop to show it on:" >&2
    echo "run this command again from a terminal of a graphical session." >&2
    exit 1
fi
exec build/app/falavox

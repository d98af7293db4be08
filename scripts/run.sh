#!/usr/bin/env bash
# Installs what the program needs, builds it and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build run
scripts/build.sh
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    cat >&2 <<'TXT'
Parcelwright is built (build/bin/parcelwright), but this machine has no display to show it on.
To start it under a virtual X server:
    scripts/install-deps.sh screenshot
    Xvfb :99 -screen 0 1024x768x24 -nolisten tcp &
    DISPLAY=:99 build/bin/parcelwright
TXT
    exit 2
fi
exec build/bin/parcelwright

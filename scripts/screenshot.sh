#!/usr/bin/env bash
# Takes a screenshot of the main window under a virtual X server into docs/main-window.png.
# Builds nothing: run scripts/build.sh (or scripts/run.sh) first. Usage: scripts/screenshot.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}
program="$build_dir/bin/parcelwright"
output=docs/main-window.png
title="Tallowmere- Parcelwright"

[[ -x "$program" ]] || { echo "screenshot: $program is not built" >&2; exit 1; }
for tool in Xvfb import xwininfo; do
    command -v "$tool" >/dev/null || {
        echo "screenshot: $tool is missing; run scripts/install-deps.sh screenshot" >&2
        exit 1
    }
done

# A display number that no other X server holds.
display=99
while [[ -e /tmp/.X11-unix/X$display || -e /tmp/.X$display-lock ]]; do
    display=$((display + 1))
done

xvfb_pid=""
app_pid=""
cleanup() {
    [[ -n "$app_pid" ]] && kill "$app_pid" 2>/dev/null || true
    [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null || true
    wait 2>/dev/null || true
}
trap cleanup EXIT

Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display"
for _ in $(seq 50); do
    xwininfo -root >/dev/null 2>&1 && break
    sleep 0.1
done

# The start-up directory is where the program looks for its profiles: an empty one shows the
# window as a new user sees it.
start_dir=$(mktemp -d)
program_path=$(realpath "$program")
(cd "$start_dir" && exec "$program_path") &
app_pid=$!

window=""
for _ in $(seq 100); do
    window=$(xwininfo -root -tree 2>/dev/null | awk -v t="\"$title\"" 'index($0, t) { print $1; exit }')
    [[ -n "$window" ]] && break
    sleep 0.1
done
[[ -n "$window" ]] || { echo "screenshot: the main window did not appear" >&2; exit 1; }
sleep 1 # let the first paint finish

mkdir -p docs
import -window "$window" "$output"
rm -rf "$start_dir"
echo "screenshot: wrote $output"

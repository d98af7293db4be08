#!/usr/bin/env bash
# Starts or stops a virtual X server for the window tests that need the real X11 platform (key
# bindings, input focus, events typed through XTEST).
# Usage: scripts/xvfb.sh start|stop DIR
#
# start writes DIR/display (":N", the display the server took; the tests read it before they make
# their application) and DIR/xvfb.pid. CTest runs start and stop as the "xvfb" fixture.
set -euo pipefail

die() {
    echo "xvfb: $*" >&2
    exit 1
}

usage() {
    echo "usage: $0 start|stop DIR" >&2
    exit 2
}

# shellcheck source=scripts/processes.sh
source "$(dirname "$0")/processes.sh"

stop() {
    local dir=$1 pid
    [[ -f "$dir/xvfb.pid" ]] || return 0
    pid=$(cat "$dir/xvfb.pid")
    # Only the server this directory started, not a process that took over its number since.
    if [[ "$pid" =~ ^[0-9]+$ ]] && is_running "$pid" &&
        [[ "$(cat "/proc/$pid/comm" 2>/dev/null)" == Xvfb ]]; then
        kill "$pid"
        for _ in $(seq 50); do
            is_running "$pid" || break
            sleep 0.1
        done
        is_running "$pid" && kill -KILL "$pid"
    fi
    rm -f "$dir/xvfb.pid" "$dir/display"
}

start() {
    local dir=$1 pid number=""
    "$(dirname "$0")/install-deps.sh" test
    mkdir -p "$dir"
    dir=$(cd "$dir" && pwd)
    stop "$dir"
    rm -f "$dir/display.new"
    # Xvfb picks a display number that no other server holds and writes it once it accepts
    # clients, so that test runs side by side never race for one number. A session of its own:
    # CTest must not wait on it.
    setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display.new" \
        </dev/null >"$dir/xvfb.log" 2>&1 &
    pid=$!
    echo "$pid" >"$dir/xvfb.pid"
    for _ in $(seq 300); do
        if [[ -s "$dir/display.new" ]]; then
            read -r number <"$dir/display.new" || true
            [[ "$number" =~ ^[0-9]+$ ]] && break
        fi
        is_running "$pid" || break
        sleep 0.1
    done
    if ! [[ "$number" =~ ^[0-9]+$ ]]; then
        tail -n 20 "$dir/xvfb.log" >&2 || true
        stop "$dir"
        die "Xvfb did not come up"
    fi
    echo ":$number" >"$dir/display.new"
    mv "$dir/display.new" "$dir/display"
    echo "xvfb: display :$number (pid $pid)"
}

[[ $# -eq 2 ]] || usage
case "$1" in
start) start "$2" ;;
stop)
    [[ -d "$2" ]] || exit 0
    stop "$(cd "$2" && pwd)"
    ;;
*) usage ;;
esac

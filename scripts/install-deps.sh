#!/usr/bin/env bash
# Installs with apt-get whichever of the named package groups' Debian packages are missing.
# Usage: scripts/install-deps.sh build|test|run|bench|screenshot|fuzz ...
set -euo pipefail

declare -A groups=(
    [build]="cmake make g++ qt6-base-dev libcurl4-openssl-dev dpkg-dev file"
    [test]="putty-tools vsftpd openssh-server passwd tmux xvfb xdotool desktop-file-utils libglib2.0-bin lintian"
    [run]="putty-tools"
    [bench]="hyperfine curl putty-tools vsftpd openssh-server"
    [screenshot]="xvfb imagemagick x11-utils"
    [fuzz]="clang libclang-rt-14-dev iproute2"
)

wanted=()
for group in "$@"; do
    [[ -n "${groups[$group]:-}" ]] || { echo "install-deps: unknown group '$group'" >&2; exit 2; }
    read -r -a names <<<"${groups[$group]}"
    wanted+=("${names[@]}")
done

missing=()
for name in "${wanted[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$name" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$name")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing missing packages: ${missing[*]}"
if [[ $(id -u) -ne 0 ]]; then
    if command -v sudo >/dev/null; then
        sudo_cmd=(sudo)
    else
        echo "install-deps: run as root to install: ${missing[*]}" >&2
        exit 1
    fi
else
    sudo_cmd=()
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
# Installing a server package must not start it as a system service on ports 21 and 22: the test
# bed starts its own on loopback. policy-rc.d answering 101 tells the package scripts so.
policy=/usr/sbin/policy-rc.d
if [[ ! -e $policy ]]; then
    printf '#!/bin/sh\nexit 101\n' | "${sudo_cmd[@]}" tee "$policy" >/dev/null
    "${sudo_cmd[@]}" chmod 755 "$policy"
    trap '"${sudo_cmd[@]}" rm -f "$policy"' EXIT
fi
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

#!/usr/bin/env bash
# Installs with apt-get whichever of the named package groups' Debian packages are missing, and
# leaves the services of those it installs disabled at boot.
# Usage: scripts/install-deps.sh build|test|run|bench|screenshot|fuzz ...
set -euo pipefail

declare -A groups=(
    [build]="cmake make g++ qt6-base-dev libcurl4-openssl-dev dpkg-dev file"
    [test]="putty-tools vsftpd openssh-server openssl python3 passwd tmux xvfb xdotool desktop-file-utils libglib2.0-bin lintian"
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
exit_status=0
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null ||
    exit_status=$?

# A server package also enables its service at boot, where it would listen on every interface with
# the package's defaults: the tests start their own servers on loopback. So every service of a
# package installed just now is left disabled at boot; one installed before is the owner's choice.
enabled_at_boot() {
    case "$1" in
    /etc/init.d/*) compgen -G "/etc/rc[2-5].d/S[0-9][0-9]${1##*/}" >/dev/null ;;
    *) [[ "$(systemctl --root=/ is-enabled "${1##*/}" 2>/dev/null)" == enabled ]] ;;
    esac
}
disabled=()
for name in "${missing[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$name" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || continue
    while IFS= read -r file; do
        enabled_at_boot "$file" || continue
        if [[ "$file" == /etc/init.d/* ]]; then
            # Also disables the systemd unit of the same name.
            "${sudo_cmd[@]}" update-rc.d "${file##*/}" disable >/dev/null 2>&1 || true
        else
            "${sudo_cmd[@]}" systemctl --root=/ --quiet disable "${file##*/}" 2>/dev/null || true
        fi
        if enabled_at_boot "$file"; then
            echo "install-deps: could not disable ${file##*/}: it starts at boot" >&2
            exit_status=1
        else
            disabled+=("${file##*/}")
        fi
    done < <(dpkg-query -L "$name" | grep -E '^(/etc/init\.d/|(/usr)?/lib/systemd/system/[^/@]+$)')
done
if [[ ${#disabled[@]} -gt 0 ]]; then
    echo "install-deps: left disabled at boot, as installed just now: ${disabled[*]}" \
        "(update-rc.d NAME enable / systemctl enable NAME to have one start with the machine)"
fi
exit $exit_status

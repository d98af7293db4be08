#!/usr/bin/env bash
# Builds the fuzz targets with clang in build-fuzz/ and runs each for a while, two at a time, at
# the lowest priority. Findings land in build-fuzz/findings/, grown corpora in build-fuzz/corpus/.
# Usage: scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET ...]   (default 20 s, every target)
# Exits non-zero when any target found a crash, a hang, a leak or a broken property.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-20}
[[ "$seconds" =~ ^[0-9]+$ ]] || { echo "fuzz: seconds must be a whole number" >&2; exit 2; }
shift || true
all=(profile_reader rtf_reader known_hosts launcher_line ftp_script ftp_replies file_names)
targets=("${@:-${all[@]}}")

scripts/install-deps.sh build fuzz
[[ -f build-fuzz/CMakeCache.txt ]] ||
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DPARCELWRIGHT_FUZZ=ON >/dev/null
cmake --build build-fuzz -j2 --target parcelwright_fuzzers

mkdir -p build-fuzz/findings build-fuzz/logs

# The reply target's server hands out ports the input chooses; in a network namespace of its own
# (possible as root) a stray port reaches nothing else on this machine.
isolated=()
if unshare --net ip link set lo up 2>/dev/null; then
    isolated=(unshare --net sh -c 'ip link set lo up && exec "$@"' sh)
fi

run_target() {
    local name=$1 binary=build-fuzz/fuzz/fuzz_$1 options=()
    mkdir -p "build-fuzz/corpus/$name"
    [[ -f "fuzz/$name.dict" ]] && options+=("-dict=fuzz/$name.dict")
    local wrapper=()
    [[ "$name" == ftp_replies ]] && wrapper=("${isolated[@]}")
    # A run of more than 10 s on one input counts as a hang; the first directory receives what the
    # run learns, the committed seeds are only read.
    nice -n 19 "${wrapper[@]}" "$binary" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="build-fuzz/findings/$name-" \
        "${options[@]}" "build-fuzz/corpus/$name" "fuzz/corpus/$name" \
        >"build-fuzz/logs/$name.log" 2>&1
}

report() {
    local name=$1 status=$2 log=build-fuzz/logs/$1.log runs corpus
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    corpus=$(ls "build-fuzz/corpus/$name" | wc -l)
    if [[ $status -eq 0 ]]; then
        printf '%-16s clean  %10s runs  corpus %s\n' "$name" "${runs:-?}" "$corpus"
    else
        printf '%-16s FOUND  see %s and build-fuzz/findings/%s-*\n' "$name" "$log" "$name"
        grep -E 'ERROR|property broken|SUMMARY|Test unit written' "$log" | head -5 | sed 's/^/    /'
    fi
}

failed=0
for ((i = 0; i < ${#targets[@]}; i += 2)); do
    pair=("${targets[@]:i:2}")
    pids=()
    for name in "${pair[@]}"; do
        [[ -x build-fuzz/fuzz/fuzz_$name ]] || { echo "fuzz: no target $name" >&2; exit 2; }
        run_target "$name" &
        pids+=($!)
    done
    for j in "${!pair[@]}"; do
        status=0
        wait "${pids[j]}" || status=$?
        report "${pair[j]}" "$status"
        [[ $status -eq 0 ]] || failed=1
    done
done
exit $failed

#!/usr/bin/env bash
# Upload speed of parcelwright-ftp against curl, both over one connection to the test bed's vsftpd:
# (a) one large file, (b) many small files. Prints median times, throughput and the ratio.
# Usage: bench/ftp/run.sh [BUILD_DIR]      (default: build; parcelwright-ftp must be built there)
# Environment: TESTBED_DIR  a test bed to use (one is started and stopped if it is not running)
#              RUNS         hyperfine runs per command (default 10)
#              LARGE_MIB    size of the large file (default 200)
#              SMALL_COUNT  number of small files (default 200), SMALL_KIB their size (default 64)
#              TLS=1        both clients against the bed's vsftpd that demands TLS, trusting its
#                           certificate alone
set -euo pipefail

repo=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$repo/build}" && pwd)
runs=${RUNS:-10}
large_mib=${LARGE_MIB:-200}
small_count=${SMALL_COUNT:-200}
small_kib=${SMALL_KIB:-64}
ftp_client=$build/bin/parcelwright-ftp
[[ -x "$ftp_client" ]] || {
    echo "bench: $ftp_client is not built (cmake --build $build --target parcelwright-ftp)" >&2
    exit 1
}

"$repo/scripts/install-deps.sh" bench

testbed=${TESTBED_DIR:-$build/bench-testbed}
started_testbed=0
env_value() {
    local name value
    while IFS='=' read -r name value; do
        [[ "$name" == "$1" ]] && { printf '%s\n' "$value"; return 0; }
    done <"$testbed/testbed.env"
    return 1
}
testbed_running() {
    [[ -f "$testbed/testbed.env" ]] || return 1
    local pid
    pid=$(env_value FTP_PID) && kill -0 "$pid" 2>/dev/null
}
if ! testbed_running; then
    "$repo/scripts/testbed.sh" start "$testbed"
    started_testbed=1
fi

port=$(env_value FTP_PORT)
ours_tls=() curl_tls=()
if [[ "${TLS:-0}" == 1 ]]; then
    tls_host=$(env_value FTP_TLS_HOST) ca=$(env_value FTP_CA_FILE)
    port=${tls_host##*:}
    ours_tls=(-tls:required "-cafile:$ca")
    curl_tls=(--ssl-reqd --cacert "$ca")
fi
user=$(env_value PLAIN_USER)
password=$(env_value PLAIN_PASSWORD)

# Files on both sides live in RAM where possible, so the disk does not set the pace.
base=/dev/shm
[[ -d "$base" && -w "$base" ]] || base=${TMPDIR:-/tmp}
work=$(mktemp -d "$base/pw-ftp-bench.XXXXXX")
cleanup() {
    rm -rf "$work"
    if [[ $started_testbed -eq 1 ]]; then
        "$repo/scripts/testbed.sh" stop "$testbed" >/dev/null || true
    fi
}
trap cleanup EXIT

mkdir -p "$work/local/small" "$work/remote-ours" "$work/remote-curl"
# The server writes as the test account.
chmod 755 "$work" "$work/local"
chmod 777 "$work/remote-ours" "$work/remote-curl"

echo "bench: making ${large_mib} MiB and ${small_count} x ${small_kib} KiB of random data in $work"
head -c "$((large_mib * 1024 * 1024))" /dev/urandom >"$work/local/large.bin"
small_names=()
for i in $(seq -f '%04g' "$small_count"); do
    head -c "$((small_kib * 1024))" /dev/urandom >"$work/local/small/f$i.bin"
    small_names+=("f$i.bin")
done

# parcelwright-ftp scripts in the launcher's form: log-in lines, cd, one put per file, quit.
write_script() {
    local script=$1 remote=$2
    shift 2
    {
        printf '%s\r\n' "$user" "$password" "cd $remote"
        local file
        for file in "$@"; do
            printf 'put %s %s\r\n' "$file" "$(basename "$file")"
        done
        printf 'quit\r\n'
    } >"$script"
}
write_script "$work/large.ftp" "$work/remote-ours" "$work/local/large.bin"
small_paths=()
for name in "${small_names[@]}"; do
    small_paths+=("$work/local/small/$name")
done
write_script "$work/small.ftp" "$work/remote-ours" "${small_paths[@]}"

# curl takes URL paths relative to the log-in directory: %2F makes the directory absolute.
curl_url="ftp://127.0.0.1:$port/%2F${work#/}/remote-curl/"
printf 'user = "%s:%s"\n' "$user" "$password" >"$work/curl.config"
small_glob=$(
    IFS=,
    echo "{${small_names[*]}}"
)

# Prints the median of the numbers given.
median() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

measure() {
    local label=$1 bytes=$2 ours=$3 theirs=$4
    local csv=$work/$label.csv ours_times=() curl_times=() round warmup=1
    echo "bench: $label, $runs rounds"
    # The machine is shared: one run of each per round, back to back, so that a burst of load
    # elsewhere hits both clients alike instead of all runs of one of them.
    for round in $(seq "$runs"); do
        hyperfine --style none --runs 1 --warmup "$warmup" --export-csv "$csv" \
            -n parcelwright-ftp "$ours" -n curl "$theirs" >/dev/null
        warmup=0
        # CSV columns: command,mean,stddev,median,user,system,min,max
        ours_times+=("$(awk -F, 'NR == 2 { print $2 }' "$csv")")
        curl_times+=("$(awk -F, 'NR == 3 { print $2 }' "$csv")")
        printf '  round %2d: parcelwright-ftp %.3f s, curl %.3f s\n' "$round" "${ours_times[-1]}" \
            "${curl_times[-1]}"
    done
    awk -v bytes="$bytes" -v label="$label" -v ours="$(median "${ours_times[@]}")" \
        -v theirs="$(median "${curl_times[@]}")" 'BEGIN {
            printf "%-6s parcelwright-ftp %7.3f s %8.1f MB/s | curl %7.3f s %8.1f MB/s | ratio %.3f\n",
                label, ours, bytes / ours / 1e6, theirs, bytes / theirs / 1e6, theirs / ours
        }' >>"$work/summary.txt"
}

measure large "$((large_mib * 1024 * 1024))" \
    "$ftp_client ${ours_tls[*]} -s:$work/large.ftp 127.0.0.1:$port" \
    "curl -sS ${curl_tls[*]} -K $work/curl.config -T $work/local/large.bin $curl_url"
measure small "$((small_count * small_kib * 1024))" \
    "$ftp_client ${ours_tls[*]} -s:$work/small.ftp 127.0.0.1:$port" \
    "cd $work/local/small && curl -sS ${curl_tls[*]} -K $work/curl.config -T '$small_glob' $curl_url"

# Both clients must really have sent everything, or the figures mean nothing.
for side in ours curl; do
    cmp -s "$work/local/large.bin" "$work/remote-$side/large.bin" ||
        { echo "bench: the large file did not arrive intact ($side)" >&2; exit 1; }
    for name in "${small_names[@]}"; do
        cmp -s "$work/local/small/$name" "$work/remote-$side/$name" ||
            { echo "bench: $name did not arrive intact ($side)" >&2; exit 1; }
    done
done

echo
echo "== FTP upload, medians of $runs rounds, one connection each (ratio = ours/curl throughput; goal >= 0.95) =="
cat "$work/summary.txt"

#!/usr/bin/env bash
# After the last test bed on the machine stops, every test account is locked; a start with no other
# bed running gives each account a new password, which its own log-in checks then prove.
# Usage: testbed_accounts_test.sh TESTBED_SCRIPT DIR
# It judges the shared accounts only while its own bed is the only one: whenever another runs (a
# build's, one started by hand in /tmp), it exits 77 (skipped) before it would look or wait.
set -euo pipefail
testbed=$1
mkdir -p "$2"
dir=$(cd "$2" && pwd -P)
trap '"$testbed" stop "$dir" >/dev/null 2>&1 || true' EXIT

skip() {
    echo "SKIP: $*"
    exit 77
}

# Skips when any bed but this test's own runs.
skip_if_others_run() {
    local others
    others=$("$testbed" status | sed -n 's/^bed //p' | grep -vxF "$dir" || true)
    [[ -z "$others" ]] || skip "other test beds run: ${others//$'\n'/, }"
}

# Starts the bed in DIR and sets passwords to its accounts' passwords, one per line; skips when
# the bed shares them with another.
start_bed() {
    skip_if_others_run
    "$testbed" start "$dir" >/dev/null || {
        skip_if_others_run
        exit 1
    }
    grep -qx 'PASSWORDS_FROM=new' "$dir/testbed.env" ||
        skip "another test bed ran at the start: $(grep '^PASSWORDS_FROM=' "$dir/testbed.env")"
    passwords=$(grep '^[A-Z]*_PASSWORD=' "$dir/testbed.env")
}

stop_and_expect_locked() {
    local status
    "$testbed" stop "$dir" >/dev/null
    status=$("$testbed" status)
    ! grep '^bed ' <<<"$status" || skip "another test bed runs"
    if grep '^account ' <<<"$status" | grep -v ' locked$'; then
        echo "FAIL: the accounts above are not locked after the last test bed stopped" >&2
        exit 1
    fi
}

start_bed
first=$passwords
stop_and_expect_locked
start_bed
second=$passwords
stop_and_expect_locked
# Line by line: every account's password is new, not just one of them.
if paste -d '\n' <(echo "$first") <(echo "$second") | uniq -d | grep -o '^[A-Z]*_PASSWORD'; then
    echo "FAIL: the second start kept the password of the accounts above" >&2
    exit 1
fi
echo "PASS: locked after each stop, new passwords at the second start"

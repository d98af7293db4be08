#!/usr/bin/env bash
# Installs what the tests need, builds, and runs every test (the test bed servers included); then
# the same tests in a build checked by AddressSanitizer and UndefinedBehaviorSanitizer, and a short
# run of each fuzz target (PARCELWRIGHT_FUZZ_SECONDS each, default 20, two at a time).
# Arguments go to both ctest runs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build test fuzz
scripts/build.sh
(cd build && ctest --output-on-failure -j2 "$@")
scripts/test-sanitized.sh "$@"
scripts/fuzz.sh "${PARCELWRIGHT_FUZZ_SECONDS:-20}"

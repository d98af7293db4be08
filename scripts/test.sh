#!/usr/bin/env bash
# Installs what the tests need, builds, and runs every test (the test bed servers included).
# Arguments go to ctest. The sanitizer-checked run and the fuzzers are scripts of their own
# (test-sanitized.sh, fuzz.sh): they take several times as long and CI runs them after this.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build test
scripts/build.sh
cd build
ctest --output-on-failure -j2 "$@"

#!/usr/bin/env bash
# Installs what the tests need, builds, and runs every test (the test bed servers included).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build test
scripts/build.sh
cd build
ctest --output-on-failure -j2 "$@"

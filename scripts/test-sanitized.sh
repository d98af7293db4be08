#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer in build-asan/ and runs
# every test there, the test bed servers included. The helper programs the tests start are checked
# builds too, so a finding in any of them fails its test. The package is built and checked from
# the plain build alone: that is the one that ships, with the hardening flags this build lacks.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build test
[[ -f build-asan/CMakeCache.txt ]] ||
    cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPARCELWRIGHT_SANITIZE=ON >/dev/null
cmake --build build-asan -j2
cd build-asan
ctest --output-on-failure -j2 -E "^packaging$" "$@"

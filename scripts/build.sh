#!/usr/bin/env bash
# Configures (once) and builds the project in build/ with both cores.
set -euo pipefail
cd "$(dirname "$0")/.."
[[ -f build/CMakeCache.txt ]] || cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2

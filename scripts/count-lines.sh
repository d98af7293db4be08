#!/usr/bin/env bash
# Prints the non-blank lines of the product (src/), its tests (tests/), fuzz targets (fuzz/) and
# benchmarks (bench/), and how large the tests are against the product.
# Usage: scripts/count-lines.sh
set -euo pipefail
cd "$(dirname "$0")/.."

count() {
    # Every text file git knows there (sources, headers, CMake, scripts), blank lines not; the
    # fuzzers' seed inputs are data, not code.
    git ls-files -z -- "$1" ':!:fuzz/corpus/*' |
        xargs -0 -r grep -Icv '^[[:space:]]*$' -- 2>/dev/null |
        awk -F: '{ sum += $NF } END { print sum + 0 }'
}

src=$(count src)
tests=$(count tests)
fuzz=$(count fuzz)
bench=$(count bench)
printf '%-8s %7d\n' src "$src" tests "$tests" fuzz "$fuzz" bench "$bench"
awk -v t="$tests" -v s="$src" -v f="$fuzz" -v b="$bench" 'BEGIN {
    printf "tests are %.0f %% of src, %.0f %% of all code\n", 100 * t / s, 100 * t / (s + t + f + b)
}'

#!/usr/bin/env bash
# Builds the native benchmarks and runs each: Google Benchmark's own timing, then an
# instruction count under callgrind (repeatable whatever else the machine does).
#   tools/run-benchmarks.sh [filter-regex]
set -euo pipefail
cd "$(dirname "$0")/.."
filter="${1:-.}"
cmake --preset linux >/dev/null
cmake --build --preset linux -j"$(nproc)"
out=build/linux/benchmarks
mkdir -p "$out"
for bench in build/linux/tests/bench/*_bench; do
    [ -x "$bench" ] || continue
    name=$(basename "$bench")
    printf '\n==== %s\n' "$name"
    "$bench" --benchmark_filter="$filter"
    valgrind --tool=callgrind --callgrind-out-file="$out/$name.callgrind" \
        "$bench" --benchmark_filter="$filter" --benchmark_min_time=0.01 >/dev/null 2>"$out/$name.log"
    grep -E 'Collected' "$out/$name.log" || true
done

#!/usr/bin/env bash
# Builds the fuzz preset (clang, ASan + UBSan) and runs every libFuzzer target in turn.
#   tools/run-fuzzers.sh [seconds-per-target]      (default 30)
# Each target keeps its growing corpus in build/fuzz/corpus/<target>; a crash stops the
# script with the target's exit code and leaves the crashing input in build/fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2
for target in build/fuzz/tests/fuzz/*_fuzz; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    corpus="build/fuzz/corpus/$name"
    mkdir -p "$corpus"
    printf '\n==== %s (%s s)\n' "$name" "$seconds"
    log="build/fuzz/$name.log"
    status=0
    "$target" -max_total_time="$seconds" -artifact_prefix="build/fuzz/$name-" "$corpus" \
        >"$log" 2>&1 || status=$?
    grep -E '^(Done|==[0-9]+==|SUMMARY)' "$log" || true
    if [ "$status" -ne 0 ]; then
        echo "$name failed (exit $status); see $log" >&2
        exit "$status"
    fi
done

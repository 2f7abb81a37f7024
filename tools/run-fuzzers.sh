#!/usr/bin/env bash
# Builds the fuzz preset (clang, ASan + UBSan) and runs every libFuzzer target in turn.
#   tools/run-fuzzers.sh [seconds-per-target]      (default 30)
# Each target starts from its committed seed corpus (tests/fuzz/corpus/<target>, read
# only) and its dictionary (tests/fuzz/dict/<target>.dict) where it has one; the inputs it
# finds go to build/fuzz/corpus/<target>. A crash stops the script with the target's exit
# code and leaves the crashing input in build/fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2
# The committed seeds should be what the code makes today; a change that alters them
# (the drive's replies, the iSCSI answers) is told here, and the old seeds still run.
fresh=$(mktemp -d)
trap 'rm -rf "$fresh"' EXIT
stale=0
build/fuzz/tests/fuzz/fuzz_seed_writer "$fresh" >/dev/null || stale=1
for made in "$fresh"/*/; do
    name=$(basename "$made")
    diff -rq --exclude='regression-*' "$made" "tests/fuzz/corpus/$name" >/dev/null || stale=1
done
if [ "$stale" -ne 0 ]; then
    echo "note: the seed corpus is not what the code makes now; make it again with" \
        "build/fuzz/tests/fuzz/fuzz_seed_writer tests/fuzz/corpus" >&2
fi
for target in build/fuzz/tests/fuzz/*_fuzz; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    corpus="build/fuzz/corpus/$name"
    seeds="tests/fuzz/corpus/$name"
    dict="tests/fuzz/dict/$name.dict"
    mkdir -p "$corpus"
    options=(-max_total_time="$seconds" -artifact_prefix="build/fuzz/$name-")
    [ -f "$dict" ] && options+=(-dict="$dict")
    # The first folder is written to; the committed seeds are only read.
    folders=("$corpus")
    [ -d "$seeds" ] && folders+=("$seeds")
    printf '\n==== %s (%s s, %s seeds)\n' "$name" "$seconds" \
        "$(find "$seeds" -type f 2>/dev/null | wc -l)"
    log="build/fuzz/$name.log"
    status=0
    "$target" "${options[@]}" "${folders[@]}" >"$log" 2>&1 || status=$?
    grep -E '^(Done|==[0-9]+==|SUMMARY)|INITED|DONE' "$log" || true
    if [ "$status" -ne 0 ]; then
        echo "$name failed (exit $status); see $log" >&2
        exit "$status"
    fi
done

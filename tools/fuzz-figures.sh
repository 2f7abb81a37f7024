#!/usr/bin/env bash
# What the seed corpora are worth: runs every fuzz target (build/fuzz, made by
# tools/run-fuzzers.sh) twice for the same number of executions, once from nothing and once
# from its committed seeds and dictionary, and prints the coverage each reached. The runs
# are counted in executions, not seconds, so that a busy machine gives the same figures.
#   tools/fuzz-figures.sh [executions-per-run]      (default 200000)
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-200000}"
work=build/fuzz/figures
rm -rf "$work"
mkdir -p "$work"

# fuzz LOG TARGET OPTIONS...: one run; prints its last coverage ("cov: N ft: N"), and says
# so when the run found a crash (the log and the input stay in $work).
fuzz() {
    local log=$1 status=0
    shift
    "$@" -artifact_prefix="$log-" >"$log" 2>&1 || status=$?
    printf '%s' "$(grep -Eo 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -n 1)"
    [ "$status" -eq 0 ] || printf ' CRASH (exit %s, %s)' "$status" "$log"
}

printf '%-28s %-24s %-24s\n' target "unseeded ($runs runs)" "seeded ($runs runs)"
for target in build/fuzz/tests/fuzz/*_fuzz; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    seeds="tests/fuzz/corpus/$name"
    dict="tests/fuzz/dict/$name.dict"
    mkdir -p "$work/$name-empty" "$work/$name-seeded"
    unseeded=$(fuzz "$work/$name-empty.log" "$target" -runs="$runs" -seed=1 "$work/$name-empty")
    options=(-runs="$runs" -seed=1)
    [ -f "$dict" ] && options+=(-dict="$dict")
    [ -d "$seeds" ] && cp -r "$seeds/." "$work/$name-seeded/"
    seeded=$(fuzz "$work/$name-seeded.log" "$target" "${options[@]}" "$work/$name-seeded")
    printf '%-28s %-24s %-24s\n' "$name" "$unseeded" "$seeded"
done

#!/usr/bin/env bash
# The whole check: installs what is missing, builds and runs every test natively, builds the
# Windows programs (64-bit and 32-bit) and runs their tests under wine, checks the iSCSI
# target with libiscsi, builds, installs and tries the release packages, runs the native and
# both Windows programs on a real Linux kernel in QEMU against the virtual drive
# (tools/run-qemu-stage.sh), checks that a second build of the release gives the same bytes,
# and gives every fuzz target a short run. Run from anywhere, as
# root on a fresh Debian 12:
#   bash tools/ci.sh
# FUZZ_SECONDS (default 20) sets each fuzz target's run.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

section() { printf '\n==== %s\n' "$*"; }

# Runs ctest, keeps its output, and adds its counts to the totals of the closing line.
passed=0
failed=0
run_ctest() {
    local log
    log=$(mktemp)
    local status=0
    ctest "$@" 2>&1 | tee "$log" || status=$?
    local line
    line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
    rm -f "$log"
    if [ -n "$line" ]; then
        local bad total
        bad=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
        total=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$line")
        passed=$((passed + total - bad))
        failed=$((failed + bad))
    fi
    return "$status"
}

# Runs a check script, shows its output and keeps its closing line in $last_line. (Its output
# is not teed to /dev/stderr: reopening that truncates a log file that stderr points to.)
last_line=
run_counted() {
    local log
    log=$(mktemp)
    "$@" | tee "$log"
    last_line=$(tail -n 1 "$log")
    rm -f "$log"
}

section "Installing dependencies"
tools/install-deps.sh

section "Native build and tests"
cmake --preset linux >/dev/null
cmake --build --preset linux -j"$jobs"
run_ctest --preset linux -j"$jobs"

section "iSCSI conformance: libiscsi's tools and iscsi-test-cu against tessalok-vdrive"
run_counted tools/run-iscsi-conformance.sh
passed=$((passed + $(sed -E 's/.*: ([0-9]+) passed.*/\1/' <<<"$last_line")))

# Builds a Windows preset and runs its tests under wine: one test at a time, and a second
# try for a test whose wine start failed (seen rarely: the program exits at once without
# output while another starts).
windows_build_and_tests() {
    local preset=$1
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j"$jobs"
    # shellcheck source=tools/wine-env.sh
    source tools/wine-env.sh
    trap tessalok_wine_stop EXIT
    run_ctest --preset "$preset" --repeat until-pass:2
    tessalok_wine_stop
    trap - EXIT
}

section "Windows x86-64 build and tests under wine"
windows_build_and_tests win64

section "Windows i686 (32-bit) build and tests under wine"
# shellcheck source=tools/wine-loader.sh
source tools/wine-loader.sh
if [ "$TESSALOK_WINE_RUNS_32BIT" = 1 ]; then
    windows_build_and_tests win32
else
    # Built all the same: its unit tests, tessalok.exe and the window's end-to-end tests run
    # in the QEMU guest below, whose kernel does run 32-bit programs, and count there.
    cmake --preset win32 >/dev/null
    cmake --build --preset win32 -j"$jobs"
    echo "ci: this machine's kernel runs no 32-bit programs: the 32-bit unit and window tests run in the QEMU guest below"
fi

section "Release packages: build, install and run them"
tools/run-package-checks.sh

section "Release packages: a second build in another folder gives the same bytes"
tools/check-reproducible.sh

section "A real Linux kernel in QEMU: tessalok and tessalok.exe on the drive, over USB and virtio-scsi"
run_counted tools/run-qemu-stage.sh
passed=$((passed + $(sed -E 's/.*: ([0-9]+) checks passed.*/\1/' <<<"$last_line")))

section "Fuzz targets"
tools/run-fuzzers.sh "${FUZZ_SECONDS:-20}"

section "All checks passed"
echo "ci: $passed passed, $failed failed"

#!/usr/bin/env bash
# The whole check: installs what is missing, builds and runs every test natively, builds the
# Windows programs and runs their tests under wine, compiles the 32-bit build, and gives
# every fuzz target a short run. Run from anywhere, as root on a fresh Debian 12:
#   bash tools/ci.sh
# FUZZ_SECONDS (default 20) sets each fuzz target's run.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

section() { printf '\n==== %s\n' "$*"; }

section "Installing dependencies"
tools/install-deps.sh

section "Native build and tests"
cmake --preset linux >/dev/null
cmake --build --preset linux -j"$jobs"
ctest --preset linux -j"$jobs"

section "Windows x86-64 build and tests under wine"
cmake --preset win64 >/dev/null
cmake --build --preset win64 -j"$jobs"
# shellcheck source=tools/wine-env.sh
source tools/wine-env.sh
trap tessalok_wine_stop EXIT
ctest --preset win64 -j"$jobs"
tessalok_wine_stop
trap - EXIT

section "Windows i686 (32-bit) build"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j"$jobs"

section "Fuzz targets"
FUZZ_SECONDS="${FUZZ_SECONDS:-20}" tools/run-fuzzers.sh

section "All checks passed"

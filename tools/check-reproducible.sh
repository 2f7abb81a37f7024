#!/usr/bin/env bash
# Checks that the release is reproducible: builds it a second time from a copy of the source
# tree in another folder, later, under another umask and time zone, and compares the shipped
# programs and the packages byte for byte with those of the first build (build/linux,
# build/win64 and build/win32, as tools/ci.sh leaves them; what is missing there is built).
# The second build makes only what the packages hold. Prints each file that differs and
# the SHA-256 of each package of both builds.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)
presets=(linux win64 win32)
# The packages take the commit's time (cmake/cpack_source_date.cmake); the copy has no git
# history, so both builds are given it here.
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH
# Both builds run the compiler itself, as CI does: a compiler cache could hand the second
# build objects made in the first build's folder, and so hide a difference.
unset CMAKE_C_COMPILER_LAUNCHER CMAKE_CXX_COMPILER_LAUNCHER
export CCACHE_DISABLE=1
no_launcher=(-DCMAKE_C_COMPILER_LAUNCHER= -DCMAKE_CXX_COMPILER_LAUNCHER=)

section() { printf '\n---- %s\n' "$*"; }
fail() {
    echo "reproducibility check FAILED: $*" >&2
    exit 1
}

# The programs each preset ships, beside its packages.
packaged_targets() {
    case $1 in
    linux) echo tessalok tessalok-vdrive tessalok_packaging_files ;;
    *) echo KV_Tessalok KV_Tessalok_Demo tessalok tessalok-vdrive ;;
    esac
}
# The files to compare in a build folder, relative to it: the programs and the packages.
shipped_files() {
    (cd "$1" && find . \( -name CMakeFiles -o -name _CPack_Packages -o -name tests \) -prune \
        -o -type f \( -name tessalok -o -name tessalok-vdrive -o -name '*.exe' \
        -o -name '*.deb' -o -name '*.zip' \) -printf '%P\n' | sort)
}
build_release() {
    local preset=$1
    shift
    cmake --preset "$preset" "${no_launcher[@]}" "$@" >/dev/null
    # shellcheck disable=SC2046
    cmake --build --preset "$preset" -j"$jobs" --target $(packaged_targets "$preset") >/dev/null
    rm -rf "build/$preset/packages"
    cpack --preset "$preset" >/dev/null
}

started=$(date +%s)
for preset in "${presets[@]}"; do
    section "First build: $preset in $root"
    build_release "$preset"
done

copy=$(mktemp -d "${TMPDIR:-/tmp}/tessalok-second-build.XXXXXX")
# Kept when the builds differ, for a closer look (diffoscope).
keep_copy=0
trap '[ "$keep_copy" = 1 ] || rm -rf "$copy"' EXIT
# The tracked files as they are in the work tree, and new files not yet added.
git ls-files -z --cached --others --exclude-standard | tar --null -T - -cf - | tar -xf - -C "$copy"
second_started=$(date +%s)
(
    cd "$copy"
    umask 0027
    export TZ=Pacific/Kiritimati
    for preset in "${presets[@]}"; do
        section "Second build: $preset in $copy (umask $(umask), TZ=$TZ)"
        build_release "$preset" -DTESSALOK_TESTS=OFF -DTESSALOK_BENCHMARKS=OFF
    done
)
finished=$(date +%s)

section "Comparing the two builds"
compared=0
differing=()
for preset in "${presets[@]}"; do
    files=$(shipped_files "build/$preset")
    [ -n "$files" ] || fail "build/$preset has no programs or packages"
    [ "$files" = "$(shipped_files "$copy/build/$preset")" ] ||
        fail "the two $preset builds made different files"
    while read -r file; do
        compared=$((compared + 1))
        if cmp "build/$preset/$file" "$copy/build/$preset/$file"; then
            echo "alike: build/$preset/$file"
        else
            differing+=("build/$preset/$file")
        fi
    done <<<"$files"
done
package_sums() { (cd "$1" && sha256sum linux/packages/*.deb win64/packages/*.zip win32/packages/*.zip); }
section "Packages of the first build (SHA-256)"
package_sums build
section "Packages of the second build (SHA-256)"
package_sums "$copy/build"
echo "second build: $((finished - second_started)) s; whole check: $((finished - started)) s"
if [ ${#differing[@]} -gt 0 ]; then
    keep_copy=1
    echo "the second build stays in $copy" >&2
    fail "these files differ between the builds: ${differing[*]}"
fi
echo "reproducible: $compared files alike"

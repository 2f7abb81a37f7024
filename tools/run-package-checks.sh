#!/usr/bin/env bash
# Builds the release packages and tries them as a user would, as root on Debian 12:
#   - the .deb: lintian (no errors), hardening-check on its programs, dpkg -i, the installed
#     programs' --version, their manual pages, bash completion and docs, and the README's
#     demo with the installed programs (status, install, erase);
#   - each Windows zip: its contents, stripped programs that need only the system's DLLs
#     and keep DEP and ASLR, the size of KV_Tessalok.exe's code and data beside its
#     resources, the unpacked tessalok.exe --help and the demo window's
#     start under wine (driven by the window's end-to-end test program).
# Run after the linux, win64 and win32 builds (tools/ci.sh); builds what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)
# Code and data that KV_Tessalok.exe may carry beside its resources.
size_budget=$((300 * 1024))

section() { printf '\n---- %s\n' "$*"; }
fail() {
    echo "package check FAILED: $*" >&2
    exit 1
}

work=$(mktemp -d /tmp/tessalok-packages.XXXXXX)
demo_port=""
installed_here=0
cleanup() {
    # The machine keeps no package that the check installed.
    if [ "$installed_here" = 1 ]; then
        dpkg -r tessalok >/dev/null || true
    fi
    if [ -n "$demo_port" ]; then
        tessalok-vdrive ctl --port "$demo_port" shutdown >/dev/null 2>&1 || true
        rm -rf "${TMPDIR:-/tmp}/tessalok-demo-$demo_port"
    fi
    if [ -n "${TESSALOK_WINE_READY:-}" ]; then
        tessalok_wine_stop
    fi
    rm -rf "$work"
}
trap cleanup EXIT

for preset in linux win64 win32; do
    section "Building the $preset package"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j"$jobs" >/dev/null
    rm -rf "build/$preset/packages"
    cpack --preset "$preset" >/dev/null
    ls -l "build/$preset/packages/"*.{deb,zip} 2>/dev/null || true
done

# ---------------------------------------------------------------------------------------
version=$(sed -n 's/^#define TESSALOK_VERSION "\(.*\)"$/\1/p' \
    build/linux/generated/version/tessalok_version.h)
[ -n "$version" ] || fail "no version in the generated header"
deb=build/linux/packages/tessalok_${version}_amd64.deb
[ -f "$deb" ] || fail "missing $deb"

section "lintian $deb"
lintian --fail-on error --info "$deb" || fail "lintian reports errors"
echo "lintian: no errors"

section "hardening-check on the packaged programs"
unpacked_deb=$work/deb
dpkg-deb -x "$deb" "$unpacked_deb"
# The control-flow protection mark is required where the C library's start files carry it:
# the linker marks a program only when every object does, and Debian 12's do not (its own
# /usr/bin/ls has no mark either). Our objects are built with -fcf-protection all the same.
cf_option=--nocfprotection
if readelf -n "$(gcc -print-file-name=Scrt1.o)" | grep -q 'x86 feature: IBT, SHSTK'; then
    cf_option=
fi
# shellcheck disable=SC2086
hardening-check $cf_option "$unpacked_deb/usr/bin/tessalok" "$unpacked_deb/usr/bin/tessalok-vdrive" ||
    fail "hardening-check finds a protection missing"

section "Installing $deb"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the package's version is not $version"
dpkg-deb -f "$deb" Depends
dpkg -s tessalok >/dev/null 2>&1 || installed_here=1
dpkg -i "$deb"
for program in tessalok tessalok-vdrive; do
    [ "$(command -v "$program")" = "/usr/bin/$program" ] || fail "$program is not in /usr/bin"
    got=$("$program" --version)
    [ "$got" = "$program $version" ] || fail "$program --version says '$got'"
    echo "$got"
    man -w "$program" || fail "no manual page for $program"
    LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings "$program" 2>&1 >/dev/null | grep . &&
        fail "the manual page of $program has warnings"
done
for doc in README.md command-line.md virtual-drive.md copyright changelog.gz; do
    [ -f "/usr/share/doc/tessalok/$doc" ] || fail "/usr/share/doc/tessalok/$doc is missing"
done

# What bash offers after "WORDS<TAB>", through bash-completion's own loader.
complete_words() {
    bash -c 'source /usr/share/bash-completion/bash_completion
        COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
        COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
        __load_completion "$1" || exit 1
        "$(complete -p "$1" | sed "s/.*-F \([^ ]*\) .*/\1/")" "$1" "${@: -1}" "${@: -2:1}"
        echo "${COMPREPLY[*]}"' completion "$@"
}
section "bash completion"
while IFS='|' read -r line expected; do
    # shellcheck disable=SC2086
    got=$(complete_words $line)
    [ "$got" = "$expected" ] || fail "completing '$line' offers '$got', not '$expected'"
    echo "$line<TAB> -> $got"
done <<'CASES'
tessalok st|status
tessalok status --j|--json
tessalok --all|--all-disks
tessalok erase --y|--yes
tessalok --lang zh-|zh-CN zh-TW
tessalok-vdrive --refusing|--refusing-stick
tessalok-vdrive ctl --port 48150 fin|finger
CASES

section "The README's demo with the installed programs"
demo_port=$((49152 + RANDOM % 10000))
status=$(tools/demo.sh --installed --port "$demo_port")
echo "$status"
grep -q "Currently installed:1, Could install more:9" <<<"$status" || fail "demo status"
tessalok-vdrive ctl --port "$demo_port" "finger alice" >/dev/null
tessalok-vdrive ctl --port "$demo_port" "finger bob 3" >/dev/null
tessalok --vdrive "127.0.0.1:$demo_port" install >"$work/install.txt" ||
    fail "install ended with $?: $(cat "$work/install.txt")"
tail -n 2 "$work/install.txt"
grep -q "Currently installed:2, Could install more:8" "$work/install.txt" || fail "install"
tessalok-vdrive ctl --port "$demo_port" "finger alice" >/dev/null
tessalok --vdrive "127.0.0.1:$demo_port" erase --yes >"$work/erase.txt" ||
    fail "erase ended with $?: $(cat "$work/erase.txt")"
tail -n 2 "$work/erase.txt"
grep -q "Erase all successfully" "$work/erase.txt" || fail "erase"
tessalok-vdrive ctl --port "$demo_port" slots | grep -q "S[0-9]" && fail "the slots were not erased"
tessalok-vdrive ctl --port "$demo_port" shutdown >/dev/null
demo_port=""

# ---------------------------------------------------------------------------------------
# shellcheck source=tools/wine-env.sh
source tools/wine-env.sh
for arch in win64 win32; do
    zip=build/$arch/packages/tessalok-$version-$arch.zip
    [ -f "$zip" ] || fail "missing $zip"
    section "$zip"
    unpacked=$work/$arch
    mkdir -p "$unpacked"
    (cd "$unpacked" && cmake -E tar xf "$root/$zip")
    folder=$unpacked/tessalok-$version-$arch
    listing=$(cd "$folder" && ls | sort | tr '\n' ' ')
    [ "$listing" = "KV_Tessalok.exe KV_Tessalok_Demo.exe LICENSE.txt QUICKSTART.txt tessalok-vdrive.exe tessalok.exe " ] ||
        fail "the zip holds: $listing"
    if [ "$arch" = win64 ]; then objdump=x86_64-w64-mingw32-objdump; else objdump=i686-w64-mingw32-objdump; fi
    for exe in "$folder"/*.exe; do
        "$objdump" -h "$exe" | grep -q '\.debug' && fail "$(basename "$exe") is not stripped"
    done
    # Self-contained (only the system's DLLs, no runtime library's), and still with DEP and
    # ASLR, with high entropy on 64-bit.
    required_flags="NX_COMPAT DYNAMIC_BASE"
    [ "$arch" = win64 ] && required_flags+=" HIGH_ENTROPY_VA"
    for exe in "$folder"/*.exe; do
        headers=$("$objdump" -p "$exe")
        dlls=$(sed -n 's/^\tDLL Name: //p' <<<"$headers" | tr '\n' ' ')
        grep -qiE '(^| )lib' <<<"$dlls" && fail "$(basename "$exe") needs a runtime DLL: $dlls"
        for flag in $required_flags; do
            grep -qx "[[:space:]]*$flag" <<<"$headers" || fail "$(basename "$exe") lacks $flag"
        done
        echo "$(basename "$exe") ($arch): $required_flags; DLLs: $dlls"
    done
    for exe in KV_Tessalok KV_Tessalok_Demo; do
        file_version=$(strings -el "$folder/$exe.exe" | grep -A1 -x FileVersion | tail -n 1)
        [ "$file_version" = "$version" ] || fail "$exe.exe has the file version '$file_version'"
    done
    # Sizes of the sections (objdump -h): the resources, and everything else.
    code=0
    resources=0
    while read -r index name size _; do
        [[ $index =~ ^[0-9]+$ ]] || continue
        if [ "$name" = .rsrc ]; then
            resources=$((resources + 16#$size))
        else
            code=$((code + 16#$size))
        fi
    done < <("$objdump" -h "$folder/KV_Tessalok.exe")
    echo "KV_Tessalok.exe ($arch): $code bytes of code and data beside $resources bytes of resources"
    [ "$code" -le "$size_budget" ] || fail "KV_Tessalok.exe carries more than $size_budget bytes"

    if [ "$arch" = win32 ] && [ "$TESSALOK_WINE_RUNS_32BIT" != 1 ]; then
        # The QEMU stage's guest runs these same bytes (installed by the same rules).
        echo "tessalok.exe and the demo window ($arch): run in the QEMU guest, whose kernel runs 32-bit programs"
        continue
    fi
    help=$($TESSALOK_WINE "$folder/tessalok.exe" --help </dev/null 2>&1) || fail "tessalok.exe --help failed"
    grep -q "Exit codes" <<<"$help" || fail "tessalok.exe --help: $help"
    echo "tessalok.exe --help: ok"

    # The window of the unpacked demo starts, finds the unpacked virtual drive and shows
    # its counts.
    TESSALOK_E2E_DEMO_EXE=$folder/KV_Tessalok_Demo.exe \
        TESSALOK_E2E_VDRIVE_EXE=$folder/tessalok-vdrive.exe \
        $TESSALOK_WINE "build/$arch/tests/e2e/window_e2e_test.exe" --gtest_brief=1 \
        --gtest_filter='WindowEndToEnd.StartsWithoutADriveInTheNoDriveState:CountCases/*' \
        </dev/null || fail "the unpacked demo window did not start as it should ($arch)"
    echo "KV_Tessalok_Demo.exe ($arch): the window starts"
done

section "Package sizes"
ls -l "$deb" build/win64/packages/*.zip build/win32/packages/*.zip | awk '{print $5, $9}'
echo "package checks passed"

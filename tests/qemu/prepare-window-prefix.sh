#!/usr/bin/env bash
# Readies the guest's wine prefix (tests/qemu/make-wine-prefix.sh) for the 32-bit window
# tests, on the host beforehand: the fonts and font links of every language
# (tools/wine-window-fonts.sh), and the prefix's 32-bit side-by-side assemblies, which
# wineboot could not lay out where the host's kernel runs no 32-bit programs (without the
# x86 Common Controls 6.0 the 32-bit window gets old-style controls). A second run reuses it.
#   tests/qemu/prepare-window-prefix.sh PREFIX
set -euo pipefail
prefix=${1:?usage: prepare-window-prefix.sh PREFIX}
[ -f "$prefix/.tessalok-window-ready" ] && exit 0
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
# shellcheck source=tools/wine-loader.sh
source "$(dirname "$0")/../../tools/wine-loader.sh"

"$(dirname "$0")/../../tools/wine-window-fonts.sh"

windows=$prefix/drive_c/windows
if [ "$TESSALOK_WINE_RUNS_32BIT" != 1 ]; then
    # An x86 twin of every amd64 assembly: the 32-bit builds of its modules, and its
    # manifest for the x86 processor.
    i386=/usr/lib/i386-linux-gnu/wine/i386-windows
    for assembly in "$windows"/winsxs/amd64_*; do
        [ -d "$assembly" ] || continue
        name=$(basename "$assembly")
        twin=$windows/winsxs/x86_${name#amd64_}
        mkdir -p "$twin"
        for module in "$assembly"/*; do
            file=$(basename "$module")
            if [ -f "$i386/$file" ]; then
                cp "$i386/$file" "$twin/"
            fi
        done
        sed 's/processorArchitecture="amd64"/processorArchitecture="x86"/' \
            "$windows/winsxs/manifests/$name.manifest" \
            >"$windows/winsxs/manifests/x86_${name#amd64_}.manifest"
    done
fi
touch "$prefix/.tessalok-window-ready"

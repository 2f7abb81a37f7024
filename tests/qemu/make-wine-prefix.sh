#!/usr/bin/env bash
# Makes the wine prefix the guest runs tessalok.exe in, on the host beforehand (making it
# inside the emulated guest takes minutes). In it E: is a present drive whose device is the
# guest's /dev/sda, the drive on USB: wine turns pass-through on \\.\E: into SG_IO there
# (the guest points it at the drive's disk again if that moved).
# A second run reuses the prefix.
#   tests/qemu/make-wine-prefix.sh PREFIX
set -euo pipefail
prefix=${1:?usage: make-wine-prefix.sh PREFIX}
if [ ! -f "$prefix/.tessalok-ready" ]; then
    rm -rf "$prefix"
    mkdir -p "$prefix"
    export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    unset DISPLAY
    # shellcheck source=tools/wine-loader.sh
    source "$(dirname "$0")/../../tools/wine-loader.sh"
    $TESSALOK_WINE wineboot -i >/dev/null 2>&1
    wineserver -w
    if [ "$TESSALOK_WINE_RUNS_32BIT" != 1 ]; then
        # This kernel runs no 32-bit programs, so wineboot could not lay out the prefix's
        # 32-bit half, which the guest's kernel does run: put wine's 32-bit builtin modules
        # where that half would have them.
        cp /usr/lib/i386-linux-gnu/wine/i386-windows/* "$prefix/drive_c/windows/syswow64/"
    fi
    touch "$prefix/.tessalok-ready"
fi
mkdir -p "$prefix/drive-e"
ln -sfn ../drive-e "$prefix/dosdevices/e:"
ln -sfn /dev/sda "$prefix/dosdevices/e::"

# shellcheck shell=bash
# Source this file: picks the wine loader that this machine can run, for every script that
# starts a Windows program. Debian's `wine` starts the 32-bit loader whenever wine32 is
# installed, and a kernel built without 32-bit support refuses it ("Exec format error");
# there the 64-bit loader runs the 64-bit programs, and no 32-bit program can run.
#   TESSALOK_WINE             the command that runs a Windows program
#   TESSALOK_WINE_RUNS_32BIT  1 where 32-bit Windows programs run, else 0
if [ -z "${TESSALOK_WINE:-}" ]; then
    if /usr/lib/wine/wine --version >/dev/null 2>&1; then
        export TESSALOK_WINE=wine TESSALOK_WINE_RUNS_32BIT=1
    else
        export TESSALOK_WINE=/usr/lib/wine/wine64 TESSALOK_WINE_RUNS_32BIT=0
        export WINELOADER=/usr/lib/wine/wine64
    fi
fi

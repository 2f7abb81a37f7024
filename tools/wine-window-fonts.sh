#!/usr/bin/env bash
# Gives the wine prefix $WINEPREFIX the fonts the window needs: Debian's wine does not find
# its own, and Chinese, Japanese and Korean come from WenQuanYi Micro Hei, linked from the
# window's faces in both registry views (a 32-bit program reads the Wow6432Node one); and
# windows that no window manager handles. Wine takes only the first font of a link list,
# so no font for Arabic or Thai can follow (docs/translations.md). Waits for the prefix's
# wine server to end, so no persistent server may run yet.
#   WINEPREFIX=... tools/wine-window-fonts.sh
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX names the prefix}"
# shellcheck source=tools/wine-loader.sh
source "$(dirname "${BASH_SOURCE[0]}")/wine-loader.sh"

fonts=$WINEPREFIX/drive_c/windows/Fonts
mkdir -p "$fonts"
cp /usr/share/wine/fonts/*.ttf "$fonts/" 2>/dev/null || true
cp /usr/share/fonts/truetype/wqy/wqy-microhei.ttc "$fonts/"

reg=$(mktemp /tmp/tessalok-wine-fonts.XXXXXX.reg)
trap 'rm -f "$reg"' EXIT
{
    printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Managed"="N"\n'
    for view in 'Software' 'Software\Wow6432Node'; do
        printf '\n[HKEY_LOCAL_MACHINE\\%s\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink]\n' "$view"
        for face in "Tahoma" "Microsoft Sans Serif" "MS Shell Dlg" "MS Shell Dlg 2"; do
            printf '"%s"="wqy-microhei.ttc,WenQuanYi Micro Hei"\n' "$face"
        done
    done
} >"$reg"
$TESSALOK_WINE regedit "$reg" >/dev/null 2>&1
wineserver -w

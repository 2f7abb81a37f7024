#!/usr/bin/env bash
# CTest's emulator for the Windows builds: runs one Windows program under wine.
# The prefix and server come from tools/wine-env.sh; without them wine uses its defaults.
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# shellcheck source=tools/wine-loader.sh
source "$(dirname "$0")/wine-loader.sh"
exec $TESSALOK_WINE "$@"

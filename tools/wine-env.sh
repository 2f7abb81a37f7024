# Source this file: prepares a throw-away wine prefix and a persistent wine server for the
# Windows tests, and a virtual X display for the window's tests. Idempotent within a shell.
#   source tools/wine-env.sh      (then ctest in a Windows build directory)
#   tessalok_wine_stop            (ends the wine server and the X display)

# shellcheck source=tools/wine-loader.sh
source "$(dirname "${BASH_SOURCE[0]}")/wine-loader.sh"

if [ -z "${TESSALOK_WINE_READY:-}" ]; then
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    export WINEPREFIX="${WINEPREFIX:-$(mktemp -d /tmp/tessalok-wine.XXXXXX)}"
    export WINEARCH=win64

    if [ -z "${DISPLAY:-}" ]; then
        # The first free display number from 90 up.
        display=90
        while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
            display=$((display + 1))
        done
        Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        export TESSALOK_XVFB_PID=$!
        export DISPLAY=":$display"
        for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
    fi

    $TESSALOK_WINE wineboot -i >/dev/null 2>&1
    wineserver -w
    # The fonts and font links of every language the window shows.
    "$(dirname "${BASH_SOURCE[0]}")/wine-window-fonts.sh"
    # Keep one server alive: without it every wine start costs seconds.
    wineserver -p
    # Start wine's background services now, detached from any caller's output: started
    # by the first test they would inherit CTest's pipe and hold it open.
    $TESSALOK_WINE cmd.exe /c exit </dev/null >/dev/null 2>&1
    export TESSALOK_WINE_READY=1
fi

tessalok_wine_stop() {
    wineserver -k 2>/dev/null || true
    if [ -n "${TESSALOK_XVFB_PID:-}" ]; then
        kill "$TESSALOK_XVFB_PID" 2>/dev/null || true
        # The display is gone with it: a later `source` starts a new one.
        unset TESSALOK_XVFB_PID DISPLAY
    fi
    unset TESSALOK_WINE_READY
}

#!/bin/sh
# shellcheck disable=SC2154 # TESSALOK_* (guest-init), out, err, usb and limit (guest-checks)
# Sourced by guest-wine-checks: a whole session of the shipped KV_Tessalok.exe, 64-bit and
# 32-bit, on the drive attached over USB at E:, driven by the 64-bit window_session_test.exe
# on the virtual display of guest-window-checks. Each step is a check of its own; the
# commands the drive counted for each step come out as "guest: on the wire for windowBITS
# STEP: ..." lines, the screenshots go to the artifacts share. The session's last step
# pulls the plug: the drive is plugged in and attached again afterwards, at E: again.
# Uses run, ctl, attach, fail (guest-checks), in_wine (guest-wine-checks) and
# ready_window_root, report_window_tests (guest-window-checks).

# window_session BITS SECONDS: the BITS-bit program's session, within SECONDS.
window_session() {
    bits=$1
    # Under its own name: the program's boxes carry it.
    program=/tessalok-guest/win$bits/KV_Tessalok.exe
    mkdir -p "/winroot${program%/*}"
    if ! cp "/host$TESSALOK_shipped/win$bits/KV_Tessalok.exe" "/winroot$program"; then
        fail "window$bits-session" "cannot copy the $bits-bit KV_Tessalok.exe into the guest"
        return 0
    fi
    started=$(date +%s)
    saved_limit=$limit limit=$(($2 + 20)) # in_wine's own bound
    in_wine DISPLAY="$window_display" TESSALOK_E2E_SLOWDOWN=4 \
        TESSALOK_SESSION_PROGRAM="$program" \
        TESSALOK_SESSION_CONTROL="$TESSALOK_host:$TESSALOK_ctlport" \
        TESSALOK_SESSION_LABEL="session$bits" TESSALOK_E2E_ARTIFACT_DIR=/tessalok-artifacts \
        timeout -k 10 "$2" wine /tessalok-guest/window_session_test.exe >"$out" 2>"$err" </dev/null
    status=$?
    limit=$saved_limit
    echo "guest: the $bits-bit window session took $(($(date +%s) - started)) s"
    tr -d '\r' <"$out" >"$out.lines" && mv "$out.lines" "$out"
    sed -n "s/^session-counts \([^:]*\): /guest: on the wire for window$bits \1: /p" "$out"
    sed -nE "s/^session-(found|model|removal): /guest: window$bits \1: /p" "$out"
    report_window_tests "window$bits"
    if ! grep -q '^\[  PASSED  \]' "$out"; then
        running=$(sed -n 's/^\[ RUN      \] //p' "$out" | tail -n 1)
        fail "window$bits-session" "exit $status within $2 s; the last step started: ${running:-none}"
    fi
    # Plugged in and attached again, and E: names its disk.
    ctl reset >/dev/null
    ctl plug >/dev/null
    run "window$bits-reattach" 0 attach
    usb=${usb:-sda}
    ln -sfn "/dev/$usb" "/winroot$TESSALOK_wineprefix/dosdevices/e::"
}

# window_sessions: both programs' sessions, when the stage gave them.
window_sessions() {
    [ -n "${TESSALOK_session:-}" ] || return 0
    ready_window_root || return 0
    if ! cp "/host$TESSALOK_session/win64/tests/e2e/window_session_test.exe" /winroot/tessalok-guest/; then
        fail window-session "cannot copy window_session_test.exe into the guest"
        return 0
    fi
    for bits in 64 32; do
        window_session "$bits" 420
    done
}

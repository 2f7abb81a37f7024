#!/bin/sh
# shellcheck disable=SC2154 # TESSALOK_* (guest-init), out and err (guest-checks)
# Sourced by guest-wine-checks: the wine server's first start, and the 32-bit window's
# end-to-end tests, which the host's kernel cannot run. window_e2e_test.exe (the 32-bit
# build) runs under the host's wine in /winroot on a virtual X display there, and starts
# the demo program and the virtual drive (32-bit builds too) itself, on the guest's
# loopback. Each test is a check of its own. The screenshots go back to the host through
# the writable 9p share "artifacts". Every wait is bounded and says which step ran out.
# Uses in_wine (guest-wine-checks) and pass and fail (guest-checks).

window_display=:7
# Left out here: under emulation the pulled drive's failed polls use up the erase's idle
# budget before the removal broadcast is handled, and the erase ends in its time-out box
# (a broadcast that comes late; the test sends it right after pulling the drive).
window_left_out='WindowEndToEnd.PullingTheDriveDuringAnEraseStopsItInTheNoDriveState'

# start_wine_server: one wine server for every start, and wine's services started once,
# bounded: a first start that hangs (seen: "Failed to start RpcSs service") gets one more
# try with a fresh server.
start_wine_server() {
    for try in 1 2; do
        in_wine wineserver -p
        program_limit=$limit
        limit=160
        in_wine timeout -k 5 150 wine cmd.exe /c exit >"$out" 2>"$err" </dev/null
        started_wine=$?
        limit=$program_limit
        if [ "$started_wine" = 0 ]; then
            pass wine-start
            return 0
        fi
        echo "guest: wine's first start did not end within 150 s (try $try)"
        in_wine wineserver -k
    done
    fail wine-start "wine's first start hung twice (150 s each)"
    in_wine wineserver -p
}

# wait_for_path PATH SECONDS: true once PATH exists.
wait_for_path() {
    tries=0
    while [ ! -e "$1" ] && [ $tries -lt $(($2 * 10)) ]; do
        sleep 0.1
        tries=$((tries + 1))
    done
    [ -e "$1" ]
}

# The X display, shared memory and the artifacts share in /winroot, and the 32-bit window
# tests' programs when they run here.
prepare_window_root() {
    mkdir -p /winroot/dev/shm /winroot/tmp/.X11-unix /winroot/tessalok-artifacts
    mount -t tmpfs -o mode=1777 tmpfs /winroot/dev/shm || return 1
    mount -t tmpfs -o mode=1777 tmpfs /winroot/tmp/.X11-unix || return 1
    mount -t 9p -o trans=virtio,version=9p2000.L artifacts /winroot/tessalok-artifacts || return 1
    # The test program from the build, the programs under test as the zip ships them.
    if [ -n "${TESSALOK_window32:-}" ]; then
        cp "/host$TESSALOK_window32/tests/e2e/window_e2e_test.exe" /winroot/tessalok-guest/ &&
            cp "/host$TESSALOK_shipped/win32/KV_Tessalok_Demo.exe" /winroot/tessalok-guest/ &&
            cp "/host$TESSALOK_shipped/win32/tessalok-vdrive.exe" /winroot/tessalok-guest/ || return 1
    fi
    rm -f "/winroot/tmp/.X${window_display#:}-lock"
    chroot /winroot /usr/bin/env -i PATH=/usr/bin:/bin \
        Xvfb "$window_display" -screen 0 1280x1024x24 -nolisten tcp >/tmp/xvfb.log 2>&1 &
    if ! wait_for_path "/winroot/tmp/.X11-unix/X${window_display#:}" 60; then
        echo "Xvfb gave no display within 60 s:" >&2
        cat /tmp/xvfb.log >&2
        return 1
    fi
}

# report_window_tests PREFIX: each test's result in $out as a check named PREFIX-TEST; a
# failed test shows its own lines of the output.
report_window_tests() {
    # shellcheck disable=SC2013 # one test name a line, without spaces
    for test in $(sed -n 's/^\[       OK \] \([^ ]*\) ([0-9]* ms)$/\1/p' "$out"); do
        pass "$1-$test"
    done
    # A failed test's own line ends in its time; the summary's lines do not.
    # shellcheck disable=SC2013
    for test in $(sed -n 's/^\[  FAILED  \] \([^ ,]*\).* ([0-9]* ms)$/\1/p' "$out"); do
        echo "CHECK FAIL $1-$test: the test failed"
        awk -v t="$test" 'index($0, "[ RUN      ] " t) == 1 { on = 1 } on { print "  | " $0 }
            on && index($0, "[  FAILED  ] " t) == 1 { exit }' "$out"
        failed=$((failed + 1))
    done
}

# ready_window_root: prepare_window_root once, as a check; false when it failed.
ready_window_root() {
    if [ -z "${window_root:-}" ]; then
        if prepare_window_root >"$out" 2>"$err"; then
            window_root=ready
            pass window-root
        else
            window_root=failed
            fail window-root "no display, shared memory or artifacts share in /winroot"
        fi
    fi
    [ "$window_root" = ready ]
}

# window_checks32 SECONDS: the 32-bit window tests, all of them within SECONDS.
window_checks32() {
    ready_window_root || return 0
    started=$(date +%s)
    # in_wine's own bound is the one-program $limit: widened here to the tests' whole time.
    program_limit=$limit
    limit=$(($1 + 20))
    in_wine DISPLAY="$window_display" TESSALOK_E2E_SLOWDOWN=4 \
        TESSALOK_E2E_DEMO_EXE=/tessalok-guest/KV_Tessalok_Demo.exe \
        TESSALOK_E2E_VDRIVE_EXE=/tessalok-guest/tessalok-vdrive.exe \
        TESSALOK_E2E_ARTIFACT_DIR=/tessalok-artifacts \
        timeout -k 10 "$1" wine /tessalok-guest/window_e2e_test.exe --gtest_filter="-$window_left_out" \
        >"$out" 2>"$err" </dev/null
    status=$?
    limit=$program_limit
    echo "guest: the 32-bit window tests took $(($(date +%s) - started)) s"
    tr -d '\r' <"$out" >"$out.lines" && mv "$out.lines" "$out"
    report_window_tests window32
    if ! grep -q '^\[  PASSED  \]' "$out"; then
        running=$(sed -n 's/^\[ RUN      \] //p' "$out" | tail -n 1)
        fail window32-run "exit $status within $1 s; the last test started: ${running:-none}"
    fi
}

#!/bin/sh
# shellcheck disable=SC2154 # TESSALOK_* (guest-init), out and err (guest-checks)
# Sourced by guest-checks: both Windows builds of tessalok.exe under the host's wine, whose
# pass-through on \\.\E: becomes SG_IO on the drive's USB disk. Uses run, has, ctl, $limit
# and $usb from there.

# /winroot: the host's root (shared read-only over 9p) under a writable tmpfs overlay, with
# the guest's /dev, /proc and /sys, so the host's wine runs against the guest's kernel. The
# programs are copied into the overlay first (into its tmpfs): run from 9p, a PE image reads
# back as zeros. No tmpfs goes over /tmp: a checkout or prefix there would disappear.
make_wine_root() {
    mkdir -p /host /overlay /winroot
    mount -t 9p -o trans=virtio,version=9p2000.L,cache=loose,ro hostroot /host || return 1
    mount -t tmpfs tmpfs /overlay || return 1
    mkdir -p /overlay/upper /overlay/work
    mount -t overlay overlay \
        -o lowerdir=/host,upperdir=/overlay/upper,workdir=/overlay/work /winroot || return 1
    mount --bind /dev /winroot/dev &&
        mount -t proc proc /winroot/proc &&
        mount -t sysfs sysfs /winroot/sys || return 1
    mkdir -p /winroot/tessalok-guest &&
        cp "/host$TESSALOK_exe64" /winroot/tessalok-guest/tessalok64.exe &&
        cp "/host$TESSALOK_exe32" /winroot/tessalok-guest/tessalok32.exe &&
        ln -sfn "/dev/$usb" "/winroot$TESSALOK_wineprefix/dosdevices/e::"
}

# in_wine PROGRAM ARGUMENTS...: PROGRAM in /winroot, with the prefix made on the host;
# ended after $limit seconds.
in_wine() {
    timeout -s KILL "$limit" chroot /winroot /usr/bin/env -i PATH=/usr/bin:/bin HOME=/root \
        WINEPREFIX="$TESSALOK_wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" "$@"
}

run wine-root 0 make_wine_root
# shellcheck source=tests/qemu/guest-window-checks.sh
. /bin/guest-window-checks
# shellcheck source=tests/qemu/guest-window-session.sh
. /bin/guest-window-session
# One wine server for every start: without it each start costs about 20 s here.
start_wine_server
for bits in 64 32; do
    exe=/tessalok-guest/tessalok$bits.exe
    ctl counts reset >/dev/null
    run "wine$bits-status" 0 in_wine wine $exe --trace --drive E status
    echo "guest: on the wire for wine$bits status: $(ctl counts) ($(grep -c '^trace ' "$err") vendor commands traced)"
    has "wine$bits-status-drive" "Drive:    E:" "$out"
    has "wine$bits-status-trace" "trace E: SECU" "$err"
    run "wine$bits-status-json" 0 in_wine wine $exe --drive E status --json
    has "wine$bits-json-drive" '"drive":"E:"' "$out"
    ctl set-slot 0 alice # the finger that authorizes
    ctl counts reset >/dev/null
    run "wine$bits-install" 0 in_wine wine $exe --drive E install
    echo "guest: on the wire for wine$bits install: $(ctl counts)"
    has "wine$bits-install-says" "installation successfully" "$out"
    run "wine$bits-erase" 0 in_wine wine $exe --drive E erase --yes
done
# The shipped window program, a whole session each, on the same drive.
window_sessions
# The host's kernel could not run these 32-bit tests: they run here.
if [ -n "${TESSALOK_tests32:-}" ]; then
    [ -s /bin/guest-tests32.txt ] || fail wine32-tests "the guest has no list of 32-bit tests"
    while read -r test; do
        name=${test##*/}
        if cp "/host$TESSALOK_tests32/${test}_test.exe" /winroot/tessalok-guest/; then
            run "wine32-$name" 0 in_wine wine "/tessalok-guest/${name}_test.exe" --gtest_brief=1
        else
            fail "wine32-$name" "cannot copy ${test}_test.exe into the guest"
        fi
    done </bin/guest-tests32.txt
fi
# The host's kernel could not run the 32-bit window's tests either.
if [ -n "${TESSALOK_window32:-}" ]; then
    window_checks32 600
fi
in_wine wineserver -k

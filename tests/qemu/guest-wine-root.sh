#!/bin/sh
# Sourced by the guest's checks: makes /winroot, the host's root (shared read-only over 9p)
# under a writable tmpfs overlay, with the guest's /dev, /proc and /sys, so that the host's
# wine runs in the guest against the guest's kernel. The programs are copied into the
# overlay first: run from 9p, a PE image reads back as zeros.
make_wine_root() {
    mkdir -p /host /overlay /winroot
    mount -t 9p -o trans=virtio,version=9p2000.L,cache=loose,ro hostroot /host || return 1
    mount -t tmpfs tmpfs /overlay || return 1
    mkdir -p /overlay/upper /overlay/work
    mount -t overlay overlay \
        -o lowerdir=/host,upperdir=/overlay/upper,workdir=/overlay/work /winroot || return 1
    mount --bind /dev /winroot/dev &&
        mount -t proc proc /winroot/proc &&
        mount -t sysfs sysfs /winroot/sys &&
        mount -t tmpfs tmpfs /winroot/tmp || return 1
    cp "/host$TESSALOK_exe64" /winroot/tmp/tessalok64.exe &&
        cp "/host$TESSALOK_exe32" /winroot/tmp/tessalok32.exe
}

# wine ARGUMENTS...: the host's wine in /winroot, with the prefix made on the host.
in_wine() {
    chroot /winroot /usr/bin/env -i PATH=/usr/bin:/bin HOME=/root \
        WINEPREFIX="$TESSALOK_wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
        wine "$@"
}

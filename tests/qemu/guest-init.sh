#!/bin/busybox sh
# shellcheck shell=dash
# The guest's init: mounts the kernel's file systems, loads the modules, brings up the
# network to the host and attaches the drive over USB/IP (in the order guest-modules.txt
# gives), runs the checks and powers off. Everything it prints goes to the serial console.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs tmpfs /tmp

# Settings from the host, on the kernel's command line: tessalok.NAME=VALUE.
# shellcheck disable=SC2013 # words, not lines
for word in $(cat /proc/cmdline); do
    case $word in tessalok.*=*)
        name=${word#tessalok.}
        export "TESSALOK_${name%%=*}=${word#*=}"
        ;;
    esac
done

# QEMU's user network, restricted: it reaches only the host's ports the stage forwards to
# $TESSALOK_host, on the link itself, so no route is needed.
network_up() {
    ip link set lo up
    ip link set eth0 up
    ip addr add 10.0.2.15/24 dev eth0
}

wait_for_disk() {
    tries=0
    while [ ! -e "/sys/block/$1" ] && [ $tries -lt 100 ]; do
        sleep 0.1
        tries=$((tries + 1))
    done
    [ -e "/sys/block/$1" ] || echo "guest: no /dev/$1 after 10 s"
}

# The parameters are words of their own; TESSALOK_* come from the kernel's command line.
# shellcheck disable=SC2086,SC2154
while read -r name arguments; do
    case $name in
    '' | '#'*) ;;
    @wait) wait_for_disk "$arguments" ;;
    @network) network_up ;;
    @attach) guest-usb-attach "$TESSALOK_host" "$TESSALOK_usbipport" "$arguments" >/dev/null ||
        echo "guest: USB/IP attach of $arguments failed" ;;
    *) insmod "/modules/$name.ko" $arguments || echo "guest: insmod $name failed" ;;
    esac
done </modules/order

echo "guest: booted, checks start"
cd /tmp || exit 1
guest-checks
echo "guest: checks ended"
sync
poweroff -f

#!/bin/busybox sh
# shellcheck shell=dash
# Attaches a USB device exported over USB/IP to the guest's vhci-hcd, as `usbip attach`
# does, with busybox alone: over a connection to the server it imports the device
# (OP_REQ_IMPORT, the 320-byte OP_REP_IMPORT), then hands that connection to the kernel by
# writing "PORT SOCKFD DEVID SPEED" to vhci-hcd's attach file from the process holding it.
#   guest-usb-attach HOST PORT BUSID          attach, then wait for its SCSI disk; prints it
#   guest-usb-attach --detach                 detach whatever is on the vhci port
# The import itself runs as "--import BUSID" under busybox nc, the connection on fd 0 and 1.
# Fails with a line on stderr saying which step did not complete.
vhci=/sys/devices/platform/vhci_hcd.0
vhci_port=0 # the first high-speed port

# The disk (sdX) whose device sits under vhci-hcd, if any.
usb_disk() {
    for block in /sys/block/sd*; do
        case $(readlink -f "$block") in */vhci_hcd.0/*) echo "${block##*/}" && return 0 ;; esac
    done
    return 1
}

# Byte N (from 1) of the reply file, as a number.
reply_byte() { od -An -tu1 -j $(($2 - 1)) -N1 "$1" | tr -d ' '; }
# The big-endian 32-bit number at byte N (from 1) of the reply file.
reply_u32() {
    echo $(($(reply_byte "$1" "$2") << 24 | $(reply_byte "$1" $(($2 + 1))) << 16 |
        $(reply_byte "$1" $(($2 + 2))) << 8 | $(reply_byte "$1" $(($2 + 3)))))
}

case $1 in
--import)
    busid=$2
    reply=/tmp/.usbip-reply.$$
    # Version 1.1.1, OP_REQ_IMPORT (0x8003), status 0, then the bus id in 32 bytes.
    printf '\001\021\200\003\000\000\000\000%s' "$busid"
    head -c $((32 - ${#busid})) /dev/zero
    # OP_REP_IMPORT: the 8-byte header, then path (256), bus id (32), busnum, devnum, speed.
    timeout 10 head -c 320 >"$reply"
    size=$(wc -c <"$reply")
    if [ "$size" -lt 8 ] || [ "$(reply_u32 "$reply" 5)" -ne 0 ]; then
        echo "guest-usb-attach: $busid not imported (reply of $size bytes)" >&2
        rm -f "$reply"
        exit 1
    fi
    [ "$size" -eq 320 ] || { echo "guest-usb-attach: short import reply ($size bytes)" >&2; exit 1; }
    devid=$(($(reply_u32 "$reply" 297) << 16 | $(reply_u32 "$reply" 301)))
    speed=$(reply_u32 "$reply" 305)
    rm -f "$reply"
    # The shell writes it itself (echo is built in): the kernel takes the socket from fd 0.
    echo "$vhci_port 0 $devid $speed" >"$vhci/attach" ||
        { echo "guest-usb-attach: vhci-hcd refused \"$vhci_port 0 $devid $speed\"" >&2; exit 1; }
    ;;
--detach)
    echo "$vhci_port" >"$vhci/detach"
    ;;
*)
    host=$1 port=$2 busid=$3
    nc -w 5 "$host" "$port" -e /bin/guest-usb-attach --import "$busid" || exit 1
    tries=0
    until usb_disk >/dev/null || [ $tries -ge 200 ]; do
        sleep 0.1
        tries=$((tries + 1))
    done
    usb_disk || { echo "guest-usb-attach: $busid attached, but no SCSI disk after 20 s" >&2; exit 1; }
    ;;
esac

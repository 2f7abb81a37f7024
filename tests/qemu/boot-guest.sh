#!/usr/bin/env bash
# Boots the guest under QEMU's software emulation (no KVM). The guest has no USB controller
# but USB/IP's vhci-hcd: it attaches the drive itself from the virtual drive's USB/IP door.
# The drive's iSCSI LUN is attached on a virtio-scsi controller too, passed through CDB by
# CDB (scsi-block), a disk that is not on USB; QEMU opens that LUN on the host. Also a small
# IDE disk that is not the drive; and, when HOST_ROOT is set, the host's root read-only over
# 9p. The user network is restricted: the guest reaches nothing but the host's loopback
# ports HOST_PORTS lists (space-separated), each at 10.0.2.4 under the same number, one
# busybox nc on the host for each connection. A command the LUN leaves unanswered on
# virtio-scsi fails after QEMU's iSCSI time-out of 6 s: the guest's virtio-scsi driver never
# times one out itself.
# The serial console goes to LOG. Fails when the guest does not power off within SECONDS.
# QEMU_EXTRA adds words to QEMU's command line (for example "-trace scsi_req_parse_bad").
#   HOST_PORTS="PORT..." tests/qemu/boot-guest.sh VMLINUZ INITRD ISCSI_URL IDE_IMAGE LOG SECONDS [KERNEL_WORD...]
set -euo pipefail
vmlinuz=$1 initrd=$2 iscsi_url=$3 ide_image=$4 log=$5 seconds=$6
shift 6

# guestfwd's "tcp:" form would carry every guest connection over one host connection, made
# when QEMU starts; "cmd:" starts a fresh one for each.
network=user,id=net0,restrict=on
for port in ${HOST_PORTS:-}; do
    network+=",guestfwd=tcp:10.0.2.4:$port-cmd:/bin/busybox nc 127.0.0.1 $port"
done

share=()
if [ -n "${HOST_ROOT:-}" ]; then
    share=(-virtfs "local,path=$HOST_ROOT,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap")
fi

status=0
# QEMU_EXTRA is split into words on purpose.
# shellcheck disable=SC2086
timeout --kill-after=5 "$seconds" qemu-system-x86_64 \
    -machine pc,accel=tcg -m 1024 -smp 1 -nographic -no-reboot -monitor none \
    -kernel "$vmlinuz" -initrd "$initrd" \
    -append "console=ttyS0 quiet panic=-1 no_timer_check $*" \
    -iscsi timeout=6 \
    -device virtio-scsi-pci,id=vscsi \
    -drive "if=none,id=fpv,format=raw,file=$iscsi_url" \
    -device scsi-block,bus=vscsi.0,drive=fpv \
    -drive "if=ide,index=0,format=raw,file=$ide_image" \
    -netdev "$network" -device e1000,netdev=net0 \
    "${share[@]}" ${QEMU_EXTRA:-} \
    </dev/null >"$log" 2>&1 || status=$?
if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
    echo "boot-guest: the guest did not power off within $seconds s" >&2
    exit 1
fi
exit "$status"

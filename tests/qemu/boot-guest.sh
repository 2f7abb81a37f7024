#!/usr/bin/env bash
# Boots the guest under QEMU's software emulation (no KVM) with the drive's iSCSI LUN
# attached twice, each time passed through CDB by CDB (scsi-block): as a USB mass-storage
# disk behind an xHCI controller, and on a virtio-scsi controller. Both are needed: QEMU's
# SCSI layer refuses vendor-specific operation codes (0xFC has no CDB length it knows)
# from a USB mass-storage device before they reach the LUN, while virtio-scsi hands the
# guest's CDB and direction through as they are. Also a small IDE disk that is not the
# drive; the user network, whose 10.0.2.2 is the host's loopback; and, when HOST_ROOT is
# set, the host's root read-only over 9p. A command the LUN leaves unanswered fails after
# QEMU's iSCSI time-out of 6 s: the guest's virtio-scsi driver never times one out itself.
# The serial console goes to LOG. Fails when the guest does not power off within SECONDS.
# QEMU_EXTRA adds words to QEMU's command line (for example "-trace scsi_req_parse_bad").
#   tests/qemu/boot-guest.sh VMLINUZ INITRD ISCSI_URL IDE_IMAGE LOG SECONDS [KERNEL_WORD...]
set -euo pipefail
vmlinuz=$1 initrd=$2 iscsi_url=$3 ide_image=$4 log=$5 seconds=$6
shift 6

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
    -append "console=ttyS0 quiet panic=-1 $*" \
    -device qemu-xhci,id=xhci -device usb-bot,id=bot,bus=xhci.0 \
    -iscsi timeout=6 \
    -drive "if=none,id=fp,format=raw,file=$iscsi_url" \
    -device scsi-block,bus=bot.0,drive=fp,lun=0 \
    -device virtio-scsi-pci,id=vscsi \
    -drive "if=none,id=fpv,format=raw,file=$iscsi_url" \
    -device scsi-block,bus=vscsi.0,drive=fpv \
    -drive "if=ide,index=0,format=raw,file=$ide_image" \
    -netdev user,id=net0,restrict=off -device e1000,netdev=net0 \
    "${share[@]}" ${QEMU_EXTRA:-} \
    </dev/null >"$log" 2>&1 || status=$?
if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
    echo "boot-guest: the guest did not power off within $seconds s" >&2
    exit 1
fi
exit "$status"

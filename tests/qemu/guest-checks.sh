#!/bin/sh
# The checks inside the guest. The drive's LUN is there twice: /dev/sda on USB mass
# storage, where QEMU refuses vendor commands itself (CHECK CONDITION) but block I/O
# passes, and /dev/sdc (drive E:) on virtio-scsi, where vendor commands reach the drive.
# /dev/sdb is an IDE disk that is not the drive. Each check prints "CHECK ok NAME" or
# "CHECK FAIL NAME: why" with the program's output; the host reads them from the console.
# The drive is scripted through its control port on the host, 10.0.2.2:$TESSALOK_ctlport.
# shellcheck disable=SC2154 # TESSALOK_* come from the kernel's command line (guest-init)
failed=0
out=/tmp/out
err=/tmp/err

pass() { echo "CHECK ok $1"; }
fail() {
    echo "CHECK FAIL $1: $2"
    sed 's/^/  | /' "$out" "$err"
    failed=$((failed + 1))
}
# run NAME EXIT COMMAND...: runs COMMAND, its output kept in $out and $err; passes when it
# ends with EXIT.
run() {
    name=$1 want=$2
    shift 2
    "$@" >"$out" 2>"$err" </dev/null
    got=$?
    if [ "$got" -eq "$want" ]; then pass "$name"; else fail "$name" "exit $got, wanted $want"; fi
}
# has NAME PATTERN FILE / lacks NAME PATTERN FILE: what the last command printed.
has() { if grep -q -- "$2" "$3"; then pass "$1"; else fail "$1" "no '$2' in $(basename "$3")"; fi; }
lacks() { if grep -q -- "$2" "$3"; then fail "$1" "'$2' in $(basename "$3")"; else pass "$1"; fi; }
# ctl TEXT...: a control text to the drive; a refused one counts as a failed check.
ctl() {
    if ! tessalok-vdrive ctl --host 10.0.2.2 --port "$TESSALOK_ctlport" "$@" >/dev/null 2>&1; then
        echo "CHECK FAIL ctl $*: refused or unanswered"
        failed=$((failed + 1))
    fi
}
# Commands the SCSI layer handed to disk $1 so far.
requests() { cat "/sys/block/$1/device/iorequest_cnt"; }

run ctl-reachable 0 tessalok-vdrive ctl --host 10.0.2.2 --port "$TESSALOK_ctlport" version

# By default the search sends vendor commands to USB disks only: sda answers (QEMU's
# CHECK CONDITION), the IDE disk and the virtio disk receive nothing.
before="$(requests sdb) $(requests sdc)"
run usb-only-scan 3 tessalok --trace scan
has usb-only-tries-sda "trace C:" "$err"
lacks usb-only-skips-sdb "trace D:" "$err"
lacks usb-only-skips-sdc "trace E:" "$err"
after="$(requests sdb) $(requests sdc)"
if [ "$after" = "$before" ]; then pass others-untouched; else fail others-untouched "requests $before -> $after"; fi

# --all-disks: the search tries every disk and finds the drive by itself at sdc.
before=$(requests sdb)
run scan 0 tessalok --trace --all-disks scan
has scan-names-sdc /dev/sdc "$out"
has scan-tries-ide "trace D:" "$err"
if [ "$(requests sdb)" != "$before" ]; then pass all-disks-reaches-ide; else fail all-disks-reaches-ide "no request reached sdb"; fi
run scan-all-json 0 tessalok --all-disks scan --all --json
has scan-all-candidates '"candidates"' "$out"

run status 0 tessalok --all-disks status
has status-drive "Drive:    /dev/sdc" "$out"
run status-json 0 tessalok --all-disks status --json
has status-json-drive '"drive":"/dev/sdc"' "$out"
has status-json-installed '"installed":1' "$out"
run trace 0 tessalok --all-disks --trace status
has trace-secu "trace E: SECU" "$err"
run model 0 tessalok --all-disks model
run model-json 0 tessalok --all-disks model --json
has model-json-text '"model":' "$out"
run device 0 tessalok --device /dev/sdc status
run bad-usage 2 tessalok --drive B status

# Faults: a CHECK CONDITION, a pulled plug; each time the drive comes back.
ctl fail-next 1
run check-condition 3 tessalok --all-disks --trace status
has check-condition-status "SCSI status 0x02" "$err"
has check-condition-sense "(sense " "$err"
run after-check-condition 0 tessalok --all-disks status
ctl unplug
run unplugged 3 tessalok --all-disks status
has unplugged-says "no fingerprint drive found" "$err"
has unplugged-says-why "NOT READY, medium not present" "$err"
ctl plug
run plugged-again 0 tessalok --all-disks status
# A drive that stops answering: the command fails (after QEMU's iSCSI time-out) and so does
# the search, and the drive answers again afterwards.
ctl silence-next 1
run silenced 3 tessalok --all-disks status
has silenced-says "no fingerprint drive found" "$err"
run answers-again 0 tessalok --all-disks status

# Install and erase (the automatic user presents the fingers) while the drive's FAT volume
# is mounted over USB and holds a file; remounted afterwards, the file is intact.
mkdir -p /mnt/drive
run mount 0 mount -t vfat /dev/sda1 /mnt/drive
grep -q " /mnt/drive " /proc/mounts && echo "kept across install and erase" >/mnt/drive/keep.txt
sync
ctl set-slot 0 alice # the finger that authorizes
run install 0 tessalok --all-disks install
has install-says "installation successfully" "$out"
run status-after-install 0 tessalok --all-disks status --json
has two-installed '"installed":2' "$out"
run erase 0 tessalok --all-disks erase --yes
run status-after-erase 0 tessalok --all-disks status --json
has none-installed '"installed":0,' "$out"
has none-installed-drive '"drive":"/dev/sdc"' "$out"
run unmount 0 umount /mnt/drive
echo 3 >/proc/sys/vm/drop_caches
run remount 0 mount -t vfat -o ro /dev/sda1 /mnt/drive
run file-intact 0 sh -c 'grep -q " /mnt/drive " /proc/mounts &&
    grep -qx "kept across install and erase" /mnt/drive/keep.txt'
umount /mnt/drive

# A user without CAP_SYS_RAWIO who may open the node: the kernel refuses vendor commands.
chmod 0666 /dev/sda /dev/sdc
run unprivileged-usb 3 su -s /bin/sh user -c "tessalok status"
has unprivileged-usb-says-why "needs root or CAP_SYS_RAWIO" "$err"
run unprivileged 3 su -s /bin/sh user -c "tessalok --device /dev/sdc status"
has unprivileged-says-why "needs root or CAP_SYS_RAWIO" "$err"
run unprivileged-search 3 su -s /bin/sh user -c "tessalok --all-disks status"
has unprivileged-search-says-why "needs root or CAP_SYS_RAWIO" "$err"
chmod 0660 /dev/sda /dev/sdc

if [ -n "${TESSALOK_wineprefix:-}" ]; then
    # shellcheck source=tests/qemu/guest-wine-checks.sh
    . /bin/guest-wine-checks
fi

# With the USB disk gone (removed from the SCSI layer) the search finds no disk to try,
# and says which it skipped.
echo 1 >/sys/block/sda/device/delete
run no-usb-disk 3 tessalok status
has no-usb-disk-says "no disk attached through USB (/dev/sdb, /dev/sdc skipped" "$err"

echo "CHECK-SUMMARY failed=$failed"

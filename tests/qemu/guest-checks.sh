#!/bin/sh
# The checks inside the guest, against the virtual drive as the USB disk /dev/sda (an IDE
# disk that is not the drive is /dev/sdb). Each check prints "CHECK ok NAME" or
# "CHECK FAIL NAME: why" with the program's output; the host reads them from the console.
# The drive is scripted through its control port on the host, 10.0.2.2:$TESSALOK_ctlport.
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
ctl() { tessalok-vdrive ctl --host 10.0.2.2 --port "$TESSALOK_ctlport" "$@" >/dev/null; }
# Commands the SCSI layer handed to the IDE disk so far.
ide_requests() { cat /sys/block/sdb/device/iorequest_cnt; }

run ctl-reachable 0 tessalok-vdrive ctl --host 10.0.2.2 --port "$TESSALOK_ctlport" version

# The search finds the drive by itself and sends nothing to a disk that is not on USB.
before=$(ide_requests)
run scan 0 tessalok --trace scan
has scan-names-sda /dev/sda "$out"
has scan-traces-sda "trace C:" "$err"
lacks scan-skips-ide "trace D:" "$err"
if [ "$(ide_requests)" = "$before" ]; then pass ide-disk-untouched; else fail ide-disk-untouched "$before -> $(ide_requests) requests"; fi
before=$(ide_requests)
run scan-all-disks 0 tessalok --trace --all-disks scan --all
has all-disks-tries-ide "trace D:" "$err"
if [ "$(ide_requests)" != "$before" ]; then pass all-disks-reaches-ide; else fail all-disks-reaches-ide "no request reached sdb"; fi

run status 0 tessalok status
has status-drive "Drive:    /dev/sda" "$out"
run status-json 0 tessalok status --json
has status-json-drive '"drive":"/dev/sda"' "$out"
has status-json-installed '"installed":1' "$out"
run trace 0 tessalok --trace status
has trace-secu "SECU" "$err"
run model 0 tessalok model
run model-json 0 tessalok model --json
has model-json-text '"model":' "$out"
run bad-usage 2 tessalok --drive B status

# Faults: a CHECK CONDITION, a pulled plug; each time the drive comes back.
ctl fail-next 1
run check-condition 3 tessalok --trace status
has check-condition-status "SCSI status 0x02" "$err"
run after-check-condition 0 tessalok status
ctl unplug
run unplugged 3 tessalok status
has unplugged-says "no fingerprint drive found" "$err"
ctl plug
run plugged-again 0 tessalok status

# Install and erase (the automatic user presents the fingers) while the drive's FAT volume
# is mounted and holds a file; remounted afterwards, the file is intact.
mkdir -p /mnt/drive
run mount 0 mount -t vfat /dev/sda1 /mnt/drive
echo "kept across install and erase" >/mnt/drive/keep.txt
sync
ctl set-slot 0 alice # the finger that authorizes
run install 0 tessalok install
has install-says "installation successfully" "$out"
run status-after-install 0 tessalok status --json
has two-installed '"installed":2' "$out"
run erase 0 tessalok erase --yes
run status-after-erase 0 tessalok status --json
has none-installed '"installed":0' "$out"
run unmount 0 umount /mnt/drive
echo 3 >/proc/sys/vm/drop_caches
run remount 0 mount -t vfat -o ro /dev/sda1 /mnt/drive
run file-intact 0 grep -qx "kept across install and erase" /mnt/drive/keep.txt
umount /mnt/drive

# A user without CAP_SYS_RAWIO who may open the node: the kernel refuses vendor commands.
chmod 0666 /dev/sda
run unprivileged 3 setpriv --reuid=1000 --regid=1000 --clear-groups --inh-caps=-all tessalok status
has unprivileged-says-why "CAP_SYS_RAWIO" "$err"
chmod 0660 /dev/sda

if [ -n "${TESSALOK_wineprefix:-}" ]; then
    . /bin/guest-wine-checks
fi

echo "CHECK-SUMMARY failed=$failed"

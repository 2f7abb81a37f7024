#!/bin/sh
# The checks inside the guest. The drive is a USB mass-storage disk attached over USB/IP
# (vhci-hcd, usb-storage), /dev/sda at boot: vendor commands reach the drive through the
# kernel's real USB storage stack. The same drive is on virtio-scsi too (/dev/sdc), a disk
# not on USB, and /dev/sdb is an IDE disk that is not the drive. Each check prints
# "CHECK ok NAME" or "CHECK FAIL NAME: why" with the program's output; the host reads them
# from the console. The drive is scripted through its control port on the host, and its
# USB/IP door is there too, both at $TESSALOK_host.
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
# ends with EXIT. A program still running after $limit seconds is ended and named; a shell
# function bounds its own waits.
limit=120
run() {
    name=$1 want=$2
    shift 2
    case $(type "$1") in
    *function*) "$@" >"$out" 2>"$err" </dev/null ;;
    *) timeout -s KILL "$limit" "$@" >"$out" 2>"$err" </dev/null ;;
    esac
    got=$?
    if [ "$got" -eq "$want" ]; then
        pass "$name"
    elif [ "$got" -eq 137 ]; then
        fail "$name" "hung: $* still running after $limit s"
    else
        fail "$name" "exit $got, wanted $want"
    fi
}
# has NAME PATTERN FILE / lacks NAME PATTERN FILE: what the last command printed.
has() { if grep -q -- "$2" "$3"; then pass "$1"; else fail "$1" "no '$2' in $(basename "$3")"; fi; }
lacks() { if grep -q -- "$2" "$3"; then fail "$1" "'$2' in $(basename "$3")"; else pass "$1"; fi; }
# ctl TEXT...: a control text to the drive, its answer on stdout; a refused one is a
# failed check (said on stderr, so that it reaches the console from $(ctl ...) too).
ctl() {
    if ! tessalok-vdrive ctl --host "$TESSALOK_host" --port "$TESSALOK_ctlport" "$@" 2>/dev/null; then
        echo "CHECK FAIL ctl $*: refused or unanswered" >&2
        failed=$((failed + 1))
    fi
}
# Commands the SCSI layer handed to disk $1 so far.
requests() { cat "/sys/block/$1/device/iorequest_cnt"; }
# attach: attaches the drive over USB/IP again and sets $usb to its disk (it bounds its
# own waits).
attach() {
    usb=$(guest-usb-attach "$TESSALOK_host" "$TESSALOK_usbipport" 1-1) || return 1
}
# shellcheck source=tests/qemu/guest-wire-counts.sh
. /bin/guest-wire-counts

run ctl-reachable 0 tessalok-vdrive ctl --host "$TESSALOK_host" --port "$TESSALOK_ctlport" version
usb=sda
run usb-disk-on-vhci 0 sh -c 'readlink -f /sys/block/sda | grep -q /vhci_hcd.0/'
# The guest reaches the host's forwarded ports only: nothing else answers.
if timeout 10 tessalok-vdrive ctl --host 10.0.2.2 --port "$TESSALOK_ctlport" version >"$out" 2>"$err"; then
    fail network-restricted "the host's loopback answered at 10.0.2.2"
else
    pass network-restricted
fi

# By default the search sends vendor commands to USB disks only: it finds the drive on sda
# by itself, and the IDE disk and the virtio disk receive nothing.
before="$(requests sdb) $(requests sdc)"
run usb-scan 0 tessalok --trace scan
has usb-scan-names-sda /dev/sda "$out"
has usb-scan-tries-sda "trace C:" "$err"
lacks usb-scan-skips-sdb "trace D:" "$err"
lacks usb-scan-skips-sdc "trace E:" "$err"
after="$(requests sdb) $(requests sdc)"
if [ "$after" = "$before" ]; then pass others-untouched; else fail others-untouched "requests $before -> $after"; fi

# --all-disks: every disk may be tried. The drive answers on virtio-scsi too; the IDE disk,
# asked, is not the drive.
run scan-all-disks 0 tessalok --all-disks scan --all --json
has scan-all-disks-candidates '"candidates"' "$out"
has scan-all-disks-usb '"drive":"/dev/sda"' "$out"
run virtio-needs-all-disks 3 tessalok --drive E status
has virtio-needs-all-disks-says "is not attached through USB; --all-disks tries every disk" "$err"
run all-disks-virtio 0 tessalok --all-disks --drive E status
has all-disks-virtio-drive "Drive:    /dev/sdc" "$out"
before=$(requests sdb)
run all-disks-ide 3 tessalok --all-disks --drive D scan
if [ "$(requests sdb)" != "$before" ]; then pass all-disks-reaches-ide; else fail all-disks-reaches-ide "no request reached sdb"; fi

run status 0 tessalok status
has status-drive "Drive:    /dev/sda" "$out"
run status-json 0 tessalok status --json
has status-json-drive '"drive":"/dev/sda"' "$out"
has status-json-installed '"installed":1' "$out"
run trace 0 tessalok --trace status
has trace-secu "trace C: SECU" "$err"
run model 0 tessalok model
run model-json 0 tessalok model --json
has model-json-text '"model":' "$out"
run device 0 tessalok --device /dev/sda status
run bad-usage 2 tessalok --drive B status

# What reaches the drive, counted at the drive: the operations' vendor commands and nothing
# the kernel adds.
wire_counts

# A CHECK CONDITION: a failed CSW, the kernel asks for the sense data and it names it.
ctl fail-next 1 >/dev/null
run check-condition 3 tessalok --trace status
has check-condition-status "SCSI status 0x02" "$err"
has check-condition-sense "(sense " "$err"
run after-check-condition 0 tessalok status
# A drive that stops answering: the command ends at its time-out (the kernel then aborts
# it and resets the device), the search fails, and the drive answers again afterwards.
ctl silence-next 1 >/dev/null
started=$(date +%s)
run silenced 3 tessalok status
has silenced-says "no fingerprint drive found" "$err"
has silenced-timed-out "host status 0x03 (timed out)" "$err" # the kernel's time-out ended it
echo "guest: the silenced search took $(($(date +%s) - started)) s"
run answers-again 0 tessalok status

# The plug pulled in the middle of an install: the install fails on its own, with the
# documented exit code; plugged in and attached again, the drive is found again.
ctl set-slot 0 alice >/dev/null
ctl nothing 200 >/dev/null # no finger: the install keeps polling
timeout -s KILL "$limit" tessalok --trace install >"$out" 2>"$err" </dev/null &
install=$!
tries=0
until grep -q "= progress poll" "$err" || [ $tries -ge 300 ]; do
    sleep 0.1
    tries=$((tries + 1))
done
asked=$(date +%s)
ctl unplug >/dev/null
started=$(date +%s)
wait "$install"
got=$?
echo "guest: the install ended $(($(date +%s) - started)) s after the plug was pulled (the control text took $((started - asked)) s)"
case $got in
1) pass unplugged-install ;;
137) fail unplugged-install "hung: still running $limit s after it started" ;;
*) fail unplugged-install "exit $got, wanted 1" ;;
esac
has unplugged-install-polled "= progress poll" "$err"
# Under emulation the control text has been seen to arrive only after the install's last
# command (its own time-out came first): then the install met no pulled plug, and that is
# said, not judged. A command that failed in the trace is the pulled plug.
if grep '^trace ' "$err" | grep -q '| failed$'; then
    has unplugged-install-says "stopped answering" "$err"
else
    echo "guest: NOTE every command of the install was answered: the plug was pulled after its last one; 'stopped answering' not judged"
fi
has unplugged-install-result "time-out" "$out"
# The kernel removes the disk once vhci-hcd has seen the connection close: bounded wait.
tries=0
while [ -e "/sys/block/$usb" ] && [ $tries -lt 300 ]; do
    sleep 0.1
    tries=$((tries + 1))
done
if [ -e "/sys/block/$usb" ]; then fail usb-disk-gone "/dev/$usb still there 30 s after the plug was pulled"; else pass usb-disk-gone; fi
run unplugged 3 tessalok status
has unplugged-says "no disk attached through USB" "$err"
ctl reset >/dev/null
ctl plug >/dev/null
run reattach 0 attach
usb=${usb:-sda}
run found-again 0 tessalok scan
has found-again-names "/dev/$usb" "$out"

# Install and erase (the automatic user presents the fingers) while the drive's FAT volume
# is mounted over USB and holds a file; remounted afterwards, the file is intact.
mkdir -p /mnt/drive
run mount 0 mount -t vfat "/dev/${usb}1" /mnt/drive
grep -q " /mnt/drive " /proc/mounts && echo "kept across install and erase" >/mnt/drive/keep.txt
sync
ctl set-slot 0 alice >/dev/null # the finger that authorizes
run install 0 tessalok install
has install-says "installation successfully" "$out"
run status-after-install 0 tessalok status --json
has two-installed '"installed":2' "$out"
run erase 0 tessalok erase --yes
run status-after-erase 0 tessalok status --json
has none-installed '"installed":0,' "$out"
has none-installed-drive "\"drive\":\"/dev/$usb\"" "$out"
run unmount 0 umount /mnt/drive
echo 3 >/proc/sys/vm/drop_caches
run remount 0 mount -t vfat -o ro "/dev/${usb}1" /mnt/drive
run file-intact 0 sh -c 'grep -q " /mnt/drive " /proc/mounts &&
    grep -qx "kept across install and erase" /mnt/drive/keep.txt'
umount /mnt/drive

# A user without CAP_SYS_RAWIO who may open the disk nodes but not the generic ones: the
# search, which goes through the generic node, and the disk node itself, which refuses
# vendor commands without the capability, both say what is needed. With access to the
# generic node as well the user needs no capability: the sg driver asks for none.
chmod 0666 "/dev/$usb" /dev/sdc
run unprivileged-usb 3 su -s /bin/sh user -c "tessalok status"
has unprivileged-usb-says-why "needs root or CAP_SYS_RAWIO" "$err"
run unprivileged-disk-node 3 su -s /bin/sh user -c "tessalok --device /dev/$usb status"
has unprivileged-disk-node-says-why "needs root or CAP_SYS_RAWIO" "$err"
run unprivileged-search 3 su -s /bin/sh user -c "tessalok --all-disks status"
has unprivileged-search-says-why "needs root or CAP_SYS_RAWIO" "$err"
generic=$(ls "/sys/block/$usb/device/scsi_generic")
chmod 0666 "/dev/$generic"
run generic-node-access 0 su -s /bin/sh user -c "tessalok status"
chmod 0600 "/dev/$generic"
chmod 0660 "/dev/$usb" /dev/sdc

if [ -n "${TESSALOK_wineprefix:-}" ]; then
    # shellcheck source=tests/qemu/guest-wine-checks.sh
    . /bin/guest-wine-checks
fi

# With the USB disk detached the search finds no disk to try, and says which it skipped.
run detach 0 guest-usb-attach --detach
tries=0
while [ -e "/sys/block/$usb" ] && [ $tries -lt 100 ]; do
    sleep 0.1
    tries=$((tries + 1))
done
run no-usb-disk 3 tessalok status
has no-usb-disk-says "no disk attached through USB (/dev/sdb, /dev/sdc skipped" "$err"

echo "CHECK-SUMMARY failed=$failed"

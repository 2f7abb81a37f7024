#!/usr/bin/env bash
# The real-kernel stage: boots Debian's kernel under QEMU (software emulation); the guest
# attaches the virtual drive as a USB mass-storage disk over USB/IP (and sees it on
# virtio-scsi through iSCSI too) and runs the native tessalok, both Windows builds of
# tessalok.exe and a whole session of both builds of KV_Tessalok.exe (under wine) against it.
# Builds what it needs; the kernel and the wine prefix are cached under build/.
#   tools/run-qemu-stage.sh
# QEMU_STAGE_SECONDS (default 900: room for a busy machine, or 1500 with the 32-bit window
# tests; each step bounds itself too) bounds the guest's run. TESSALOK_QEMU_SKIP_TESTS32=1
# leaves the 32-bit unit and window tests out of the guest (a quicker run while iterating).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
work=$root/build/qemu
mkdir -p "$work"

for preset in linux win64 win32; do
    [ -f "build/$preset/CMakeCache.txt" ] || cmake --preset "$preset" >/dev/null
done
cmake --build --preset linux -j"$(nproc)" --target tessalok tessalok-vdrive
cmake --build --preset win64 -j"$(nproc)" --target tessalok KV_Tessalok window_session_test
cmake --build --preset win32 -j"$(nproc)" --target tessalok KV_Tessalok

# The guest runs the Windows programs as the zips ship them: installed by the packages' own
# rules, stripped, with the commit's time (the same bytes as in the zips).
shipped=$work/shipped
rm -rf "$shipped"
for preset in win64 win32; do
    cmake --build --preset "$preset" -j"$(nproc)" --target KV_Tessalok KV_Tessalok_Demo tessalok tessalok-vdrive
    SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)} \
        cmake --install "build/$preset" --prefix "$shipped/$preset" --strip >/dev/null
done

# The window's screenshots come back through a writable share, into build/win32/artifacts
# as on a host that runs the 32-bit window tests itself.
artifacts32=$root/build/win32/artifacts
mkdir -p "$artifacts32"
rm -f "$artifacts32"/session*.bmp "$artifacts32"/session*.png
qemu_extra="${QEMU_EXTRA:-} -virtfs local,path=$artifacts32,mount_tag=artifacts,security_model=none"
seconds=${QEMU_STAGE_SECONDS:-900}
# Where this machine's kernel runs no 32-bit programs, the 32-bit unit tests (the 32-bit
# pass-through layout among them) and the 32-bit window's tests run in the guest, whose
# kernel does.
# shellcheck source=tools/wine-loader.sh
source tools/wine-loader.sh
guest_tests32=()
if [ "$TESSALOK_WINE_RUNS_32BIT" != 1 ] && [ "${TESSALOK_QEMU_SKIP_TESTS32:-}" != 1 ]; then
    # shellcheck disable=SC2046 # one target a line
    cmake --build --preset win32 -j"$(nproc)" --target $(sed 's|.*/||; s/$/_test/' tests/qemu/guest-tests32.txt) \
        window_e2e_test KV_Tessalok_Demo tessalok-vdrive
    guest_tests32=("tessalok.tests32=$root/build/win32/tests" "tessalok.window32=$root/build/win32")
    rm -f "$artifacts32"/*.bmp "$artifacts32"/*.png
    seconds=${QEMU_STAGE_SECONDS:-1500}
fi

kernel_root=$(tests/qemu/fetch-kernel.sh "$root/build/qemu-cache")
tests/qemu/make-wine-prefix.sh "$work/wine-prefix"
tests/qemu/prepare-window-prefix.sh "$work/wine-prefix"
tests/qemu/make-initramfs.sh "$kernel_root" "$work/initrd.gz" \
    build/linux/cli/tessalok build/linux/virtual_drive/tessalok-vdrive
rm -f "$work/ide.img" "$work/ctl.port" "$work/iscsi.port" "$work/usbip.port"
truncate -s 4M "$work/ide.img"

# The drive at E: with one finger enrolled and the automatic user at the sensor.
build/linux/virtual_drive/tessalok-vdrive --drive E --auto-user --run "set-slot 0 alice" \
    --port 0 --port-file "$work/ctl.port" --iscsi 0 --iscsi-port-file "$work/iscsi.port" \
    --usbip 0 --usbip-port-file "$work/usbip.port" --verbose 2>"$work/vdrive.log" &
vdrive=$!
trap 'kill "$vdrive" 2>/dev/null || true; wait "$vdrive" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
    [ -s "$work/ctl.port" ] && [ -s "$work/iscsi.port" ] && [ -s "$work/usbip.port" ] && break
    kill -0 "$vdrive" 2>/dev/null || { cat "$work/vdrive.log" >&2; exit 1; }
    sleep 0.1
done
[ -s "$work/usbip.port" ] || { echo "qemu stage: the virtual drive did not start" >&2; exit 1; }
ctl_port=$(cat "$work/ctl.port") usbip_port=$(cat "$work/usbip.port")

started=$(date +%s)
status=0
# The guest reaches the control and USB/IP ports only (QEMU itself opens the iSCSI LUN).
HOST_ROOT=/ HOST_PORTS="$ctl_port $usbip_port" QEMU_EXTRA=$qemu_extra tests/qemu/boot-guest.sh \
    "$kernel_root"/boot/vmlinuz-* "$work/initrd.gz" \
    "iscsi://127.0.0.1:$(cat "$work/iscsi.port")/iqn.2026-12.org.tessalok:vdrive-e/0" \
    "$work/ide.img" "$work/console.log" "$seconds" \
    tessalok.host=10.0.2.4 "tessalok.ctlport=$ctl_port" "tessalok.usbipport=$usbip_port" \
    "tessalok.wineprefix=$work/wine-prefix" \
    "tessalok.exe64=$shipped/win64/tessalok.exe" "tessalok.exe32=$shipped/win32/tessalok.exe" \
    "tessalok.session=$root/build" "tessalok.shipped=$shipped" \
    "${guest_tests32[@]}" || status=$?
echo "qemu stage: the guest ran $(($(date +%s) - started)) s"
if ls "$artifacts32"/*.bmp >/dev/null 2>&1; then
    python3 tests/e2e/bmp_to_png.py "$artifacts32" >/dev/null
fi
tests/qemu/check-console.sh "$work/console.log"
exit "$status"

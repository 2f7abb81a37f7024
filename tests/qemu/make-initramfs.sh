#!/usr/bin/env bash
# Assembles the guest's initramfs: static busybox, the given programs with the shared
# libraries ldd lists, the kernel modules the guest loads (in the order of guest-modules.txt)
# and the guest's scripts.
#   tests/qemu/make-initramfs.sh KERNEL_ROOT OUTPUT.cpio.gz PROGRAM...
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
kernel_root=${1:?usage: make-initramfs.sh KERNEL_ROOT OUTPUT PROGRAM...}
output=${2:?usage: make-initramfs.sh KERNEL_ROOT OUTPUT PROGRAM...}
shift 2

tree=$(mktemp -d)
chmod 0755 "$tree" # the root folder of the guest
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree"/{bin,dev,etc,proc,sys,tmp,mnt,modules}

cp /bin/busybox "$tree/bin/busybox"
for program in "$@"; do
    cp "$program" "$tree/bin/"
    # Each library at the path the dynamic loader looks for it.
    ldd "$program" | awk '/=> \// { print $3 } /^\t\/.*ld-linux/ { print $1 }' |
        while read -r library; do
            mkdir -p "$tree$(dirname "$library")"
            cp -L "$library" "$tree$library"
        done
done

# Modules a newer kernel builds in are left out of the order; any other missing one stops.
modules=$(ls -d "$kernel_root"/lib/modules/*)
while read -r name arguments; do
    case $name in
    '' | '#'*) continue ;;
    '@'*) echo "$name $arguments" >>"$tree/modules/order"; continue ;;
    esac
    file=$(find "$modules/kernel" -name "$name.ko" -o -name "$name.ko.xz" | head -n 1)
    if [ -z "$file" ]; then
        grep -q "/${name//-/[-_]}\.ko\$" "$modules/modules.builtin" 2>/dev/null && continue
        echo "make-initramfs: no module $name" >&2
        exit 1
    fi
    case $file in *.xz) xz -dc "$file" >"$tree/modules/$name.ko" ;; *) cp "$file" "$tree/modules/" ;; esac
    echo "$name $arguments" >>"$tree/modules/order"
done <"$here/guest-modules.txt"

cp "$here/guest-init.sh" "$tree/init"
cp "$here/guest-checks.sh" "$tree/bin/guest-checks"
cp "$here/guest-usb-attach.sh" "$tree/bin/guest-usb-attach"
cp "$here/guest-wire-counts.sh" "$tree/bin/guest-wire-counts"
cp "$here/guest-wine-checks.sh" "$tree/bin/guest-wine-checks"
cp "$here/guest-window-checks.sh" "$tree/bin/guest-window-checks"
cp "$here/guest-window-session.sh" "$tree/bin/guest-window-session"
cp "$here/guest-tests32.txt" "$tree/bin/guest-tests32.txt"
chmod +x "$tree/init" "$tree/bin/guest-checks" "$tree/bin/guest-usb-attach"
printf 'root:x:0:0:root:/:/bin/sh\nuser:x:1000:1000:user:/tmp:/bin/sh\n' >"$tree/etc/passwd"
printf 'root:x:0:\nuser:x:1000:\n' >"$tree/etc/group"

(cd "$tree" && find . | cpio -o -H newc --quiet) | gzip -1 >"$output"

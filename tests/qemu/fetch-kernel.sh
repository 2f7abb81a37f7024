#!/usr/bin/env bash
# Unpacks Debian's current amd64 kernel (the package linux-image-amd64 depends on) into
# CACHE/<package>/, without installing it, and prints that folder. A second run reuses it.
#   tests/qemu/fetch-kernel.sh CACHE
set -euo pipefail
cache=${1:?usage: fetch-kernel.sh CACHE}
mkdir -p "$cache"
cache=$(cd "$cache" && pwd)

versioned_kernel() {
    apt-cache depends linux-image-amd64 2>/dev/null |
        awk '$1 == "Depends:" && $2 ~ /^linux-image-[0-9]/ { print $2; exit }'
}
package=$(versioned_kernel)
if [ -z "$package" ]; then
    apt-get update -qq
    package=$(versioned_kernel)
fi
[ -n "$package" ] || { echo "fetch-kernel: no versioned kernel behind linux-image-amd64" >&2; exit 1; }

root=$cache/$package
if [ ! -f "$root/.unpacked" ]; then
    work=$(mktemp -d "$cache/.fetch-XXXXXX")
    trap 'rm -rf "$work"' EXIT
    # apt's sandbox user cannot write here, and apt says so on every run: its messages are
    # shown only when the download fails.
    if ! (cd "$work" && apt-get download -qq "$package" 2>"$work/apt.log"); then
        cat "$work/apt.log" >&2
        exit 1
    fi
    rm -rf "$root"
    dpkg-deb -x "$work"/"$package"_*.deb "$root"
    touch "$root/.unpacked"
fi
echo "$root"

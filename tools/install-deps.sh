#!/usr/bin/env bash
# Installs what building and testing need on Debian 12 (run as root). Skips apt when
# everything is already there.
set -euo pipefail

packages=(
    cmake ninja-build g++ clang libclang-rt-14-dev python3
    googletest libgtest-dev libgmock-dev libbenchmark-dev valgrind
    libcli11-dev nlohmann-json3-dev
    libiscsi-bin usbip
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
    mtools dosfstools
    wine wine64 fonts-wine xvfb xauth fonts-wqy-microhei imagemagick
    dpkg-dev fakeroot lintian man-db bash-completion
    # hardening-check (tools/run-package-checks.sh).
    devscripts
    # The 32-bit Windows tests run under Debian's 32-bit wine (i386 multiarch).
    wine32:i386
    qemu-system-x86 qemu-block-extra busybox-static cpio
)


missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

#!/usr/bin/env bash
# Tries the product without the hardware: starts the virtual drive (at E:, one finger
# "alice" enrolled, on 127.0.0.1:48150) and reads its status. The drive keeps running for
# the commands the README shows next; `tessalok-vdrive ctl shutdown` ends it.
#   tools/demo.sh               installs what is missing and builds both programs first
#   tools/demo.sh --installed   uses the installed tessalok and tessalok-vdrive (PATH)
#   --port N                    another port than 48150
set -euo pipefail
cd "$(dirname "$0")/.."

installed=0
port=48150
while [ $# -gt 0 ]; do
    case $1 in
        --installed) installed=1 ;;
        --port)
            [ $# -ge 2 ] || { echo "demo.sh: --port needs a number" >&2; exit 2; }
            port=$2
            shift
            ;;
        *)
            echo "usage: tools/demo.sh [--installed] [--port N]" >&2
            exit 2
            ;;
    esac
    shift
done

if [ "$installed" = 1 ]; then
    tessalok=$(command -v tessalok) || { echo "demo.sh: tessalok is not installed" >&2; exit 1; }
    vdrive=$(command -v tessalok-vdrive) ||
        { echo "demo.sh: tessalok-vdrive is not installed" >&2; exit 1; }
    work="${TMPDIR:-/tmp}/tessalok-demo-$port"
else
    tools/install-deps.sh
    cmake --preset linux >/dev/null
    cmake --build --preset linux -j"$(nproc)" --target tessalok tessalok-vdrive
    tessalok=build/linux/cli/tessalok
    vdrive=build/linux/virtual_drive/tessalok-vdrive
    work=build/linux
fi
mkdir -p "$work"

if "$vdrive" ctl --port "$port" version >/dev/null 2>&1; then
    echo "A virtual drive is already running on 127.0.0.1:$port."
else
    nohup "$vdrive" --drive E --port "$port" --state-file "$work/demo-drive.state" \
        --run "set-slot 0 alice" >"$work/demo-drive.log" 2>&1 &
    for _ in $(seq 50); do
        "$vdrive" ctl --port "$port" version >/dev/null 2>&1 && break
        sleep 0.1
    done
fi
"$tessalok" --vdrive "127.0.0.1:$port" status

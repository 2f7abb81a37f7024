#!/usr/bin/env bash
# Tries the product without the hardware: starts the virtual drive (at E:, one finger
# "alice" enrolled, on 127.0.0.1:48150) and reads its status. The drive keeps running for
# the commands the README shows next; `tessalok-vdrive ctl shutdown` ends it.
#   tools/demo.sh               installs what is missing and builds both programs first
#   tools/demo.sh --installed   uses the installed tessalok and tessalok-vdrive (PATH)
#   --port N                    another port than 48150 (0: a free one, which it names)
# When the drive cannot start (another program holds the port), it shows the drive's own
# message and how to choose another port, and ends with 1.
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
    log=$work/demo-drive.log
    port_file=$work/demo-drive.port
    rm -f "$port_file"
    nohup "$vdrive" --drive E --port "$port" --port-file "$port_file" \
        --state-file "$work/demo-drive.state" --run "set-slot 0 alice" >"$log" 2>&1 &
    drive_pid=$!
    # The drive writes its port once it listens; a drive that cannot listen ends at once.
    for _ in $(seq 50); do
        [ -s "$port_file" ] && break
        kill -0 "$drive_pid" 2>/dev/null || break
        sleep 0.1
    done
    if [ ! -s "$port_file" ]; then
        kill "$drive_pid" 2>/dev/null || true
        {
            echo "demo.sh: the virtual drive did not start on 127.0.0.1:$port:"
            sed 's/^/    /' "$log"
            echo "demo.sh: if another program holds the port, choose another one:"
            if [ "$installed" = 1 ]; then
                echo "    tools/demo.sh --installed --port N"
            else
                echo "    tools/demo.sh --port N"
            fi
            echo "  and give it to the commands that follow as well:" \
                "--vdrive 127.0.0.1:N for tessalok, ctl --port N for tessalok-vdrive."
        } >&2
        exit 1
    fi
    if [ "$(cat "$port_file")" != "$port" ]; then
        port=$(cat "$port_file")
        echo "The virtual drive listens on 127.0.0.1:$port."
    fi
fi
"$tessalok" --vdrive "127.0.0.1:$port" status

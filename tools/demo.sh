#!/usr/bin/env bash
# Tries the product without the hardware: installs what is missing, builds the command
# line and the virtual drive, starts the drive (at E:, one finger "alice" enrolled, on
# 127.0.0.1:48150) and reads its status. The drive keeps running for the commands the
# README shows next; `tessalok-vdrive ctl shutdown` ends it.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux -j"$(nproc)" --target tessalok tessalok-vdrive
bin=build/linux
if "$bin/virtual_drive/tessalok-vdrive" ctl version >/dev/null 2>&1; then
    echo "A virtual drive is already running on 127.0.0.1:48150."
else
    nohup "$bin/virtual_drive/tessalok-vdrive" --drive E --state-file "$bin/demo-drive.state" \
        --run "set-slot 0 alice" >"$bin/demo-drive.log" 2>&1 &
    for _ in $(seq 50); do
        "$bin/virtual_drive/tessalok-vdrive" ctl version >/dev/null 2>&1 && break
        sleep 0.1
    done
fi
"$bin/cli/tessalok" --vdrive 127.0.0.1 status

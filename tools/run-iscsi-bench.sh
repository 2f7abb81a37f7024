#!/usr/bin/env bash
# A benchmark, not a test: read throughput of tessalok-vdrive's iSCSI target against
# Debian's userspace target (tgt) on the same machine, in one run, both serving a 16 MiB
# image file on loopback, measured with libiscsi's iscsi-perf: sequential reads of 128 KiB
# and random reads of 4 KiB, 16 requests in flight.
#   tools/run-iscsi-bench.sh [seconds-per-run] [path/to/tessalok-vdrive]    (default 5)
# Needs root for tgtd and the packages tgt and libiscsi-bin.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-5}"
vdrive="${2:-build/linux/virtual_drive/tessalok-vdrive}"
for tool in tgtd tgtadm iscsi-perf; do
    command -v "$tool" >/dev/null || { echo "run-iscsi-bench: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d)
control=$((7000 + RANDOM % 1000)) # tgtd's management channel, apart from any other tgtd
tgt_port=$((20000 + RANDOM % 10000))
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

truncate -s 16M "$work/ours.img" "$work/tgt.img"
"$vdrive" --port 0 --iscsi 0 --iscsi-port-file "$work/port" --disk-image "E=$work/ours.img" \
    >"$work/vdrive.log" 2>&1 &
pids+=($!)
tgtd -f -C "$control" --iscsi "portal=127.0.0.1:$tgt_port" >"$work/tgtd.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    [ -s "$work/port" ] && tgtadm -C "$control" --op show --mode system >/dev/null 2>&1 && break
    sleep 0.1
done
tgtadm -C "$control" --lld iscsi --op new --mode target --tid 1 -T iqn.2026-12.bench:tgt
tgtadm -C "$control" --lld iscsi --op new --mode logicalunit --tid 1 --lun 1 -b "$work/tgt.img"
tgtadm -C "$control" --lld iscsi --op bind --mode target --tid 1 -I ALL

ours="iscsi://127.0.0.1:$(cat "$work/port")/iqn.2026-12.org.tessalok:vdrive-e/0"
theirs="iscsi://127.0.0.1:$tgt_port/iqn.2026-12.bench:tgt/1"

# "iops average N (M MB/s)" of one iscsi-perf run.
measure() {
    local url=$1
    shift
    timeout $((seconds + 30)) iscsi-perf -m 16 -t "$seconds" "$@" "$url" 2>&1 |
        tr '\r' '\n' | grep -Eo 'iops average [0-9]+ \([0-9]+ MB/s\)' | tail -n 1
}

printf '%-28s %-30s %-30s\n' "workload" "tessalok-vdrive" "tgt"
for workload in "sequential-128KiB:-b 256" "random-4KiB:-b 8 -r"; do
    name=${workload%%:*}
    # shellcheck disable=SC2086
    flags=(${workload#*:})
    printf '%-28s %-30s %-30s\n' "$name" "$(measure "$ours" "${flags[@]}")" \
        "$(measure "$theirs" "${flags[@]}")"
done

#!/usr/bin/env bash
# Real initiators against the iSCSI front door: starts a fresh tessalok-vdrive on a free
# loopback port with a scratch image file, checks that libiscsi's tools list and read the
# target, runs libiscsi's conformance suite (iscsi-test-cu, --dataloss) for the SCSI
# families a simple removable disk answers and the whole iSCSI family, and checks that the
# server is still well afterwards and stops cleanly.
#   tools/run-iscsi-conformance.sh [path/to/tessalok-vdrive]
# Prints "iscsi-conformance: N passed, N failed"; exits non-zero when anything failed.
set -uo pipefail
cd "$(dirname "$0")/.."
vdrive="${1:-build/linux/virtual_drive/tessalok-vdrive}"
families=(TestUnitReady Inquiry Read6 Read10 Read12 Read16 Write10 Write12 Write16
    ReadCapacity10 ReadCapacity16 ModeSense6 StartStopUnit PreventAllow Mandatory)

work=$(mktemp -d)
server=""
cleanup() {
    [ -n "$server" ] && kill "$server" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

truncate -s 16M "$work/scratch.img"
"$vdrive" --port 0 --port-file "$work/port" --iscsi 0 --iscsi-port-file "$work/iscsi-port" \
    --disk-image "E=$work/scratch.img" >"$work/vdrive.log" 2>&1 &
server=$!
for _ in $(seq 100); do
    [ -s "$work/iscsi-port" ] && break
    sleep 0.1
done
if [ ! -s "$work/iscsi-port" ]; then
    cat "$work/vdrive.log" >&2
    echo "iscsi-conformance: the server did not start" >&2
    exit 1
fi
portal="127.0.0.1:$(cat "$work/iscsi-port")"
target="iqn.2026-12.org.tessalok:vdrive-e"
url="iscsi://$portal/$target/0"

passed=0
failed=0
check() { # check NAME COMMAND...: one pass or fail
    local name=$1
    shift
    if "$@" >"$work/out" 2>&1; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $name" >&2
        cat "$work/out" >&2
    fi
}

check "iscsi-ls lists the target" \
    bash -c "timeout 20 iscsi-ls -s iscsi://$portal | grep -q 'Target:$target Portal:$portal,1'"
check "iscsi-inq reads a removable disk" \
    bash -c "timeout 20 iscsi-inq $url | grep -q '^Removable:1'"
check "iscsi-readcapacity16 reads 16 MiB" \
    bash -c "timeout 20 iscsi-readcapacity16 $url | grep -q '^Total size:16777216'"

# One run per family; the suite's summary row is "tests TOTAL RAN PASSED FAILED INACTIVE".
run_suite() {
    local pattern=$1
    local summary
    timeout 300 iscsi-test-cu --dataloss -t "$pattern" "$url" >"$work/suite" 2>&1
    summary=$(grep -E '^ +tests +[0-9]+' "$work/suite" | tail -n 1)
    if [ -z "$summary" ]; then
        failed=$((failed + 1))
        echo "FAILED: $pattern (no summary)" >&2
        tail -n 20 "$work/suite" >&2
        return
    fi
    read -r _ total ran good bad _ <<<"$summary"
    passed=$((passed + good))
    failed=$((failed + bad + total - ran))
    if [ "$bad" -ne 0 ] || [ "$ran" -ne "$total" ]; then
        echo "FAILED: $pattern: $summary" >&2
        grep -E 'FAILED|^ +[0-9]+\. ' "$work/suite" >&2
    fi
}
for family in "${families[@]}"; do
    run_suite "SCSI.$family"
done
run_suite 'iSCSI.*'

check "the server is still serving" kill -0 "$server"
kill -TERM "$server"
wait "$server"
status=$?
server=""
if [ "$status" -eq 0 ]; then
    passed=$((passed + 1))
else
    failed=$((failed + 1))
    echo "FAILED: the server exited with $status" >&2
    cat "$work/vdrive.log" >&2
fi

echo "iscsi-conformance: $passed passed, $failed failed"
[ "$failed" -eq 0 ]

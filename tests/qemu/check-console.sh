#!/usr/bin/env bash
# Reads the guest's console log: prints every check's line and fails unless the guest ran
# to its end with no failed check.
#   tests/qemu/check-console.sh LOG
set -euo pipefail
log=${1:?usage: check-console.sh LOG}
tr -d '\r' <"$log" | grep -E '^(CHECK|  \| |guest: )' || true
if ! tr -d '\r' <"$log" | grep -qx 'CHECK-SUMMARY failed=0'; then
    # Again at the end, where a shortened log still shows them: the failed checks' own lines.
    tr -d '\r' <"$log" | grep -E '^CHECK FAIL ' | sed 's/^/qemu stage: /' >&2 || true
    echo "qemu stage: the guest did not finish its checks, or some failed (console: $log)" >&2
    exit 1
fi
echo "qemu stage: $(tr -d '\r' <"$log" | grep -c '^CHECK ok ') checks passed in the guest"

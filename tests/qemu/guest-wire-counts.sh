#!/bin/sh
# shellcheck disable=SC2154 # out and err (guest-checks)
# Sourced by guest-checks: what each operation of tessalok puts on the wire, counted by the
# drive itself (every SCSI command that reaches it, per operation code) against the vendor
# commands the program traced. Through the disk's SCSI generic node nothing else may arrive:
# no TEST UNIT READY or PREVENT/ALLOW MEDIUM REMOVAL for an open or a close.
# Uses run, pass, fail and ctl from there.

# counted NAME EXPECTED COMMAND...: runs tessalok's COMMAND with --trace, the drive's counts
# reset before; passes when the drive received exactly the traced vendor commands and
# nothing else, EXPECTED of them (any number for "-"). Sets $vendor to their number.
counted() {
    operation=$1 expected=$2
    shift 2
    ctl counts reset >/dev/null
    run "wire-$operation-runs" 0 tessalok --trace "$@"
    counts=$(ctl counts)
    traced=$(grep -c '^trace ' "$err")
    vendor=$(echo "$counts" | sed -n 's/.*0xFC=\([0-9]*\).*/\1/p')
    echo "guest: on the wire for $operation: $counts ($traced vendor commands traced)"
    if [ "$counts" != "0xFC=$traced" ]; then
        fail "wire-$operation" "the drive received $counts, the program sent $traced vendor commands"
    elif [ "$expected" != - ] && [ "${vendor:-0}" -ne "$expected" ]; then
        fail "wire-$operation" "$vendor vendor commands, wanted $expected"
    else
        pass "wire-$operation"
    fi
}

# polls: the progress polls in the last trace.
polls() { grep -c '= progress poll' "$err"; }

wire_counts() {
    # The search on one USB disk: its identification, then the probe (two identity reads
    # and a status read of 4).
    counted scan 7 scan
    # The search, then a second probe.
    counted status 13 status
    # The search, then the model read (4).
    counted model 11 model
    # The search, a probe, the start (2), a poll cycle of 4 each, a probe after the result.
    ctl set-slot 0 alice >/dev/null
    counted install - install
    if [ "$vendor" = $((21 + 4 * $(polls))) ]; then
        pass wire-install-polls
    else
        fail wire-install-polls "$vendor vendor commands for $(polls) polls, wanted 21 + 4 each"
    fi
    # The search, the start (2), the polls, a probe after the result.
    counted erase - erase --yes
    if [ "$vendor" = $((15 + 4 * $(polls))) ]; then
        pass wire-erase-polls
    else
        fail wire-erase-polls "$vendor vendor commands for $(polls) polls, wanted 15 + 4 each"
    fi
}

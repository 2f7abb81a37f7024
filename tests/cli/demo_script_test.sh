#!/bin/bash
# tools/demo.sh --installed as a newcomer meets it: on a free port it starts the drive and
# shows its status (and a second run finds it running); on a port another program holds,
# or a port that is no port, it shows the drive's own message and how to choose another
# port, and ends with 1 instead of a bare "cannot connect".
# Usage: demo_script_test.sh REPOSITORY TESSALOK TESSALOK_VDRIVE
set -u

REPOSITORY=$1
WORK=$(mktemp -d)
FAILURES=0
PIDS=

# shellcheck disable=SC2317 # run by the trap
cleanup() {
    for pid in $PIDS; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    rm -rf "$WORK"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    FAILURES=$((FAILURES + 1))
}

# The demo finds the programs on PATH, and keeps its files below TMPDIR.
mkdir -p "$WORK/bin"
ln -s "$2" "$WORK/bin/tessalok"
ln -s "$3" "$WORK/bin/tessalok-vdrive"
export PATH="$WORK/bin:$PATH" TMPDIR=$WORK

demo() {
    "$REPOSITORY/tools/demo.sh" --installed --port "$1" >"$WORK/out" 2>"$WORK/err"
}

# A program that holds a port: it accepts every connection and closes it at once.
python3 -c '
import socket, sys
server = socket.socket()
server.bind(("127.0.0.1", 0))
server.listen(8)
print(server.getsockname()[1], flush=True)
while True:
    server.accept()[0].close()
' >"$WORK/taken" &
PIDS="$PIDS $!"
for _ in $(seq 50); do
    [ -s "$WORK/taken" ] && break
    sleep 0.1
done
taken=$(cat "$WORK/taken")

while IFS='|' read -r port says; do
    demo "$port"
    status=$?
    [ "$status" = 1 ] || fail "port $port: exit $status, not 1"
    for text in "$says" "choose another one" "tools/demo.sh --installed --port N" \
        "--vdrive 127.0.0.1:N"; do
        grep -qF -- "$text" "$WORK/err" || fail "port $port: stderr lacks '$text': $(cat "$WORK/err")"
    done
    grep -q "cannot connect" "$WORK/err" && fail "port $port: tessalok ran all the same"
done <<CASES
$taken|cannot listen on 127.0.0.1:$taken: Address already in use
48x|tessalok-vdrive:
CASES

# A free port: the drive starts, its status shows; a second run finds it running.
demo 0 || fail "free port: exit $?: $(cat "$WORK/err")"
port=$(sed -n 's/^The virtual drive listens on 127.0.0.1:\([0-9]*\)\.$/\1/p' "$WORK/out")
[ -n "$port" ] || fail "free port: no port named: $(cat "$WORK/out")"
grep -q "Currently installed:1, Could install more:9" "$WORK/out" || fail "status: $(cat "$WORK/out")"
if [ -n "$port" ]; then
    demo "$port" || fail "second run: exit $?: $(cat "$WORK/err")"
    grep -q "already running" "$WORK/out" || fail "second run: $(cat "$WORK/out")"
    tessalok-vdrive ctl --port "$port" shutdown >/dev/null || fail "shutdown"
fi

[ "$FAILURES" = 0 ] && echo "demo script: all checks passed"
exit "$FAILURES"

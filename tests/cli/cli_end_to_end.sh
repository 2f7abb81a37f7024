#!/bin/bash
# End-to-end tests of tessalok against a real tessalok-vdrive on an ephemeral port.
# Usage: cli_end_to_end.sh TESSALOK TESSALOK_VDRIVE
set -u

TESSALOK=$1
VDRIVE=$2
WORK=$(mktemp -d)
FAILURES=0
SERVER_PID=

cleanup() {
    for pid in ${EXTRA_PIDS:-}; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    if [ -n "$SERVER_PID" ]; then
        kill "$SERVER_PID" 2>/dev/null
        wait "$SERVER_PID" 2>/dev/null
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    FAILURES=$((FAILURES + 1))
}

# The drive E (a fingerprint drive) beside an ordinary stick at C and one that refuses the
# vendor command at D, so every search passes over two candidates first.
"$VDRIVE" --port 0 --port-file "$WORK/port" --stick C --refusing-stick D --drive E \
    --silence-ms 6000 2>"$WORK/server.log" &
SERVER_PID=$!
for _ in $(seq 50); do
    [ -s "$WORK/port" ] && break
    sleep 0.1
done
PORT=$(cat "$WORK/port" 2>/dev/null)
[ -n "$PORT" ] || { echo "tessalok-vdrive did not start" >&2; cat "$WORK/server.log" >&2; exit 1; }
TARGET="--vdrive 127.0.0.1:$PORT"

# start_server NAME ARGS...: another tessalok-vdrive on an ephemeral port; its port in
# $EXTRA_PORT (empty when it did not start), its process added to $EXTRA_PIDS.
EXTRA_PIDS=
start_server() {
    local name=$1
    shift
    "$VDRIVE" --port 0 --port-file "$WORK/$name.port" "$@" 2>"$WORK/$name.log" &
    EXTRA_PIDS="$EXTRA_PIDS $!"
    EXTRA_PORT=
    for _ in $(seq 50); do
        [ -s "$WORK/$name.port" ] && break
        sleep 0.1
    done
    EXTRA_PORT=$(cat "$WORK/$name.port" 2>/dev/null)
}

ctl() {
    "$VDRIVE" ctl --port "$PORT" "$@" >/dev/null || fail "control text '$*' refused"
}
slots() {
    "$VDRIVE" ctl --port "$PORT" slots
}

# run NAME EXPECTED_EXIT ARGS...: runs tessalok, keeping stdout and stderr in $OUT / $ERR.
run() {
    local name=$1 expected=$2
    shift 2
    "$TESSALOK" "$@" >"$WORK/out" 2>"$WORK/err" </dev/null
    local code=$?
    OUT=$(cat "$WORK/out")
    ERR=$(cat "$WORK/err")
    if [ "$code" != "$expected" ]; then
        fail "$name: exit code $code, expected $expected"
        printf '%s\n--- stderr:\n%s\n' "$OUT" "$ERR" | head -40 >&2
    fi
}
expect_in() {
    local name=$1 text=$2 haystack=$3
    case "$haystack" in
    *"$text"*) ;;
    *) fail "$name: '$text' not in: $(printf '%s' "$haystack" | head -c 600)" ;;
    esac
}
# wait_for_text FILE TEXT TENTHS: until TEXT is in FILE, at most TENTHS tenths of a second.
wait_for_text() {
    for _ in $(seq "$3"); do
        grep -q "$2" "$1" 2>/dev/null && return
        sleep 0.1
    done
}
# An install in the background ($INSTALL_PID) that has begun to wait for the new finger.
start_waiting_install() {
    "$TESSALOK" $TARGET install >"$WORK/out" 2>"$WORK/err" </dev/null &
    INSTALL_PID=$!
    wait_for_text "$WORK/out" "Please input NEW fingerprint" 100
}
fresh_drive() {
    ctl reset
    ctl clear-slots
}

# --- Usage -------------------------------------------------------------------------------
run "help" 0 --help
expect_in "help" "Exit codes" "$OUT"
run "version" 0 --version
expect_in "version" "tessalok 2.0.0.7" "$OUT"
run "bad option" 2 --bogus status
expect_in "bad option" "--bogus" "$ERR"
run "no command" 2
run "bad language" 2 --lang xx languages
run "two targets" 2 $TARGET --device /dev/sg0 status
run "languages" 0 languages
[ "$(printf '%s\n' "$OUT" | wc -l)" = 13 ] || fail "languages: not thirteen lines"
expect_in "languages" "12  อักษรไทย" "$OUT"

# An empty value is bad usage, never "not given" (an empty --vdrive once searched every
# disk of the system).
for option in --vdrive --device --drive --lang; do
    run "empty $option" 2 "$option" "" status
    expect_in "empty $option" "$option wants a value" "$ERR"
done
run "empty --device with --vdrive" 2 --device "" $TARGET status
expect_in "empty --device with --vdrive" "exclude each other" "$ERR"

# A FIFO or an endless device in place of the settings file is no settings file.
mkdir "$WORK/odd-settings"
mkfifo "$WORK/odd-settings/KV_Tessalok.ini"
(cd "$WORK/odd-settings" && timeout 20 "$TESSALOK" languages >"$WORK/out" 2>&1)
CODE=$?
[ "$CODE" = 0 ] || fail "settings file is a FIFO: exit code $CODE"
rm "$WORK/odd-settings/KV_Tessalok.ini"
ln -s /dev/zero "$WORK/odd-settings/KV_Tessalok.ini"
(ulimit -v 1000000 && cd "$WORK/odd-settings" && timeout 20 "$TESSALOK" languages >"$WORK/out" 2>&1)
CODE=$?
[ "$CODE" = 0 ] || fail "settings file is /dev/zero: exit code $CODE"

# --- Finding the drive -----------------------------------------------------------------
fresh_drive
ctl set-slot 0 alice
run "scan" 0 $TARGET scan
expect_in "scan" "Drive:    E:" "$OUT"
expect_in "scan" "Identity: JMTMESV1" "$OUT"
expect_in "scan" "Currently installed:1, Could install more:9" "$OUT"

run "scan --all" 0 $TARGET scan --all
expect_in "scan --all" 'vendor "UsbFlash"' "$OUT"
expect_in "scan --all" "D:  did not answer the identification" "$OUT"
expect_in "scan --all" "E:  fingerprint drive" "$OUT"

run "scan --json" 0 $TARGET scan --json --all
python3 - "$OUT" <<'PY' || fail "scan --json: $OUT"
import json, sys
o = json.loads(sys.argv[1])
assert o["drive"] == "E:" and o["identity"] == "JMTMESV1", o
assert o["installed"] == 1 and o["free"] == 9, o
assert [c["drive"] for c in o["candidates"]] == ["C:", "D:", "E:"], o
PY

run "--json before the command" 0 $TARGET --json status
python3 -c 'import json,sys; o=json.loads(sys.argv[1]); assert o["installed"]==1' "$OUT" \
    || fail "--json status: $OUT"

run "status --drive" 0 $TARGET --drive e status --json
python3 -c 'import json,sys; o=json.loads(sys.argv[1]); assert o["drive"]=="E:" and o["installed"]==1' "$OUT" \
    || fail "status --drive e --json: $OUT"
run "status on a stick" 3 $TARGET --drive C status
expect_in "status on a stick" "no fingerprint drive found" "$ERR"

run "status in German" 0 $TARGET --lang de status
expect_in "status in German" "Installierten Fingerabdruck:1, Fair-Installationen:9" "$OUT"

# Without --lang the window's rule: the settings file in the current directory wins.
mkdir "$WORK/settings"
printf '[Advance]\r\nLanguage=4\r\n' >"$WORK/settings/KV_Tessalok.ini"
(cd "$WORK/settings" && "$TESSALOK" $TARGET status >"$WORK/out" 2>&1)
expect_in "settings file language" " Peut être installé:9" "$(cat "$WORK/out")"

run "model" 0 $TARGET model
expect_in "model" "KV-FP2000 Rev 2.00.7" "$OUT"
run "model --json" 0 $TARGET model --json
python3 -c 'import json,sys; o=json.loads(sys.argv[1]); assert o["model"]=="KV-FP2000 Rev 2.00.7" and o["free"]==9' "$OUT" \
    || fail "model --json: $OUT"

run "trace" 0 $TARGET --trace status
expect_in "trace" "SECU read seed" "$ERR"
expect_in "trace" "frame 4a 4d 54 4d 45 53 20 43 00 01 6c" "$ERR"
expect_in "trace" "= status request" "$ERR"
expect_in "trace" '= slots "S0 F1 F2 F3 F4 F5 F6 F7 F8 F9 ": 1 installed, 9 free' "$ERR"
expect_in "trace" "Currently installed:1" "$OUT"

# Identity bytes 6 and 7 are never checked: ESC c would reset the terminal, 0xff is no
# UTF-8.
start_server odd --drive E --identity $'JMTMES\x1b\xff'
if [ -n "$EXTRA_PORT" ]; then
    run "odd identity" 0 --vdrive "127.0.0.1:$EXTRA_PORT" status
    expect_in "odd identity" 'Identity: JMTMES\x1b\xff' "$OUT"
    case "$OUT" in *$'\x1b'*) fail "odd identity: a raw ESC reached the output" ;; esac
    for words in "status --json" "scan --json" "scan --all --json" "model --json"; do
        run "odd identity $words" 0 --vdrive "127.0.0.1:$EXTRA_PORT" $words
        python3 -c 'import json,sys; o=json.loads(sys.argv[1]); assert o["identity"]=="JMTMES\ufffd\ufffd", o' "$OUT" \
            || fail "odd identity $words: $OUT"
    done
else
    fail "the server with an odd identity did not start: $(cat "$WORK/odd.log")"
fi

# IPv6, where the machine has a loopback for it.
start_server ipv6 --drive E --listen ::1
if [ -n "$EXTRA_PORT" ]; then
    run "IPv6 in brackets" 0 --vdrive "[::1]:$EXTRA_PORT" status
    expect_in "IPv6 in brackets" "Drive:    E:" "$OUT"
else
    echo "note: no IPv6 loopback, IPv6 not tried" >&2
fi
run "bare IPv6, nobody there" 3 --vdrive ::1 status
expect_in "bare IPv6, nobody there" "cannot connect to [::1]:48150" "$ERR"

# --- Install ---------------------------------------------------------------------------
fresh_drive
ctl finger bob 3
run "install, empty drive" 0 $TARGET install
expect_in "install, empty drive" " 0 - ★★Please input NEW fingerprint ★★ (0)" "$OUT"
expect_in "install, empty drive" "★★ installation successfully ★★" "$OUT"
expect_in "install, empty drive slots" "S0=bob" "$(slots)"

ctl finger bob
ctl finger carol 3
run "install, authorized" 0 $TARGET install
expect_in "install, authorized" "0-◆◆◆ Please input authorized fingerprint ◆◆◆(0)" "$OUT"
expect_in "install, authorized slots" "S1=carol" "$(slots)"

ctl refuse
run "install, refused" 1 $TARGET install
expect_in "install, refused" "### Authorized fingerprint input failure ###" "$OUT"

ctl reset
run "install, time-out" 1 $TARGET install
expect_in "install, time-out" "14-◆◆◆ Please input authorized fingerprint ◆◆◆(0)" "$OUT"
expect_in "install, time-out" " ### Installation time-out, please re-operate ###" "$OUT"

# Ctrl-C while the drive waits: reports that decide nothing keep the enrol phase going.
fresh_drive
ctl ignored 10000
start_waiting_install
kill -INT "$INSTALL_PID"
wait "$INSTALL_PID"
CODE=$?
[ "$CODE" = 130 ] || fail "Ctrl-C during install: exit code $CODE, expected 130"
expect_in "Ctrl-C during install" "interrupted" "$(cat "$WORK/err")"
case "$(cat "$WORK/out")" in
*"installation successfully"* | *"time-out"*) fail "Ctrl-C during install: a result was shown" ;;
esac

# A drive that stops answering while the install waits: the terminal says so once, with
# the reason, and Ctrl-C ends the wait at once (it used to wait up to 34 s).
fresh_drive
ctl ignored 10000
start_waiting_install
ctl silence-next 1000
wait_for_text "$WORK/err" "stopped answering" 300
expect_in "silenced drive" "the fingerprint drive stopped answering (no reply from E: within 4000 ms)" \
    "$(cat "$WORK/err")"
kill -INT "$INSTALL_PID"
for _ in $(seq 50); do
    kill -0 "$INSTALL_PID" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$INSTALL_PID" 2>/dev/null; then
    fail "Ctrl-C with a silenced drive: still waiting 5 s later"
    kill -KILL "$INSTALL_PID"
fi
wait "$INSTALL_PID"
CODE=$?
[ "$CODE" = 130 ] || fail "Ctrl-C with a silenced drive: exit code $CODE, expected 130"
[ "$(grep -c "stopped answering" "$WORK/err")" = 1 ] || fail "silenced drive: not said once: $(cat "$WORK/err")"
ctl reset

# Install and erase follow the window's buttons.
for slot in 0 1 2 3 4 5 6 7 8 9; do ctl set-slot "$slot" "finger$slot"; done
run "install on a full drive" 1 $TARGET install
expect_in "install on a full drive" "install refused: the drive is full" "$ERR"
fresh_drive
run "erase on an empty drive" 1 $TARGET erase --yes
expect_in "erase on an empty drive" "erase refused: no fingerprint is installed" "$ERR"

# --- Erase -----------------------------------------------------------------------------
fresh_drive
ctl set-slot 0 alice
ctl set-slot 1 bob
"$TESSALOK" $TARGET erase >"$WORK/out" 2>"$WORK/err" <<<"n"
CODE=$?
[ "$CODE" = 1 ] || fail "erase declined: exit code $CODE, expected 1"
expect_in "erase declined" "Delete Process: Please confirm, Try to delete all installed fingerprint !!! [y/N]" "$(cat "$WORK/err")"
expect_in "erase declined slots" "S0=alice S1=bob" "$(slots)"

ctl finger alice
"$TESSALOK" $TARGET erase >"$WORK/out" 2>"$WORK/err" <<<"y"
CODE=$?
[ "$CODE" = 0 ] || fail "erase confirmed: exit code $CODE, expected 0"
expect_in "erase confirmed" "★★ Erase all successfully, reinstall neede ★★" "$(cat "$WORK/out")"
expect_in "erase confirmed" "### There is no installation of any fingerprint ###" "$(cat "$WORK/out")"
expect_in "erase confirmed slots" "E: F0 F1" "$(slots)"

ctl set-slot 0 alice
ctl fail
run "erase, drive fails" 1 $TARGET erase --yes
expect_in "erase, drive fails" "### Remove fingerprint fails, re-operate ###" "$OUT"

# --- A drive that is gone or stops answering --------------------------------------------
fresh_drive
ctl unplug
run "unplugged" 3 $TARGET status
expect_in "unplugged" "no fingerprint drive found" "$ERR"
ctl plug

ctl silence-next 1
run "silent drive" 3 $TARGET --drive E status
expect_in "silent drive" "no fingerprint drive found" "$ERR"

kill "$SERVER_PID" 2>/dev/null
wait "$SERVER_PID" 2>/dev/null
SERVER_PID=
run "unreachable virtual drive" 3 $TARGET status
expect_in "unreachable virtual drive" "cannot connect to 127.0.0.1:$PORT" "$ERR"

if [ "$FAILURES" -ne 0 ]; then
    echo "$FAILURES failure(s)" >&2
    exit 1
fi
echo "all command-line end-to-end checks passed"

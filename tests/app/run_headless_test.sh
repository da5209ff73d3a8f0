#!/bin/sh
# tools/run-app.sh on a machine without a display: Wirelark is served through VNC, the VNC
# port listens on 127.0.0.1 only and greets a viewer, and Ctrl+C ends the program cleanly.
#   run_headless_test.sh <source folder> <build folder>
set -eu
SOURCE=$1
BUILD=$2
WORK=$(mktemp -d)
PID=
cleanup() {
    [ -n "$PID" ] && kill -9 "$PID" 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT
fail() {
    echo "run_headless_test: $*" >&2
    cat "$WORK/log" >&2 || true
    exit 1
}

# Sanitizer builds: a preloaded library must come after the AddressSanitizer runtime, and
# Qt's VNC plugin does not free its screen at exit (the program's own leaks are checked by the
# shutdown tests, off screen).
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0:detect_leaks=0"
# Below the system's range of ephemeral ports (32768 and up by default), where the other
# tests' connections take their local ports: one of them taking the VNC port between the
# script's check and Qt's bind would fail the run.
PORT=$((20000 + $$ % 10000))
env -u DISPLAY -u WAYLAND_DISPLAY WIRELARK_VNC_PORT=$PORT WIRELARK_VNC_SIZE=800x700 \
    "$SOURCE/tools/run-app.sh" "$BUILD" >"$WORK/log" 2>&1 &
PID=$!

# The port the script chose (the first free one from $PORT), once it listens.
HEX=
for _ in $(seq 200); do
    CHOSEN=$(sed -n 's/.*VNC on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$WORK/log" | head -n 1)
    if [ -n "$CHOSEN" ]; then
        HEX=$(printf '%04X' "$CHOSEN")
        grep -q ":$HEX .* 0A " /proc/net/tcp /proc/net/tcp6 && break
    fi
    kill -0 "$PID" 2>/dev/null || fail "the program ended early"
    sleep 0.1
done
[ -n "$HEX" ] && grep -q ":$HEX .* 0A " /proc/net/tcp /proc/net/tcp6 || fail "nothing listens"

# Every listening socket on that port is bound to 127.0.0.1 (plain or IPv4-mapped).
LISTENERS=$(awk -v port=":$HEX" '$4 == "0A" && substr($2, length($2) - 4) == port { print $2 }' \
    /proc/net/tcp /proc/net/tcp6)
for address in $LISTENERS; do
    case "$address" in
        0100007F:*|0000000000000000FFFF00000100007F:*) ;;
        *) fail "the VNC port listens on $address, not only on 127.0.0.1" ;;
    esac
done

GREETING=$(timeout 5 nc 127.0.0.1 "$CHOSEN" </dev/null | head -c 3 || true)
[ "$GREETING" = RFB ] || fail "no VNC greeting on 127.0.0.1:$CHOSEN"

kill -INT "$PID"
STATUS=0
wait "$PID" || STATUS=$?
PID=
[ "$STATUS" = 0 ] || fail "Ctrl+C ended the program with status $STATUS"
grep -q Sanitizer "$WORK/log" && fail "sanitizer report"
echo "run_headless_test: served on 127.0.0.1:$CHOSEN only, ended by Ctrl+C"

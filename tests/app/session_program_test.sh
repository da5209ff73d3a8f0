#!/bin/sh
# Sessions in the real program. Run without a display (--headless): a TCP server with echo
# answers a real peer, its logs are written into the log folder as they grow (hex where the
# session says so), and SIGTERM ends the run with status 0 and a summary line per entry; a
# port in use ends the run with status 1 and the reason; --headless without --session is a
# usage mistake (2). With the window (off screen): restoring at start opens the set-up kept at
# the last exit, and --session opens its file.
#   session_program_test.sh <build folder>
set -eu
TEST_NAME=session_program_test
. "$(dirname "$0")/program_test_lib.sh"

# Waits until something listens on TCP port $1 of this machine (hex $2), while $PID runs.
wait_listening() {
    for _ in $(seq 300); do
        grep -q ":$2 .* 0A " /proc/net/tcp /proc/net/tcp6 && return 0
        kill -0 "$PID" 2>/dev/null || fail "the program ended early"
        sleep 0.1
    done
    fail "nothing listens on port $1"
}
# Ends $PID with SIGTERM; its status must be 0.
end_program() {
    kill -TERM "$PID"
    STATUS=0
    wait "$PID" || STATUS=$?
    PID=
    [ "$STATUS" = 0 ] || fail "the program ended with status $STATUS"
}

# Runs the program without any display, QT_QPA_PLATFORM unset too.
bare() {
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 60 "$APP" "$@"
}

STATUS=0
bare --headless >"$WORK/out" 2>"$WORK/err" || STATUS=$?
[ "$STATUS" = 2 ] || fail "--headless without --session ended with status $STATUS"
grep -q -- "--session" "$WORK/err" || fail "--headless without --session printed no reason"

# A TCP port of 127.0.0.1 that nothing listens on now.
PORT=$((20000 + $$ % 10000))  # below the ephemeral ports other tests are given
while nc -z 127.0.0.1 "$PORT" 2>/dev/null; do PORT=$((PORT + 1)); done
HEX=$(printf '%04X' "$PORT")
cat >"$WORK/echo.wirelark" <<JSON
{
  "format": "wirelark-session",
  "version": 1,
  "encoding": "UTF-8",
  "later": "a key of a later version, ignored",
  "pages": {
    "tcp-server": {"port": $PORT, "listening": true, "echo": true,
                   "hex": {"received": true, "sent": false}}
  }
}
JSON

# Started directly, so that the signal below reaches the program itself.
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$APP" --headless \
    --session "$WORK/echo.wirelark" --log-dir "$WORK/logs" --settings "$WORK/s.ini" --duration 60 \
    >"$WORK/out" 2>"$WORK/err" &
PID=$!
wait_listening "$PORT" "$HEX"
ANSWER=$( (printf 'ping\n'; sleep 1) | timeout 10 socat - "TCP:127.0.0.1:$PORT") ||
    fail "no connection to 127.0.0.1:$PORT"
[ "$ANSWER" = ping ] || fail "echo answered '$ANSWER'"
# The logs are written as they grow, before the run ends.
RECEIVED=
for _ in $(seq 50); do
    RECEIVED=$(ls "$WORK/logs"/tcp-server_127.0.0.1_*.received.log 2>/dev/null | head -n 1)
    [ -n "$RECEIVED" ] && grep -q "70 69 6E 67 0A" "$RECEIVED" && break
    sleep 0.1
done
grep -Eq '^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8}  70 69 6E 67 0A' "$RECEIVED" ||
    fail "the received log in hex is not there: $(cat "$RECEIVED" 2>/dev/null)"
SENT=${RECEIVED%.received.log}.sent.log
grep -Eq '^[0-9-]{10} [0-9:]{8}  ping$' "$SENT" || fail "the sent log reads: $(cat "$SENT")"
end_program
grep -q "^tcp-server 127.0.0.1:[0-9]*：接收 5 字节 1 条，发送 5 字节 1 条$" "$WORK/out" ||
    fail "no summary line: $(cat "$WORK/out")"

# The same session while another program holds the port: status 1 and why.
socat "TCP-LISTEN:$PORT,bind=127.0.0.1,reuseaddr" - >/dev/null 2>&1 </dev/null &
HOLDER=$!
for _ in $(seq 300); do
    grep -q ":$HEX .* 0A " /proc/net/tcp /proc/net/tcp6 && break
    sleep 0.1
done
STATUS=0
bare --headless --session "$WORK/echo.wirelark" --settings "$WORK/s.ini" \
    >"$WORK/out" 2>"$WORK/err" || STATUS=$?
# Gone before the next program starts: its listening socket would pass for that program's.
kill "$HOLDER" 2>/dev/null || true
wait "$HOLDER" 2>/dev/null || true
[ "$STATUS" = 1 ] || fail "a port in use ended with status $STATUS"
grep -q "未能启动：tcp-server 端口 $PORT：监听启动失败" "$WORK/err" || fail "no reason given"

# Restoring at start: the server started from the command line is kept at exit and listens
# again at the next start without it; then --session opens the echo session.
printf '[session]\nrestoreAtStart=true\n' >"$WORK/r.ini"
QT_QPA_PLATFORM=offscreen "$APP" --settings "$WORK/r.ini" --tcp-server "$PORT" \
    >"$WORK/out" 2>"$WORK/err" &
PID=$!
wait_listening "$PORT" "$HEX"
end_program
grep -q "\"port\": $PORT\$" "$WORK/r.session.wirelark" || fail "the set-up at exit was not kept"
QT_QPA_PLATFORM=offscreen "$APP" --settings "$WORK/r.ini" >"$WORK/out" 2>"$WORK/err" &
PID=$!
wait_listening "$PORT" "$HEX"
end_program
QT_QPA_PLATFORM=offscreen "$APP" --settings "$WORK/s.ini" --session "$WORK/echo.wirelark" \
    >"$WORK/out" 2>"$WORK/err" &
PID=$!
wait_listening "$PORT" "$HEX"
end_program
echo "session_program_test: echo answered, logs written, summary printed; a port in use: 1;" \
    "restored at start; --session opened"

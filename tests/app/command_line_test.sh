#!/bin/sh
# The program's command line: --help, --version and mistakes are answered on the terminal
# without a display (no DISPLAY, no QT_QPA_PLATFORM) and open no window; --tcp-server starts
# the TCP server page's server on a free port of the test's choice, with a window geometry
# larger than the screen, and the program still ends cleanly on a termination signal.
#   command_line_test.sh <build folder>
set -eu
TEST_NAME=command_line_test
. "$(dirname "$0")/program_test_lib.sh"

# Runs the program without any display; sets STATUS, output in $WORK/out and $WORK/err.
run_bare() {
    STATUS=0
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 20 "$APP" "$@" \
        >"$WORK/out" 2>"$WORK/err" || STATUS=$?
}

for option in --help -h; do
    run_bare "$option"
    [ "$STATUS" = 0 ] || fail "$option ended with status $STATUS: $(cat "$WORK/err")"
    for listed in --settings --tcp-server --udp-server --page --version; do
        grep -q -- "$listed" "$WORK/out" || fail "$option does not list $listed"
    done
done
for option in --version -v; do
    run_bare "$option"
    [ "$STATUS" = 0 ] || fail "$option ended with status $STATUS: $(cat "$WORK/err")"
    [ "$(cat "$WORK/out")" = "Wirelark 1.0" ] || fail "$option printed: $(cat "$WORK/out")"
done
# A settings file that is a named pipe (or a folder) would hold the program before any window;
# a platform that is not installed would abort it.
mkfifo "$WORK/pipe"
for mistake in --no-such-option "--tcp-server 0" "--udp-server 65536" "--tcp-server" "--page 5" \
    extra "--settings $WORK/pipe" "--settings $WORK" "-platform nosuchplatform"; do
    # shellcheck disable=SC2086
    run_bare $mistake
    [ "$STATUS" = 2 ] || fail "'$mistake' ended with status $STATUS: $(cat "$WORK/err")"
    [ ! -s "$WORK/out" ] || fail "'$mistake' wrote to standard output"
    grep -q -- "--tcp-server" "$WORK/err" || fail "'$mistake' printed no usage"
done

# The language: --lang en answers in English (nothing but ASCII), also when the settings file
# named keeps English; without a choice the usage is Chinese; an unknown language is a mistake.
non_ascii() { LC_ALL=C tr -d '\011\012\040-\176' <"$1" | wc -c; }
run_bare --lang en --help
[ "$STATUS" = 0 ] && grep -q -- "--lang" "$WORK/out" || fail "--lang en --help: $(cat "$WORK/err")"
[ "$(non_ascii "$WORK/out")" = 0 ] || fail "--lang en --help is not all English: $(cat "$WORK/out")"
printf '[ui]\nlanguage=en\n' >"$WORK/english.ini"
run_bare --settings "$WORK/english.ini" --page 9
[ "$STATUS" = 2 ] && [ "$(non_ascii "$WORK/err")" = 0 ] ||
    fail "a mistake with English kept is not told in English: $(cat "$WORK/err")"
run_bare --settings "$WORK/none.ini" --help
[ "$(non_ascii "$WORK/out")" != 0 ] || fail "the usage is not Chinese without a choice"
run_bare --lang fr
[ "$STATUS" = 2 ] && grep -q -- "--tcp-server" "$WORK/err" || fail "--lang fr ended with status $STATUS"

# A TCP port of 127.0.0.1 that nothing listens on now.
PORT=$((20000 + $$ % 10000))  # below the ephemeral ports other tests are given
while nc -z 127.0.0.1 "$PORT" 2>/dev/null; do PORT=$((PORT + 1)); done
HEX=$(printf '%04X' "$PORT")
# A window geometry far larger than the screen is kept on the screen.
QT_QPA_PLATFORM=offscreen "$APP" --tcp-server "$PORT" --page 2 --settings "$WORK/settings.ini" \
    -qwindowgeometry 99999x99999+0+0 >"$WORK/log" 2>&1 &
PID=$!
LISTENING=
for _ in $(seq 300); do
    if grep -q ":$HEX .* 0A " /proc/net/tcp /proc/net/tcp6; then
        LISTENING=yes
        break
    fi
    kill -0 "$PID" 2>/dev/null || fail "the program ended early: $(cat "$WORK/log")"
    sleep 0.1
done
[ -n "$LISTENING" ] || fail "nothing listens on port $PORT: $(cat "$WORK/log")"
nc -z 127.0.0.1 "$PORT" || fail "no connection to 127.0.0.1:$PORT"
kill -TERM "$PID"
STATUS=0
wait "$PID" || STATUS=$?
PID=
[ "$STATUS" = 0 ] || fail "the program ended with status $STATUS: $(cat "$WORK/log")"
echo "command_line_test: help, version and mistakes answered without a display;" \
    "--tcp-server $PORT listened"

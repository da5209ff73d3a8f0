# What the shell tests of the real program share: the program under test ($APP, from the build
# folder given as $1), a scratch folder ($WORK) removed at exit with any program still running
# ($PID), and fail(), which names the test ($TEST_NAME) and shows the program's error output.
# Sourced by each test after `set -eu`.
APP=$(cd "$1" && pwd)/wirelark
WORK=$(mktemp -d)
PID=
cleanup() {
    [ -n "$PID" ] && kill -9 "$PID" 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT
fail() {
    echo "$TEST_NAME: $*" >&2
    cat "$WORK/err" >&2 2>/dev/null || true
    exit 1
}

#!/bin/sh
# Starts Wirelark from a build folder. With a display (X11 or Wayland) the window opens there;
# without one it is served through Qt's VNC platform on 127.0.0.1 only, and this says how to
# connect a viewer. Ctrl+C ends it.
#   tools/run-app.sh [build folder]
set -eu
BUILD=${1:-build}
APP=$BUILD/wirelark
if [ ! -x "$APP" ]; then
    echo "run-app: $APP is missing; build first (make build)" >&2
    exit 1
fi
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$APP"
fi

SHIM=$BUILD/libwirelark_vnc_loopback.so
if [ ! -f "$SHIM" ]; then
    echo "run-app: $SHIM is missing; build first (make build)" >&2
    exit 1
fi
PORT=${WIRELARK_VNC_PORT:-5900}
while nc -z 127.0.0.1 "$PORT" 2>/dev/null; do
    PORT=$((PORT + 1))
    if [ "$PORT" -gt 5999 ]; then
        echo "run-app: no free VNC port between 5900 and 5999" >&2
        exit 1
    fi
done
SIZE=${WIRELARK_VNC_SIZE:-1024x768}
cat <<END
run-app: no display here (neither DISPLAY nor WAYLAND_DISPLAY is set), so Wirelark is served
through VNC on 127.0.0.1:$PORT, for this machine only and without a password.
  On this machine:       vncviewer 127.0.0.1:$PORT
  From another machine:  ssh -L $PORT:127.0.0.1:$PORT <this machine>, then vncviewer 127.0.0.1:$PORT
Ctrl+C ends Wirelark.
END
export WIRELARK_VNC_PORT=$PORT
export LD_PRELOAD="$SHIM${LD_PRELOAD:+:$LD_PRELOAD}"
export QT_QPA_PLATFORM="vnc:size=$SIZE:port=$PORT"
exec "$APP"

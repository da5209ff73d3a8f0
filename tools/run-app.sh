#!/bin/sh
# Starts the program from a build folder, or says plainly why it cannot.
BUILD=${1:-build}
if [ -x "$BUILD/wirelark" ]; then
    exec "$BUILD/wirelark"
fi
echo "Wirelark is built, but the main window does not exist yet: the program is not runnable yet." >&2
exit 0

#!/bin/sh
# Runs every benchmark program of a release build, one after another (never two at once,
# so that they do not disturb each other's figures). Each prints its own comparison.
BUILD=${1:-build-bench}
status=0
found=0
for exe in $(find "$BUILD/bench" -type f -name 'bench_*' -perm -u+x | sort); do
    found=1
    echo "=== $(basename "$exe")"
    QT_QPA_PLATFORM=offscreen "$exe" || status=1
done
[ "$found" = 1 ] || echo "no benchmarks built yet"
exit $status

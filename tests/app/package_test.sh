#!/bin/sh
# Builds the Debian package from a build folder and checks what it holds: the program, the
# desktop entry and AppStream metadata (both valid), the icon in every hicolor size, and
# dependencies derived from the linked libraries.
#   package_test.sh <build folder>
set -eu
BUILD=$(cd "$1" && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
ID=io.github.wirelark.Wirelark

fail() {
    echo "package_test: $*" >&2
    exit 1
}

(cd "$BUILD" && cpack -G DEB -B "$WORK" --config CPackConfig.cmake >"$WORK/cpack.log" 2>&1) ||
    { cat "$WORK/cpack.log" >&2; fail "cpack failed"; }
set -- "$WORK"/wirelark_*_*.deb
[ -f "$1" ] || fail "no .deb was made"
DEB=$1

[ "$(dpkg-deb -f "$DEB" Package)" = wirelark ] || fail "wrong package name"
DEPENDS=$(dpkg-deb -f "$DEB" Depends)
for library in libqt6widgets6 libqt6gui6 libqt6core6 libc6 libstdc++6; do
    echo "$DEPENDS" | grep -q "$library" || fail "Depends lacks $library: $DEPENDS"
done

dpkg-deb -x "$DEB" "$WORK/root"
ROOT=$WORK/root/usr
[ -x "$ROOT/bin/wirelark" ] || fail "no usr/bin/wirelark"
desktop-file-validate "$ROOT/share/applications/$ID.desktop" || fail "desktop entry invalid"
appstreamcli validate --no-net "$ROOT/share/metainfo/$ID.metainfo.xml" ||
    fail "AppStream metadata invalid"
for size in 16 24 32 48 64 128 256; do
    icon=$ROOT/share/icons/hicolor/${size}x${size}/apps/$ID.png
    [ -f "$icon" ] || fail "no ${size}x${size} icon"
    # PNG header: the width is the big-endian word at byte 16.
    width=$(od -An -tu1 -j16 -N4 "$icon" | awk '{print $1*16777216 + $2*65536 + $3*256 + $4}')
    [ "$width" = "$size" ] || fail "the ${size}x${size} icon is $width wide"
done
echo "package_test: $(basename "$DEB") holds the program, its desktop entry, metadata and icons"

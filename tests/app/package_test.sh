#!/bin/sh
# Builds the Debian package from a build folder and checks what it holds: the program, the
# desktop entry and AppStream metadata (both valid), the icon in every hicolor size, the
# manual page (rendered without a warning), dependencies derived from the linked libraries
# and from what the program loads, and that lintian finds no error and no warning.
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
for library in libqt6widgets6 libqt6gui6 libqt6core6 libc6 libstdc++6 qt6-translations-l10n \
    fonts-wqy-microhei fonts-liberation; do
    echo "$DEPENDS" | grep -q "$library" || fail "Depends lacks $library: $DEPENDS"
done

dpkg-deb -x "$DEB" "$WORK/root"
ROOT=$WORK/root/usr
[ -x "$ROOT/bin/wirelark" ] || fail "no usr/bin/wirelark"
desktop-file-validate "$ROOT/share/applications/$ID.desktop" || fail "desktop entry invalid"
appstreamcli validate --pedantic --no-net "$ROOT/share/metainfo/$ID.metainfo.xml" ||
    fail "AppStream metadata invalid"
grep -q '<project_license>GPL-3.0-or-later</project_license>' \
    "$ROOT/share/metainfo/$ID.metainfo.xml" || fail "AppStream metadata lacks the licence"
[ "$(grep -c '<screenshot' "$ROOT/share/metainfo/$ID.metainfo.xml")" = 5 ] ||
    fail "AppStream metadata does not list the four screenshots"
[ -f "$ROOT/share/doc/wirelark/copyright" ] || fail "no copyright file"
zcat "$ROOT/share/doc/wirelark/changelog.gz" | head -n 1 | grep -q "^wirelark (" ||
    fail "no Debian changelog"

MAN=$ROOT/share/man/man1/wirelark.1.gz
[ -f "$MAN" ] || fail "no manual page"
zcat "$MAN" | groff -ww -man -z 2>"$WORK/groff.log" && [ ! -s "$WORK/groff.log" ] ||
    { cat "$WORK/groff.log" >&2; fail "groff warns about the manual page"; }
LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$MAN" >"$WORK/man.txt" 2>"$WORK/man.log" &&
    [ ! -s "$WORK/man.log" ] || { cat "$WORK/man.log" >&2; fail "man warns about the manual page"; }
for section in NAME SYNOPSIS OPTIONS KEYS FILES ENVIRONMENT "EXIT STATUS"; do
    grep -q "^$section" "$WORK/man.txt" || fail "the manual page has no $section"
done
for size in 16 24 32 48 64 128 256; do
    icon=$ROOT/share/icons/hicolor/${size}x${size}/apps/$ID.png
    [ -f "$icon" ] || fail "no ${size}x${size} icon"
    # PNG header: the width is the big-endian word at byte 16.
    width=$(od -An -tu1 -j16 -N4 "$icon" | awk '{print $1*16777216 + $2*65536 + $3*256 + $4}')
    [ "$width" = "$size" ] || fail "the ${size}x${size} icon is $width wide"
done
if command -v lintian >/dev/null 2>&1; then
    # lintian complains on stderr when run as root; its findings go to stdout.
    lintian --fail-on error,warning "$DEB" >"$WORK/lintian.log" 2>/dev/null ||
        { cat "$WORK/lintian.log" >&2; fail "lintian reports errors or warnings"; }
    grep -E '^[EW]: ' "$WORK/lintian.log" >&2 && fail "lintian reports errors or warnings"
    LINTIAN="lintian-clean"
else
    echo "package_test: lintian is not installed; the package's lintian check is skipped"
    LINTIAN="not checked by lintian"
fi
echo "package_test: $(basename "$DEB") holds the program, its desktop entry, metadata, icons," \
    "manual page and Debian documents; $LINTIAN"

#!/bin/sh
# Every text the program shows has its English translation: the texts are gathered from the
# sources again (as tools/update-translations.sh does) into a copy of i18n/wirelark_en.ts,
# and lrelease, compiling the copy, must find none unfinished or untranslated.
#   translations_test.sh <source folder>
set -eu
SRC=$(cd "$1" && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
fail() {
    echo "translations_test: $*" >&2
    exit 1
}
sh "$SRC/tools/update-translations.sh" "$WORK/wirelark_en.ts" 2>"$WORK/lupdate.err" ||
    fail "lupdate failed: $(cat "$WORK/lupdate.err")"
lrelease=$(command -v lrelease6 || true)
[ -n "$lrelease" ] || lrelease=/usr/lib/qt6/bin/lrelease
"$lrelease" "$WORK/wirelark_en.ts" -qm "$WORK/wirelark_en.qm" >"$WORK/report" 2>&1 ||
    fail "lrelease failed: $(cat "$WORK/report")"
cat "$WORK/report"
grep -q "Generated [0-9]* translation(s) ([0-9]* finished and 0 unfinished)" "$WORK/report" ||
    fail "texts without a finished English translation (run tools/update-translations.sh and translate them in i18n/wirelark_en.ts)"
! grep -q "untranslated" "$WORK/report" || fail "texts without an English translation"

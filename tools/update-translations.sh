#!/bin/sh
# Gathers the program's shown texts (tr, QCoreApplication::translate, QT_TRANSLATE_NOOP, and the
# engine's UiText and UI_TEXT_NOOP) into a translation file, keeping the translations it has.
#   tools/update-translations.sh               updates i18n/wirelark_en.ts in place
#   tools/update-translations.sh OUT.ts        writes a copy updated from i18n/wirelark_en.ts
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
ts="$root/i18n/wirelark_en.ts"
out=${1:-$ts}
[ "$out" = "$ts" ] || cp "$ts" "$out"
lupdate=$(command -v lupdate6 || true)
[ -n "$lupdate" ] || lupdate=/usr/lib/qt6/bin/lupdate
cd "$root"
"$lupdate" -silent -no-obsolete -locations none -source-language zh_CN -target-language en \
    -tr-function-alias translate+=UiText,QT_TRANSLATE_NOOP+=UI_TEXT_NOOP \
    -extensions cpp,h app pages skin platform net text -ts "$out"

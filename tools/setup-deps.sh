#!/bin/sh
# Installs what Wirelark needs to build, test and run, and nothing when all is present.
# Asks dpkg first so that a machine that already has everything pays well under a second.
set -e
PACKAGES="build-essential cmake ninja-build pkg-config qt6-base-dev libgl1-mesa-dev libgtest-dev
fonts-wqy-microhei fonts-liberation socat netcat-openbsd qt6-qpa-plugins dpkg-dev
desktop-file-utils appstream lintian groff-base man-db qt6-translations-l10n iproute2 ccache
libpcre2-dev libssl-dev openssl qt6-l10n-tools qt6-tools-dev"

if ! command -v dpkg-query >/dev/null 2>&1; then
    echo "setup: dpkg not found; install these packages by hand: $PACKAGES" >&2
    exit 0
fi

missing=""
for p in $PACKAGES; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    case "$status" in
        *"install ok installed"*) ;;
        *) missing="$missing $p" ;;
    esac
done
[ -z "$missing" ] && exit 0

echo "setup: installing:$missing"
if [ "$(id -u)" = 0 ]; then
    SUDO=""
elif command -v sudo >/dev/null 2>&1; then
    SUDO="sudo"
else
    echo "setup: these packages are missing and I am neither root nor able to use sudo:$missing" >&2
    echo "setup: ask an administrator to run: apt-get install$missing" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# shellcheck disable=SC2086
$SUDO apt-get install -y -qq --no-install-recommends $missing

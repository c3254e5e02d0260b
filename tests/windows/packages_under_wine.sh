#!/usr/bin/env bash
# The Windows packages as a user meets them, under Wine against the Linux simulator: the zip
# unpacked, its kurvanctl.exe run as a script runs it and as the web remote answered over HTTP
# (kurvanctl_under_wine.sh, serve_under_wine.sh), its client driven with Wine's X11 driver on a
# private X server (login_under_wine.sh), and the installer run, used and taken away again
# (installer_under_wine.sh).
# Usage: packages_under_wine.sh <zip> <setup.exe>, from the top of the checkout.
set -euo pipefail
zip=$(realpath "$1") setup=$(realpath "$2")
eval "$(cmake -P cmake/KurvanCache.cmake)"

# A prefix of its own, apart from the test suite's (which has no display driver).
export WINEPREFIX="$KURVAN_CACHE/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/.kurvan-ready" ]; then
    /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1
    /usr/lib/wine/wineserver64 -w
    touch "$WINEPREFIX/.kurvan-ready"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && cmake -E tar xf "$zip")
folder=("$work"/*/)
[ ${#folder[@]} -eq 1 ] || { echo "packages_under_wine: the zip holds more than one folder" >&2; exit 1; }

# The end-to-end check talks to the Linux simulator, whose protocol log it reads.
cmake -S . -B build-windows/host-sim -G Ninja -DCMAKE_BUILD_TYPE=Release -DKURVAN_TESTS=OFF >/dev/null
cmake --build build-windows/host-sim --target tonalis-sim >/dev/null
sim="$PWD/build-windows/host-sim/bin/tonalis-sim"
sh tests/windows/kurvanctl_under_wine.sh "${folder[0]%/}" "$sim"
sh tests/windows/serve_under_wine.sh "${folder[0]%/}" "$sim"
xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
    set -e
    sh tests/windows/login_under_wine.sh "$1" "$2"
    sh tests/windows/installer_under_wine.sh "$3"
' sh "${folder[0]%/}" "$sim" "$setup"

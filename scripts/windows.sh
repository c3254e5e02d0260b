#!/usr/bin/env bash
# The Windows build, made on Linux: the Qt for MinGW (scripts/qt-mingw.sh) and the MinGW libraries
# with Qt's OpenSSL backend (scripts/mingw-libs.sh) if they are missing, the cross build, and in
# dist/ the zip to unpack and run and the installer, both made by cpack from the install rules
# (packaging/windows).
#   scripts/windows.sh          the zip and the installer
#   scripts/windows.sh --test   the same, then the test suite, kurvanctl and its web remote from
#                               the zip, the end-to-end login and the installer round trip, all
#                               under Wine
#   scripts/windows.sh --qt     only the Qt for MinGW and the libraries (the long part of a first run)
# KURVAN_QT_WINDOWS=/path uses an existing Qt-for-MinGW prefix instead of building one.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=package
case "${1:-}" in
    "") ;;
    --test) mode=test ;;
    --qt) mode=qt ;;
    *) echo "usage: $0 [--test|--qt]" >&2; exit 2 ;;
esac
jobs="${KURVAN_JOBS:-$(nproc)}"
started=$SECONDS
stage() { echo "== $* ($((SECONDS - started)) s) =="; }

stage "packages"
# Cross compiler and host tools (moc, rcc, uic); Windows run time, installer; Wine's windows,
# driven; the Linux simulator the checks talk to (its build configures the web remote too, with
# Linux's libcrypto and libqrencode); certificates and requests for the web remote's checks.
bash scripts/install-deps.sh g++-mingw-w64-x86-64-posix cmake ninja-build qt6-base-dev wine64 nsis \
    xvfb xauth xdotool libssl-dev libqrencode-dev pkg-config openssl curl
if [ -z "${KURVAN_QT_WINDOWS:-}" ]; then
    bash scripts/qt-mingw.sh
elif [ ! -f "$KURVAN_QT_WINDOWS/lib/cmake/Qt6/Qt6Config.cmake" ]; then
    echo "KURVAN_QT_WINDOWS: no Qt for MinGW at $KURVAN_QT_WINDOWS" >&2
    exit 1
fi
bash scripts/mingw-libs.sh
[ "$mode" = qt ] && exit 0

stage "cross build"
cmake --preset windows >/dev/null
cmake --build --preset windows --parallel "$jobs"

stage "package"
version=$(sed -n 's/^project(KurvanClient VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
zip="dist/kurvan-client-$version-win64.zip"
setup="dist/kurvan-client-$version-setup.exe"
rm -rf build-windows/packages "$zip" "$setup" && mkdir -p dist
cpack --config build-windows/CPackConfig.cmake -B build-windows/packages >/dev/null
cp "build-windows/packages/$(basename "$zip")" "build-windows/packages/$(basename "$setup")" dist/
ls -l "$zip" "$setup"
[ "$mode" = package ] && exit 0

# The suite headless in a Wine prefix of its own (cmake/wine-run.sh), then the zip and the
# installer as a user meets them.
stage "test suite under Wine"
ctest --preset windows

stage "end to end and installer under Wine"
bash tests/windows/packages_under_wine.sh "$zip" "$setup"
stage "all Windows checks passed"

#!/usr/bin/env bash
# Qt for MinGW-w64, built once from Debian's own Qt sources (the same 6.4.2 as the Linux build)
# into the cache that cmake/KurvanCache.cmake names: qtbase with only what the programs use (the
# web remote speaks HTTP itself, so no further module is needed). scripts/windows.sh runs this;
# by hand:
#   scripts/qt-mingw.sh
# The finished prefix carries a stamp and is not built again; a prefix without it is an
# interrupted build and starts over.
set -euo pipefail
cd "$(dirname "$0")/.."
# The cross compiler; the Linux Qt gives the host tools (moc, rcc, uic); dpkg-dev unpacks sources.
bash scripts/install-deps.sh g++-mingw-w64-x86-64-posix cmake ninja-build qt6-base-dev dpkg-dev
eval "$(cmake -P cmake/KurvanCache.cmake)"
cache=$KURVAN_CACHE
qt=$KURVAN_QT_WINDOWS
jobs="${KURVAN_JOBS:-$(nproc)}"
started=$SECONDS
stage() { echo "== $* ($((SECONDS - started)) s) =="; }

. scripts/debian-source.sh

# Builds and installs $cache/$1-src with the further configure arguments, then stamps it.
build() {
    local part=$1 stamp=$2
    shift 2
    stage "$part: build"
    rm -rf "$cache/$part-build"
    cmake -G Ninja -S "$cache/$part-src" -B "$cache/$part-build" -DCMAKE_BUILD_TYPE=Release \
        -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF "$@" >"$cache/$part-configure.log"
    nice -n 10 cmake --build "$cache/$part-build" --parallel "$jobs"
    cmake --install "$cache/$part-build" >/dev/null
    touch "$qt/$stamp"
    rm -rf "$cache/$part-build"
}

# The Qt prefix keeps using the toolchain it was built with (its qt.toolchain.cmake loads it), so
# a copy lives beside it in the cache, independent of any checkout.
mkdir -p "$cache"
cp cmake/mingw-w64-x86_64.cmake cmake/KurvanCache.cmake "$cache/"

if [ ! -f "$qt/.kurvan-complete" ]; then
    fetch qt6-base qtbase
    rm -rf "$qt"
    build qtbase .kurvan-complete \
        -DCMAKE_TOOLCHAIN_FILE="$cache/mingw-w64-x86_64.cmake" -DCMAKE_INSTALL_PREFIX="$qt" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DFEATURE_sql=OFF -DFEATURE_opengl=OFF -DINPUT_opengl=no -DFEATURE_dbus=OFF \
        -DFEATURE_concurrent=OFF -DFEATURE_printsupport=OFF -DFEATURE_openssl=OFF \
        -DFEATURE_vulkan=OFF -DFEATURE_tabletevent=OFF \
        -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
        -DFEATURE_system_jpeg=OFF -DFEATURE_system_freetype=OFF
fi

stage "Qt for MinGW ready in $qt"

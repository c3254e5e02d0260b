#!/usr/bin/env bash
# The C libraries the web remote links on Windows, built once for MinGW-w64 from Debian's own
# sources into the cache folder KurvanCache.cmake names (KURVAN_MINGW_LIBS), as static libraries,
# so the program folder needs no DLL more: OpenSSL 3 (libcrypto for its certificate authority
# and server certificate, libssl for TLS) and libqrencode (the QR codes). Then, in the same
# prefix, Qt's OpenSSL TLS backend with OpenSSL linked in (cmake/qt-openssl-backend), from the
# qtbase sources scripts/qt-mingw.sh fetched, against the Qt for MinGW, which must be there. The
# `windows` preset finds all of it there (cmake/mingw-w64-x86_64.cmake). scripts/windows.sh runs
# this; by hand:
#   scripts/mingw-libs.sh
# Each part carries a stamp in the prefix when it is installed and is not built again.
set -euo pipefail
cd "$(dirname "$0")/.."
# The cross compiler, OpenSSL's Configure (perl) and make, dpkg-dev to unpack the sources, the
# Linux Qt's host tools (moc) for the plugin.
bash scripts/install-deps.sh g++-mingw-w64-x86-64-posix cmake ninja-build make perl dpkg-dev qt6-base-dev
eval "$(cmake -P cmake/KurvanCache.cmake)"
cache=$KURVAN_CACHE
libs=$KURVAN_MINGW_LIBS
toolchain="$PWD/cmake/mingw-w64-x86_64.cmake"
jobs="${KURVAN_JOBS:-$(nproc)}"
started=$SECONDS
stage() { echo "== $* ($((SECONDS - started)) s) =="; }

. scripts/debian-source.sh
mkdir -p "$libs"

if [ ! -f "$libs/.kurvan-openssl" ]; then
    fetch openssl openssl
    stage "openssl: build"
    rm -rf "$cache/openssl-build" && mkdir -p "$cache/openssl-build"
    # CC gets the cross prefix put in front: the posix-thread compiler the rest is built with.
    # Folders compiled into the library are paths on the user's computer, where a folder such as
    # C:\root may be made by anyone: so no engine or provider is ever loaded from a file (no-dso;
    # the legacy provider is built in), no configuration file is read unless the program asks for
    # one, and the folders named lie where only administrators write. Configure takes a Windows
    # path for a relative one, so make is given them.
    # The libraries only (build_libs, install_dev): no programs, no manual pages.
    ssl_dir="C:/Program Files/Common Files/SSL"
    (cd "$cache/openssl-build" &&
        "$cache/openssl-src/Configure" mingw64 --cross-compile-prefix=x86_64-w64-mingw32- CC=gcc-posix \
            no-shared no-dso no-autoload-config no-tests --prefix="$libs" --libdir=lib \
            >"$cache/openssl-configure.log" &&
        nice -n 10 make -j"$jobs" build_libs OPENSSLDIR="$ssl_dir" ENGINESDIR="$ssl_dir/engines-3" \
            MODULESDIR="$ssl_dir/ossl-modules" >"$cache/openssl-build.log" 2>&1 &&
        make install_dev >/dev/null) || { tail -n 30 "$cache/openssl-build.log"; exit 1; }
    touch "$libs/.kurvan-openssl"
    rm -rf "$cache/openssl-build"
fi

if [ ! -f "$libs/.kurvan-qrencode" ]; then
    fetch qrencode qrencode
    stage "qrencode: build"
    rm -rf "$cache/qrencode-build"
    cmake -G Ninja -S "$cache/qrencode-src" -B "$cache/qrencode-build" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$libs" \
        -DBUILD_SHARED_LIBS=OFF -DWITH_TOOLS=OFF -DWITH_TESTS=OFF -Wno-dev >"$cache/qrencode-configure.log"
    nice -n 10 cmake --build "$cache/qrencode-build" --parallel "$jobs"
    cmake --install "$cache/qrencode-build" >/dev/null
    touch "$libs/.kurvan-qrencode"
    rm -rf "$cache/qrencode-build"
fi

if [ ! -f "$libs/.kurvan-qt-openssl-backend" ]; then
    fetch qt6-base qtbase
    stage "Qt's OpenSSL backend: build"
    rm -rf "$cache/qt-openssl-backend-build"
    cmake -G Ninja -S cmake/qt-openssl-backend -B "$cache/qt-openssl-backend-build" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$libs" -DQTBASE_SOURCE="$cache/qtbase-src" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        >"$cache/qt-openssl-backend-configure.log"
    nice -n 10 cmake --build "$cache/qt-openssl-backend-build" --parallel "$jobs"
    cmake --install "$cache/qt-openssl-backend-build" >/dev/null
    touch "$libs/.kurvan-qt-openssl-backend"
    rm -rf "$cache/qt-openssl-backend-build"
fi

stage "OpenSSL, libqrencode and Qt's OpenSSL backend for MinGW ready in $libs"

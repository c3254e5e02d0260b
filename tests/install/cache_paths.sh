#!/bin/sh
# The one definition of the Windows build's cache (cmake/KurvanCache.cmake, which the toolchain
# file includes and the scripts read): XDG_CACHE_HOME moves it, KURVAN_QT_WINDOWS moves only the
# Qt prefix, and an empty variable counts as unset.
# Usage: cache_paths.sh CMAKE SOURCE_DIR
set -u
cmake=$1 definition=$2/cmake/KurvanCache.cmake
failures=0

# expect HOME XDG_CACHE_HOME KURVAN_QT_WINDOWS -> cache qt
expect() {
    out=$(env HOME="$1" XDG_CACHE_HOME="$2" KURVAN_QT_WINDOWS="$3" "$cmake" -P "$definition") || {
        echo "FAIL: cmake -P $definition"
        exit 1
    }
    eval "$out"
    if [ "$KURVAN_CACHE" != "$4" ] || [ "$KURVAN_QT_WINDOWS" != "$5" ]; then
        echo "FAIL: HOME=$1 XDG_CACHE_HOME=$2 KURVAN_QT_WINDOWS=$3 gave $KURVAN_CACHE, $KURVAN_QT_WINDOWS"
        failures=$((failures + 1))
    fi
}
expect /home/u "" "" /home/u/.cache/kurvan /home/u/.cache/kurvan/qt6-mingw
expect /home/u /var/cache/u "" /var/cache/u/kurvan /var/cache/u/kurvan/qt6-mingw
expect /home/u /var/cache/u /opt/qt /var/cache/u/kurvan /opt/qt
expect "/home/a b" "" "" "/home/a b/.cache/kurvan" "/home/a b/.cache/kurvan/qt6-mingw"

[ "$failures" -eq 0 ] || exit 1
echo "cache paths as defined"

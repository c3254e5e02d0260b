#!/bin/sh
# Runs a program of the Windows build under Wine: CTest's emulator in the `windows` preset, and the
# runner of scripts/windows.sh. The Qt and MinGW run-time DLLs are found through WINEPATH, Qt's
# plugins through QT_PLUGIN_PATH, so a build folder runs as it is, without deploying.
# Windows programs open windows through Wine's X11 driver, so a display is needed (xvfb-run).
set -e
cache="${XDG_CACHE_HOME:-$HOME/.cache}/kurvan"
qt="${KURVAN_QT_WINDOWS:-$cache/qt6-mingw}"
export WINEPREFIX="${WINEPREFIX:-$cache/wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No offer to download Mono or Gecko when the prefix is made: nothing here needs them.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }
runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
export WINEPATH="$(windows_path "$qt/bin");$(windows_path "$runtime");$(windows_path /usr/x86_64-w64-mingw32/lib)"
export QT_PLUGIN_PATH="$(windows_path "$qt/plugins")"
exec /usr/lib/wine/wine64 "$@"

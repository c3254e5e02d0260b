#!/bin/sh
# Runs a program of the Windows build under Wine: CTest's emulator in the `windows` preset. The Qt
# and MinGW run-time DLLs are found through WINEPATH (and Qt finds its plugins beside its DLLs), so
# a build folder runs as it is, without deploying.
#
# It runs in a Wine prefix of its own, made on first use, that needs no display: Wine's null
# display driver gives windows without an X server, so the tests run headless while the program
# uses Qt's real Windows platform plugin and the fonts Windows' font API reports. (Qt's offscreen
# plugin has no font database on Windows, so every text would measure as nothing.)
set -e
eval "$(cmake -P "$(dirname "$0")/KurvanCache.cmake")"
qt=$KURVAN_QT_WINDOWS
wine=/usr/lib/wine/wine64
export WINEPREFIX="${KURVAN_WINE_TESTS:-$KURVAN_CACHE/wine-tests}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No offer to download Mono or Gecko when the prefix is made: nothing here needs them.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

if [ ! -f "$WINEPREFIX/.kurvan-ready" ]; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    # Tests start in parallel; one of them makes the prefix, the others wait for it.
    flock "$WINEPREFIX.lock" sh -c '
        [ -f "$WINEPREFIX/.kurvan-ready" ] && exit 0
        env -u DISPLAY "$1" wineboot --init >/dev/null 2>&1
        "$1" reg add "HKCU\\Software\\Wine\\Drivers" /v Graphics /d null /f >/dev/null 2>&1
        # Wine hands no QT_ variable of the caller to a Windows program, and a program without a
        # console window sends its output to the debugger; this one setting brings test results
        # and log lines back to stdout and stderr.
        "$1" reg add "HKCU\\Environment" /v QT_FORCE_STDERR_LOGGING /d 1 /f >/dev/null 2>&1
        /usr/lib/wine/wineserver64 -w
        touch "$WINEPREFIX/.kurvan-ready"
    ' sh "$wine"
fi

# The Wine server and Wine's own service programs outlive the program that starts them. Started
# by a test, they would hold its stdout and stderr open, and CTest waits for those to close: a
# test of a second would count as running until every other test of the run had ended. So they
# are started here, detached, and the test joins them.
/usr/lib/wine/wineserver64 -p10 </dev/null >/dev/null 2>&1 || true
env -u DISPLAY "$wine" cmd /c exit </dev/null >/dev/null 2>&1 || true

windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }
runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
export WINEPATH="$(windows_path "$qt/bin");$(windows_path "$runtime");$(windows_path /usr/x86_64-w64-mingw32/lib)"
exec env -u DISPLAY "$wine" "$@"

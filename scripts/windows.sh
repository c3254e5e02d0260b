#!/usr/bin/env bash
# The Windows build, made on Linux: installs what is missing from Debian's packages, builds Qt
# for MinGW-w64 once into a cache outside the checkout, cross-builds the client and the simulator,
# and leaves in dist/ a zip to unpack and run and an installer.
#   scripts/windows.sh          the zip and the installer
#   scripts/windows.sh --test   the same, then the test suite, the end-to-end login and the
#                               installer round trip, all under Wine
#   scripts/windows.sh --qt     only the Qt for MinGW (the long part of a first run)
# KURVAN_QT_WINDOWS=/path uses an existing Qt-for-MinGW prefix instead of building one.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD

mode=package
case "${1:-}" in
    "") ;;
    --test) mode=test ;;
    --qt) mode=qt ;;
    *) echo "usage: $0 [--test|--qt]" >&2; exit 2 ;;
esac

cache="${XDG_CACHE_HOME:-$HOME/.cache}/kurvan"
qt_given="${KURVAN_QT_WINDOWS:-}"
qt="${KURVAN_QT_WINDOWS:-$cache/qt6-mingw}"
export KURVAN_QT_WINDOWS="$qt" # read by the toolchain file and by cmake/wine-run.sh
version=$(sed -n 's/^project(KurvanClient VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
jobs="${KURVAN_JOBS:-$(nproc)}"
started=$SECONDS
stage() { echo "== $* ($((SECONDS - started)) s) =="; }

stage "packages"
packages=(
    g++-mingw-w64-x86-64-posix wine64 nsis        # cross compiler, Windows run time, installer
    cmake ninja-build qt6-base-dev dpkg-dev         # build; the Linux Qt provides moc, rcc, uic
    xvfb xauth xdotool                              # Wine's windows without a desktop, driven
)
bash scripts/install-deps.sh "${packages[@]}"

# Qt for MinGW from Debian's own qt6-base source (the same 6.4.2 as the Linux build), with only
# what the client and its tests use. The finished prefix carries a stamp; anything without it is
# an interrupted build and starts over.
if [ -n "$qt_given" ]; then
    [ -f "$qt/lib/cmake/Qt6/Qt6Config.cmake" ] || { echo "KURVAN_QT_WINDOWS: no Qt for MinGW at $qt" >&2; exit 1; }
elif [ ! -f "$qt/.kurvan-complete" ]; then
    stage "Qt for MinGW: source"
    mkdir -p "$cache"
    if [ ! -d "$cache/qtbase-src" ]; then
        # A deb-src entry for this one download, in a folder of its own; the system's apt
        # configuration stays as it is.
        apt_tmp="$cache/apt"
        rm -rf "$apt_tmp" "$cache/qtbase-fetch"
        mkdir -p "$apt_tmp/sources.list.d" "$apt_tmp/lists/partial" "$cache/qtbase-fetch"
        for f in /etc/apt/sources.list.d/*.sources; do
            [ -e "$f" ] && sed 's/^Types:.*/Types: deb-src/' "$f" >"$apt_tmp/sources.list.d/$(basename "$f")"
        done
        if [ -f /etc/apt/sources.list ]; then
            sed -n 's/^deb /deb-src /p' /etc/apt/sources.list >"$apt_tmp/sources.list.d/main.list"
        fi
        apt_opts=(-o "Dir::Etc::sourcelist=/dev/null" -o "Dir::Etc::sourceparts=$apt_tmp/sources.list.d"
                  -o "Dir::State::Lists=$apt_tmp/lists")
        apt-get "${apt_opts[@]}" update
        (cd "$cache/qtbase-fetch" && apt-get "${apt_opts[@]}" source qt6-base)
        mv "$cache"/qtbase-fetch/qt6-base-*/ "$cache/qtbase-src"
        rm -rf "$apt_tmp" "$cache/qtbase-fetch"
    fi
    stage "Qt for MinGW: build (about 1,300 steps)"
    cp cmake/mingw-w64-x86_64.cmake "$cache/mingw-w64-x86_64.cmake"
    rm -rf "$qt"
    cmake -G Ninja -S "$cache/qtbase-src" -B "$cache/qtbase-build" \
        -DCMAKE_TOOLCHAIN_FILE="$cache/mingw-w64-x86_64.cmake" \
        -DCMAKE_INSTALL_PREFIX="$qt" -DCMAKE_BUILD_TYPE=Release \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
        -DFEATURE_sql=OFF -DFEATURE_opengl=OFF -DINPUT_opengl=no -DFEATURE_dbus=OFF \
        -DFEATURE_concurrent=OFF -DFEATURE_printsupport=OFF -DFEATURE_openssl=OFF \
        -DFEATURE_vulkan=OFF -DFEATURE_tabletevent=OFF \
        -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
        -DFEATURE_system_jpeg=OFF -DFEATURE_system_freetype=OFF \
        >"$cache/qtbase-configure.log"
    nice -n 15 cmake --build "$cache/qtbase-build" --parallel "$jobs"
    cmake --install "$cache/qtbase-build" >/dev/null
    touch "$qt/.kurvan-complete"
    rm -rf "$cache/qtbase-build"
    stage "Qt for MinGW ready in $qt"
fi
[ "$mode" = qt ] && exit 0

stage "cross build"
cmake --preset windows >/dev/null
cmake --build --preset windows --parallel "$jobs"

# The program folder: both programs, exactly the DLLs they and the two plugins import (followed
# through the Qt and MinGW run-time folders; Windows' own DLLs are not found there and stay out),
# the windows platform plugin and the native style.
stage "package"
bin=build-windows/bin
folder_name="kurvan-client-$version"
stage_dir=build-windows/stage/$folder_name
rm -rf build-windows/stage
mkdir -p "$stage_dir/platforms" "$stage_dir/styles" dist
runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
cp "$bin/kurvan-client.exe" "$bin/tonalis-sim.exe" "$stage_dir/"
cp "$qt/plugins/platforms/qwindows.dll" "$stage_dir/platforms/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$stage_dir/styles/"
pending=("$stage_dir"/*.exe "$stage_dir"/platforms/*.dll "$stage_dir"/styles/*.dll)
while [ ${#pending[@]} -gt 0 ]; do
    file=${pending[0]}
    pending=("${pending[@]:1}")
    for dll in $(x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p'); do
        [ -e "$stage_dir/$dll" ] && continue
        for dir in "$qt/bin" "$runtime" /usr/x86_64-w64-mingw32/lib; do
            if [ -f "$dir/$dll" ]; then
                cp "$dir/$dll" "$stage_dir/"
                pending+=("$stage_dir/$dll")
                break
            fi
        done
    done
done
find "$stage_dir" -name '*.exe' -o -name '*.dll' | xargs x86_64-w64-mingw32-strip --strip-unneeded
ls -R "$stage_dir"

zip="dist/kurvan-client-$version-win64.zip"
setup="dist/kurvan-client-$version-setup.exe"
rm -f "$zip" "$setup"
(cd build-windows/stage && cmake -E tar cf "$src/$zip" --format=zip "$folder_name")
# The uninstaller removes what the installer put down, file by file.
(cd "$stage_dir" && find . -type f | sed 's|^\./||; s|/|\\|g; s|.*|Delete "$INSTDIR\\&"|' &&
    find . -mindepth 1 -depth -type d | sed 's|^\./||; s|/|\\|g; s|.*|RMDir "$INSTDIR\\&"|') \
    >build-windows/stage/files.nsh
makensis -V2 -DVERSION="$version" -DSTAGE="$src/$stage_dir" -DFILES="$src/build-windows/stage/files.nsh" \
    -DICON="$src/packaging/windows/kurvan-client.ico" -DOUTFILE="$src/$setup" packaging/windows/installer.nsi
ls -l "$zip" "$setup"
stage "packages ready"
[ "$mode" = package ] && exit 0

# The suite runs headless in a Wine prefix of its own (cmake/wine-run.sh makes it). The two
# checks that drive windows as a user does run in a second prefix with Wine's X11 driver, on a
# private X server.
stage "test suite under Wine"
ctest --preset windows

stage "end to end and installer under Wine"
export WINEPREFIX="$cache/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/.kurvan-ready" ]; then
    /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1
    /usr/lib/wine/wineserver64 -w
    touch "$WINEPREFIX/.kurvan-ready"
fi
# The end-to-end check talks to the Linux simulator, whose protocol log it reads.
cmake -S . -B build-windows/host-sim -G Ninja -DCMAKE_BUILD_TYPE=Release -DKURVAN_TESTS=OFF >/dev/null
cmake --build build-windows/host-sim --target tonalis-sim >/dev/null
xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
    set -e
    sh tests/windows/login_under_wine.sh "$1" "$2"
    sh tests/windows/installer_under_wine.sh "$3"
' sh "$src/$stage_dir" "$src/build-windows/host-sim/bin/tonalis-sim" "$src/$setup"
stage "all Windows checks passed"

#!/bin/sh
# Installs the build tree into an empty folder and checks that the programs, the menu entry and the icon land
# where a desktop looks for them, as the very files of the source tree.
# Usage: install_layout.sh CMAKE BUILD_DIR PACKAGING_DIR BINDIR DATADIR
set -u
cmake=$1 build=$2 packaging=$3 bindir=$4 datadir=$5

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Under DESTDIR, so that what goes to an absolute folder (/etc) lands in the work folder too.
destdir=$work/root
prefix=$destdir/usr
log=$work/install.log
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

if ! DESTDIR=$destdir "$cmake" --install "$build" --prefix /usr >"$log" 2>&1; then
    cat "$log"
    echo "FAIL: cmake --install $build"
    exit 1
fi

for program in kurvan-client kurvanctl tonalis-sim; do
    [ -f "$prefix/$bindir/$program" ] && [ -x "$prefix/$bindir/$program" ] ||
        fail "$bindir/$program missing or not executable"
done

entry=$prefix/$datadir/applications/kurvan-client.desktop
if [ -f "$entry" ]; then
    cmp -s "$entry" "$packaging/kurvan-client.desktop" || fail "installed desktop entry differs from the source"
    # The menu starts the program by name from PATH and finds the icon by name in the theme.
    exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
    icon_name=$(sed -n 's/^Icon=//p' "$entry")
    [ -n "$exec_name" ] && [ -x "$prefix/$bindir/$exec_name" ] || fail "Exec=$exec_name is not an installed program"
    [ -n "$icon_name" ] || fail "desktop entry has no Icon"
else
    fail "$datadir/applications/kurvan-client.desktop missing"
    icon_name=kurvan-client
fi

hicolor=$prefix/$datadir/icons/hicolor
for size in 16 24 32 48; do
    installed=$hicolor/${size}x$size/apps/$icon_name.png
    if [ -f "$installed" ]; then
        # The theme gets the RGBA rendering; the palette one is only for 256-colour use inside the program.
        cmp -s "$installed" "$packaging/icons/$size/kurvan-client.png" ||
            fail "${size}x$size icon is not the RGBA rendering of that size"
    else
        fail "${size}x$size/apps/$icon_name.png missing"
    fi
done
if [ -f "$hicolor/scalable/apps/$icon_name.svg" ]; then
    cmp -s "$hicolor/scalable/apps/$icon_name.svg" "$packaging/icons/kurvan-client.svg" ||
        fail "scalable icon differs from the source"
else
    fail "scalable/apps/$icon_name.svg missing"
fi

# Every program's manual page, compressed and readable, and kurvanctl's completion where each shell looks.
for page in kurvanctl kurvan-client tonalis-sim; do
    gzip -t "$prefix/$datadir/man/man1/$page.1.gz" 2>/dev/null || fail "man1/$page.1.gz missing or damaged"
done
for completion in bash-completion/completions/kurvanctl zsh/vendor-completions/_kurvanctl \
    fish/vendor_completions.d/kurvanctl.fish; do
    grep -q '^# .*completion for kurvanctl' "$prefix/$datadir/$completion" || fail "$completion missing or empty"
done

# Nothing of the build tree or the development files may leak into an installation.
stray=$(cd "$destdir" && find . -type f \( -name '*.a' -o -name '*.h' -o -name '*.cmake' -o -name '*.qrc' \))
[ -z "$stray" ] || fail "development files installed: $stray"

if [ "$failures" -ne 0 ]; then
    echo "$failures installation check(s) failed"
    exit 1
fi
echo "installation layout complete"

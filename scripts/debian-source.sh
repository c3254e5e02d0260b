# Sourced by the scripts that build for MinGW from Debian's own sources (qt-mingw.sh,
# mingw-libs.sh). Needs $cache (the folder KurvanCache.cmake names) and stage.
#
# fetch PACKAGE NAME unpacks Debian source package PACKAGE, with Debian's patches applied, into
# $cache/NAME-src; returns 1 when the archive does not have it. A deb-src entry for this one
# download, in a folder of its own; the system's apt configuration stays as it is.
fetch() {
    local package=$1 src="$cache/$2-src" apt_tmp="$cache/apt" fetched="$cache/$2-fetch"
    [ -d "$src" ] && return 0
    stage "$2: source"
    rm -rf "$apt_tmp" "$fetched"
    mkdir -p "$apt_tmp/sources.list.d" "$apt_tmp/lists/partial" "$fetched"
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -e "$f" ] && sed 's/^Types:.*/Types: deb-src/' "$f" >"$apt_tmp/sources.list.d/$(basename "$f")"
    done
    if [ -f /etc/apt/sources.list ]; then
        sed -n 's/^deb /deb-src /p' /etc/apt/sources.list >"$apt_tmp/sources.list.d/main.list"
    fi
    local apt_opts=(-o "Dir::Etc::sourcelist=/dev/null" -o "Dir::Etc::sourceparts=$apt_tmp/sources.list.d"
                    -o "Dir::State::Lists=$apt_tmp/lists")
    local status=1 version upstream=""
    if apt-get "${apt_opts[@]}" update; then
        # The newest version first; a mirror may list a security update whose source files it
        # does not carry (yet), and then the next older one is taken.
        for version in $(apt-cache "${apt_opts[@]}" showsrc "$package" | sed -n 's/^Version: //p' | sort -Vru); do
            rm -rf "${fetched:?}"/*
            if (cd "$fetched" && apt-get "${apt_opts[@]}" source "$package=$version"); then
                mv "$fetched/$package"-*/ "$src" && status=0
                break
            fi
            # apt checked the upstream archive against the index even though Debian's changes
            # were missing; kept as the last resort.
            if [ -z "$upstream" ] && compgen -G "$fetched/*.orig.tar.*" >/dev/null; then
                upstream=$(echo "$fetched"/*.orig.tar.*)
                mv "$upstream" "$cache/" && upstream="$cache/$(basename "$upstream")"
            fi
        done
    fi
    if [ $status -ne 0 ] && [ -n "$upstream" ]; then
        echo "$package: Debian's changes are not to be had from this mirror; building $(basename "$upstream") as it is" >&2
        rm -rf "${fetched:?}"/* && tar -xf "$upstream" -C "$fetched" && mv "$fetched"/*/ "$src" && status=0
    fi
    [ -n "$upstream" ] && rm -f "$upstream"
    rm -rf "$apt_tmp" "$fetched"
    return $status
}

#!/bin/sh
# Builds the Debian package from the build tree into an empty folder and reads it back: name, version,
# dependencies, the files a user gets, what its maintainer scripts do, and what lintian says.
# Usage: debian_package.sh CPACK BUILD_DIR VERSION DESKTOP_FILE WITH_DBUS
# WITH_DBUS is 1 when the client was built with the desktop's media interface (Qt D-Bus).
set -u
cpack=$1 build=$2 version=$3 desktop=$4 with_dbus=${5:-0}

for tool in dpkg-deb dpkg; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool not found, cannot build or read a Debian package here"
        exit 77
    fi
done

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

if ! "$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$out" >"$out/cpack.log" 2>&1; then
    cat "$out/cpack.log"
    echo "FAIL: cpack -G DEB"
    exit 1
fi

deb=$out/kurvan-client_${version}_$(dpkg --print-architecture).deb
if [ ! -f "$deb" ]; then
    ls "$out"
    echo "FAIL: $(basename "$deb") not built"
    exit 1
fi

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = kurvan-client ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Section)" = sound ] || fail "Section: $(field Section)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
# The package summary is the program's own description, the same text as the menu entry's comment.
summary=$(field Description | head -n 1)
comment=$(sed -n 's/^Comment=//p' "$desktop")
[ "$summary" = "$comment" ] || fail "Description '$summary' is not the program description '$comment'"
depends=$(field Depends)
needs="libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 qt6-qpa-plugins"
[ "$with_dbus" = 1 ] && needs="$needs libqt6dbus6"
for needed in $needs; do
    echo "$depends" | grep -qE "(^|, )$needed( |,|$)" || fail "Depends lacks $needed: $depends"
done
recommends=$(field Recommends)
echo "$recommends" | grep -qE "(^|, )qt6-wayland( |,|$)" || fail "Recommends lacks qt6-wayland: $recommends"

listing=$(dpkg-deb -c "$deb")
expect() {
    # $1: mode prefix, $2: path inside the package
    echo "$listing" | grep -qE "^$1.* \./$2\$" || fail "package lacks $2 ($1)"
}
expect '-rwxr-xr-x' usr/bin/kurvan-client
expect '-rwxr-xr-x' usr/bin/tonalis-sim
expect '-rwxr-xr-x' usr/bin/kurvanctl
expect '-rw-r--r--' usr/share/man/man1/kurvanctl.1.gz
expect '-rw-r--r--' usr/share/man/man1/kurvan-client.1.gz
expect '-rw-r--r--' usr/share/man/man1/tonalis-sim.1.gz
for doc in copyright changelog.gz WEB-REMOTE.md; do
    expect '-rw-r--r--' "usr/share/doc/kurvan-client/$doc"
done
expect '-rw-r--r--' usr/share/bash-completion/completions/kurvanctl
expect '-rw-r--r--' usr/share/zsh/vendor-completions/_kurvanctl
expect '-rw-r--r--' usr/share/fish/vendor_completions.d/kurvanctl.fish
expect '-rw-r--r--' usr/share/applications/kurvan-client.desktop
for size in 16 24 32 48; do
    expect '-rw-r--r--' "usr/share/icons/hicolor/${size}x$size/apps/kurvan-client.png"
done
expect '-rw-r--r--' usr/share/icons/hicolor/scalable/apps/kurvan-client.svg
# The web remote's service: in the package, its settings kept over updates, and the folder its
# password goes into.
expect '-rw-r--r--' usr/lib/systemd/system/kurvan-remote.service
expect '-rw-r--r--' etc/default/kurvan-remote
expect 'drwxr-xr-x' etc/kurvan/
dpkg-deb --info "$deb" conffiles 2>/dev/null | grep -qx /etc/default/kurvan-remote || fail "kurvan-remote settings not a conffile"

# The maintainer scripts, run against helpers that only note their calls and then fail: the
# service is never enabled or started, it is stopped on removal and restarted on upgrade only
# where systemd runs (here: a private /run that says so), and no failing helper fails dpkg.
control=$out/control
dpkg-deb -e "$deb" "$control"
mkdir "$out/helpers"
for helper in deb-systemd-helper deb-systemd-invoke systemctl; do
    printf '#!/bin/sh\necho "%s $*" >>"%s"\nexit 1\n' "$helper" "$out/calls" >"$out/helpers/$helper"
    chmod +x "$out/helpers/$helper"
done
booted="mount -t tmpfs tmpfs /run && mkdir -p /run/systemd/system &&"
unshare -m sh -c "$booted true" 2>/dev/null || echo "NOTE: no private mount namespace; scripts run only without systemd"
# systemd; script and arguments; the call it must make (- for none); calls it must not make (- for any)
while IFS=';' read -r mode run wanted unwanted; do
    : >"$out/calls"
    command="PATH=$out/helpers:\$PATH sh $control/$run"
    if [ "$mode" = booted ]; then
        unshare -m sh -c "$booted true" 2>/dev/null || continue
        command="unshare -m sh -c '$booted $command'"
    fi
    sh -c "$command" || fail "$run ($mode) failed"
    [ "$wanted" = - ] || grep -qx "$wanted" "$out/calls" || fail "$run ($mode): no $wanted"
    [ "$unwanted" = - ] || ! grep -E "$unwanted" "$out/calls" || fail "$run ($mode): the calls above"
done <<EOF
plain;postinst configure 6.2.0.3;deb-systemd-helper update-state kurvan-remote.service;invoke|systemctl
plain;prerm remove;-;.
booted;postinst configure;systemctl --system daemon-reload;enable|start|restart
booted;postinst configure 6.2.0.3;deb-systemd-invoke try-restart kurvan-remote.service;enable| start| restart
booted;prerm remove;deb-systemd-invoke stop kurvan-remote.service;-
booted;prerm upgrade 6.2.0.5;-;.
booted;postrm remove;systemctl --system daemon-reload;-
EOF

# Debian's own package checker: warnings are reported, errors fail.
if command -v lintian >/dev/null 2>&1; then
    lintian --tag-display-limit 0 "$deb" >"$out/lintian.log" 2>&1
    cat "$out/lintian.log"
    ! grep -q '^E:' "$out/lintian.log" || fail "lintian reports errors"
else
    echo "NOTE: lintian not found, package not checked by it"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures package check(s) failed"
    exit 1
fi
echo "package $(basename "$deb") complete"

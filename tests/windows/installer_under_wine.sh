#!/bin/sh
# The installer under Wine: /S installs into Program Files with a Start-menu entry and an entry
# among the installed programs, the installed client starts and keeps its settings in the user's
# folder, and the uninstaller (/S) takes all of it away again.
# Usage: installer_under_wine.sh <setup.exe>. Needs DISPLAY (xvfb-run) and WINEPREFIX.
set -eu
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
drive_c="$WINEPREFIX/drive_c"
folder="$drive_c/Program Files/Kurvan Client"
link="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Kurvan Client.lnk"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KurvanClient'
fail() { echo "installer_under_wine: $*" >&2; exit 1; }
trap '$wineserver -k 2>/dev/null || true; chown root "$folder" 2>/dev/null || true' EXIT
rm -rf "$folder"
export WINEPATH=

$wine "$1" /S
$wineserver -w
[ -f "$folder/kurvan-client.exe" ] || fail "nothing in Program Files"
[ -f "$folder/platforms/qwindows.dll" ] || fail "no platform plugin installed"
[ -f "$link" ] || fail "no Start-menu entry"
$wine reg query "$key" /v UninstallString >/dev/null 2>&1 || fail "not among the installed programs"

# The installed client starts, as an ordinary user for whom Program Files is closed although it
# carries no read-only attribute: the folder belongs to someone else, and this root runs without
# its power to override file permissions. The address an administrator preset beside the program
# is offered, and "Verbinden" remembers it in the user's own folder.
user_ini="$drive_c/users/$(id -un)/AppData/Local/kurvan-client/Kurvan.ini"
rm -f "$user_ini"
printf '[Settings]\r\nLastIP=127.0.0.1\r\nPort=7620\r\n' >"$folder/Kurvan.ini"
chown nobody "$folder"
$wineserver -k 2>/dev/null || true
$wineserver -w
setpriv --bounding-set=-dac_override,-dac_read_search $wine "$folder/kurvan-client.exe" >/dev/null 2>&1 &
dialog=$(timeout 60 xdotool search --sync --onlyvisible --name '^Serveradresse$' | head -n 1)
[ -n "$dialog" ] || fail "installed client shows no dialog"
xdotool windowfocus --sync "$dialog" key Return
for _ in $(seq 100); do [ -f "$user_ini" ] && break; sleep 0.1; done
grep -q "LastIP=127.0.0.1" "$user_ini" 2>/dev/null || fail "nothing remembered in the user's folder"
[ -z "$(find "$folder" -name 'Kurvan-*.tmp')" ] || fail "a probe file left in Program Files"
$wineserver -k
$wineserver -w
chown root "$folder"
rm "$folder/Kurvan.ini"

# The uninstaller copies itself away and returns at once; wineserver -w waits for the copy.
$wine "$folder/uninstall.exe" /S
$wineserver -w
[ ! -e "$folder" ] || fail "left behind: $(ls -R "$folder")"
[ ! -e "$link" ] || fail "Start-menu entry left behind"
if $wine reg query "$key" >/dev/null 2>&1; then fail "still among the installed programs"; fi
echo "installer_under_wine: installed, started, uninstalled"

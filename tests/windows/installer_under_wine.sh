#!/bin/sh
# The installer under Wine: /S installs into Program Files with a Start-menu entry and an entry
# among the installed programs, the installed client starts, and the uninstaller (/S) takes all
# of it away again.
# Usage: installer_under_wine.sh <setup.exe>. Needs DISPLAY (xvfb-run) and WINEPREFIX.
set -eu
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
drive_c="$WINEPREFIX/drive_c"
folder="$drive_c/Program Files/Kurvan Client"
link="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Kurvan Client.lnk"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KurvanClient'
fail() { echo "installer_under_wine: $*" >&2; exit 1; }
trap '$wineserver -k 2>/dev/null || true' EXIT
export WINEPATH=

$wine "$1" /S
$wineserver -w
[ -f "$folder/kurvan-client.exe" ] || fail "nothing in Program Files"
[ -f "$folder/platforms/qwindows.dll" ] || fail "no platform plugin installed"
[ -f "$link" ] || fail "no Start-menu entry"
$wine reg query "$key" /v UninstallString >/dev/null 2>&1 || fail "not among the installed programs"

# The installed client starts and shows its dialog.
$wine "$folder/kurvan-client.exe" >/dev/null 2>&1 &
timeout 60 xdotool search --sync --onlyvisible --name '^Serveradresse$' >/dev/null || fail "installed client shows no dialog"
$wineserver -k
$wineserver -w

# The uninstaller copies itself away and returns at once; wineserver -w waits for the copy.
$wine "$folder/uninstall.exe" /S
$wineserver -w
[ ! -e "$folder" ] || fail "left behind: $(ls -R "$folder")"
[ ! -e "$link" ] || fail "Start-menu entry left behind"
if $wine reg query "$key" >/dev/null 2>&1; then fail "still among the installed programs"; fi
echo "installer_under_wine: installed, started, uninstalled"

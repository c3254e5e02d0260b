#!/bin/sh
# End to end under Wine: the unpacked program folder, run as a user runs it (no WINEPATH, only
# what the folder holds), against the Linux simulator on 127.0.0.1. The client logs in, "+" sends
# its frame, and the Kurvan.ini beside the program is written in Windows-1252 with CR LF, keeping
# what else the file holds. A second copy ends at once.
# Usage: login_under_wine.sh <program folder> <Linux tonalis-sim>. Needs DISPLAY (xvfb-run) and
# WINEPREFIX; xdotool types and clicks as a user would.
set -eu
sim_program=$2
. "$(dirname "$0")/simulator.sh"
cp -r "$1" "$work/app"

# Linux line ends, blanks around "=" and a section of someone else's with a Windows-1252 "ü":
# after "Verbinden" the file must read back in the program's own layout with the "ü" intact.
printf '[Settings]\nLastIP = 127.0.0.1\nPort = %s\n[Raum]\nName=K\374che\n' "$port" >"$work/app/Kurvan.ini"
WINEPATH= /usr/lib/wine/wine64 "$work/app/kurvan-client.exe" >/dev/null 2>&1 &

window() { timeout 60 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1; }
dialog=$(window Serveradresse) || fail "no dialog"
[ -n "$dialog" ] || fail "no dialog"
# Focus order: address, port, "Verbinden", password; Enter presses "Verbinden".
xdotool windowfocus --sync "$dialog" key Tab Tab Tab type geheim
xdotool key Return
logged "send: PasswordOK" || fail "no login"
logged "recv: GetPlayStatus" || fail "the panel did not fill itself"

# "+" sits at (292, 77) in the panel's client area; Wine may draw the frame inside the X window.
panel=$(window Kurvan) || fail "no panel"
eval "$(xdotool getwindowgeometry --shell "$panel")"
border=$(((WIDTH - 412) / 2))
top=$((HEIGHT - 357 - border))
xdotool mousemove --window "$panel" $((292 + border)) $((77 + top)) click 1
logged "recv: AddCredit|1" || fail "\"+\" sent nothing"

# A second copy ends at once by itself while the first one runs.
timeout 60 env WINEPATH= /usr/lib/wine/wine64 "$work/app/kurvan-client.exe" >/dev/null 2>&1 ||
    fail "a second copy did not end by itself"
[ "$(xdotool search --onlyvisible --name '^Kurvan$' | wc -l)" -eq 1 ] || fail "a second panel"

expected=$(printf '[Settings]\r\nLastIP=127.0.0.1\r\nPort=%s\r\n[Raum]\r\nName=K\374che\r\n' "$port" | od -An -tx1)
actual=$(od -An -tx1 "$work/app/Kurvan.ini")
[ "$expected" = "$actual" ] || fail "Kurvan.ini is not as written on Windows:$actual"
echo "login_under_wine: logged in, \"+\" sent AddCredit|1, Kurvan.ini in Windows-1252 with CR LF"

#!/bin/sh
# kurvanctl.exe from the unpacked program folder under Wine, as a script on Windows runs it (no
# WINEPATH, only what the folder holds), against the Linux simulator on 127.0.0.1: status,
# credit +1, volume 30, next and watch --json put their frames on the wire and end with their
# exit codes, a refused password ends with 4, and the German text arrives as UTF-8.
# Usage: kurvanctl_under_wine.sh <program folder> <Linux tonalis-sim>. Needs WINEPREFIX; no display.
set -eu
sim_program=$2
. "$(dirname "$0")/simulator.sh"

export WINEPATH= WINEDEBUG=-all KURVAN_HOST=127.0.0.1 KURVAN_PORT="$port" KURVAN_PASSWORD=geheim
# Runs kurvanctl.exe with the arguments after $1 and checks that it ends with exit code $1.
expect_exit() {
    want=$1
    shift
    code=0
    timeout 120 /usr/lib/wine/wine64 "$folder/kurvanctl.exe" "$@" >"$work/out" 2>"$work/err" || code=$?
    [ "$code" -eq "$want" ] || fail "kurvanctl $* ended with $code, not $want: $(cat "$work/out" "$work/err")"
}
folder=$1

expect_exit 0 --version
grep -qx 'kurvanctl 6\.2\.0\.4.\{0,1\}' "$work/out" || fail "--version printed $(cat "$work/out")"

expect_exit 0 status
# "Lautstärke" in UTF-8 (c3 a4), not in a Windows code page.
grep -q "$(printf 'Lautst\303\244rke: 50')" "$work/out" || fail "status is not UTF-8 German: $(od -c "$work/out" | head)"

expect_exit 0 credit +1
logged "recv: AddCredit|1" || fail "credit +1 sent nothing"
expect_exit 0 volume 30
logged "recv: SetVolume|30" || fail "volume 30 sent nothing"
expect_exit 0 next
logged "recv: CtrlN" || fail "next sent nothing"

# watch --json: its first line is the state as one JSON object; a new credit brings a second.
: >"$work/watch"
/usr/lib/wine/wine64 "$folder/kurvanctl.exe" watch --json >>"$work/watch" 2>/dev/null &
pids="$pids $!"
logged '"credits":4' "$work/watch" || fail "watch printed no state: $(cat "$work/watch")"
expect_exit 0 credit +1
logged '"credits":5' "$work/watch" || fail "watch did not report the new credit: $(cat "$work/watch")"

KURVAN_PASSWORD=falsch
expect_exit 4 status
KURVAN_PASSWORD=geheim
expect_exit 2 credit 5
echo "kurvanctl_under_wine: status, credit +1, volume 30, next and watch --json against the simulator; exit codes 0, 2 and 4"

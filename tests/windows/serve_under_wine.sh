#!/bin/sh
# kurvanctl.exe serve from the unpacked program folder under Wine (no WINEPATH, only what the
# folder holds), against the Linux simulator on 127.0.0.1, checked from the Linux side with
# curl: the page loads, nothing without the password, the sixth wrong password waits, a login
# gives the state, an action from a foreign Origin and a malformed body are refused, and "+"
# from the own origin puts AddCredit|1 on the wire.
# Usage: serve_under_wine.sh <program folder> <Linux tonalis-sim>. Needs WINEPREFIX; no display.
# KURVAN_WINE names another runner (e.g. "env" with a folder holding the Linux build as
# kurvanctl.exe, to try the checks on Linux).
set -eu
folder=$1
sim_program=$2
. "$(dirname "$0")/simulator.sh"
web=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
base="http://127.0.0.1:$web"

export WINEPATH= WINEDEBUG=-all KURVAN_HOST=127.0.0.1 KURVAN_PORT="$port" KURVAN_PASSWORD=geheim
${KURVAN_WINE:-/usr/lib/wine/wine64} "$folder/kurvanctl.exe" serve --listen "127.0.0.1:$web" >"$work/serve.log" 2>&1 &
pids="$pids $!"
logged "$base/" "$work/serve.log" || fail "serve printed no address"
logged "recv: Password=" || fail "serve did not log in to the jukebox"

# status CODE METHOD PATH [curl options]: the answer's status must be CODE.
status() {
    want=$1 method=$2 path=$3
    shift 3
    got=$(curl -s -o "$work/body" -w '%{http_code}' -X "$method" -b "$work/cookies" -c "$work/cookies" "$@" "$base$path")
    [ "$got" = "$want" ] || fail "$method $path answered $got, not $want: $(cat "$work/body")"
}
json='Content-Type: application/json'

status 200 GET /
grep -q 'Tonalis beenden' "$work/body" || fail "the page is not the remote's"
status 401 GET /api/state
status 401 POST /api/credit/add -H "$json" -d '{}'
status 200 POST /api/login -H "$json" -H "Origin: $base" -d '{"password":"geheim"}'
grep -q 'HttpOnly' "$work/cookies" || fail "the session cookie is not HttpOnly"
status 200 GET /api/state
grep -q '"credits":3' "$work/body" || fail "the state lacks the credits: $(cat "$work/body")"
status 403 POST /api/credit/add -H "$json" -H "Origin: http://evil.example" -d '{}'
status 400 POST /api/volume -H "$json" -H "Origin: $base" -d '{"volume": 5'
status 405 GET /api/credit/add
grep -qF 'recv: AddCredit' "$work/sim.log" && fail "a refused request reached the jukebox"
status 200 POST /api/credit/add -H "$json" -H "Origin: $base" -d '{}'
logged "recv: AddCredit|1" || fail "+ sent nothing"

# The sixth wrong password from one address waits, even when it is right.
rm -f "$work/cookies"
for _ in 1 2 3 4 5; do
    status 401 POST /api/login -H "$json" -d '{"password":"falsch"}'
done
status 429 POST /api/login -H "$json" -d '{"password":"geheim"}'
echo "serve_under_wine: page, login, state, refusals (401, 403, 400, 405, 429) and AddCredit|1 through kurvanctl.exe serve"

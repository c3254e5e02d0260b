#!/bin/sh
# kurvanctl.exe serve from the unpacked program folder under Wine (no WINEPATH, only what the
# folder holds), against the Linux simulator on 127.0.0.1, checked from the Linux side with curl.
# Over HTTP: the page loads, nothing without the password, the sixth wrong password waits, a
# login gives the state, an action from a foreign Origin and a malformed body are refused, and
# "+" from the own origin puts AddCredit|1 on the wire. Over HTTPS, with the TLS backend the
# folder carries: curl, trusting nothing but the certificate authority it is given, gets the page
# and logs in (a Secure cookie), and an action reaches the jukebox only from the https origin.
# Usage: serve_under_wine.sh <program folder> <Linux tonalis-sim>. Needs WINEPREFIX; no display.
# KURVAN_WINE names another runner (e.g. "env" with a folder holding the Linux build as
# kurvanctl.exe, to try the checks on Linux).
set -eu
folder=$1
sim_program=$2
. "$(dirname "$0")/simulator.sh"

export WINEPATH= WINEDEBUG=-all KURVAN_HOST=127.0.0.1 KURVAN_PORT="$port" KURVAN_PASSWORD=geheim
# serve LOG [options]: kurvanctl.exe serve on a free port of 127.0.0.1 with the options, writing
# to $work/LOG; returns once it listens and is logged in to the jukebox, with the port in $web.
serve() {
    log="$work/$1"
    shift
    web=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    ${KURVAN_WINE:-/usr/lib/wine/wine64} "$folder/kurvanctl.exe" serve --listen "127.0.0.1:$web" "$@" >"$log" 2>&1 &
    pids="$pids $!"
    logged "://127.0.0.1:$web/" "$log" || fail "serve printed no address"
    logged "Jukebox: verbunden" "$log" || fail "serve did not log in to the jukebox"
}

# status CODE METHOD PATH [curl options]: the answer of the service at $base must be CODE. Its
# head lands in $work/head, its body in $work/body; $trust holds curl's options on whom to trust.
trust=
status() {
    want=$1 method=$2 path=$3
    shift 3
    got=$(curl -sS $trust -o "$work/body" -D "$work/head" -w '%{http_code}' -X "$method" \
        -b "$work/cookies" -c "$work/cookies" "$@" "$base$path" 2>"$work/curl.err") || true
    [ "$got" = "$want" ] || fail "$method $path answered $got, not $want: $(cat "$work/body" "$work/curl.err" 2>/dev/null)"
}
json='Content-Type: application/json'

serve serve.log
base="http://127.0.0.1:$web"
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

# https_checks CA VOLUME: the service at $base (https) as a phone sees it that was taught to trust the
# certificate authority in the file CA, and nothing else: curl checks the chain up to it and
# that the certificate names 127.0.0.1, whoever made it.
https_checks() {
    trust="--cacert $1"
    rm -f "$work/cookies"
    status 200 GET /
    grep -q 'Tonalis beenden' "$work/body" || fail "the page over HTTPS is not the remote's"
    status 401 GET /api/state
    status 200 POST /api/login -H "$json" -H "Origin: $base" -d '{"password":"geheim"}'
    cookie=$(grep -i '^set-cookie: kurvan_session=' "$work/head") || fail "no session cookie over HTTPS"
    case "$cookie" in *HttpOnly*Secure* | *Secure*HttpOnly*) ;; *) fail "not Secure and HttpOnly: $cookie" ;; esac
    status 200 GET /api/state
    grep -q '"volume":[0-9]' "$work/body" || fail "the state over HTTPS lacks the volume: $(cat "$work/body")"
    # The same address in plain http is a foreign origin to a service that speaks https.
    status 403 POST /api/volume -H "$json" -H "Origin: http://${base#https://}" -d "{\"volume\":$2}"
    grep -qF "recv: SetVolume|$2" "$work/sim.log" && fail "an action from the http origin reached the jukebox"
    status 200 POST /api/volume -H "$json" -H "Origin: $base" -d "{\"volume\":$2}"
    logged "recv: SetVolume|$2" || fail "the volume over HTTPS sent nothing"
}

# A certificate authority and a server certificate it signed, both ECDSA P-256, made with the
# openssl tool into $work/tls: ca.pem, server.pem, server.key.
mkdir "$work/tls"
(
    cd "$work/tls"
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 -subj "/CN=Kurvan Test-CA" \
        -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign" \
        -keyout ca.key -out ca.pem
    openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj "/CN=localhost" \
        -keyout server.key -out server.csr
    printf '%s\n' "subjectAltName=IP:127.0.0.1,DNS:localhost" "extendedKeyUsage=serverAuth" \
        "basicConstraints=critical,CA:FALSE" "keyUsage=critical,digitalSignature" >server.ext
    openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
        -extfile server.ext -out server.pem
) >"$work/openssl.out" 2>&1 || fail "openssl made no certificates: $(cat "$work/openssl.out")"
serve serve-tls.log --tls-cert "$work/tls/server.pem" --tls-key "$work/tls/server.key"
base="https://127.0.0.1:$web"
https_checks "$work/tls/ca.pem" 30

# The default: serve makes its own authority (in %LOCALAPPDATA% of the Wine prefix). Over plain
# HTTP on the same port a phone finds only the way there: the redirect, the trust page and the
# authority's certificate, whose fingerprint the start message shows; no /api/ request is taken.
serve serve-own.log --tls
base="http://127.0.0.1:$web"
trust=
rm -f "$work/cookies"
status 302 GET /
grep -qi "^location: https://127.0.0.1:$web/" "$work/head" || fail "/ over HTTP does not lead to https"
status 200 GET /trust
status 403 POST /api/login -H "$json" -d '{"password":"geheim"}'
grep -qF "https://127.0.0.1:$web/" "$work/body" || fail "the refusal does not name the https address"
grep -qi '^set-cookie' "$work/head" && fail "a login over plain HTTP set a cookie"
status 403 GET /api/state
status 200 GET /kurvan-ca.crt
openssl x509 -inform der -in "$work/body" -out "$work/own-ca.pem" 2>/dev/null || fail "/kurvan-ca.crt is no certificate"
fingerprint=$(openssl x509 -in "$work/own-ca.pem" -noout -fingerprint -sha256 | cut -d= -f2)
grep -qF "$fingerprint" "$work/serve-own.log" || fail "the start message lacks the fingerprint $fingerprint"
base="https://127.0.0.1:$web"
https_checks "$work/own-ca.pem" 40
echo "serve_under_wine: page, login, state, refusals (401, 403, 400, 405, 429) and AddCredit|1 over HTTP;" \
    "page, Secure login, state and SetVolume|30 over HTTPS with an ECDSA certificate of one's own;" \
    "with its own authority: only the way to TLS over HTTP, then SetVolume|40 over HTTPS trusting it"

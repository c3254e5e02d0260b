#!/usr/bin/env bash
# Runs inside an X server without a desktop (xvfb-run): starts the simulator and the client,
# logs in the way a user would (password typed, Enter pressed), lets the panel fill, and saves
# a screenshot of it.  Usage: headless-login.sh PORT PASSWORD SCREENSHOT.png
# PORT 0 lets the simulator take a free port. Whatever it listens on, the client's settings file
# (build/bin/Kurvan.ini) is made to name it, so the dialog offers the simulator's address.
#
# Every wait has a limit and ends, when it runs out, with what did not happen. On a busy machine
# windows come and go while xdotool walks the window tree; X then reports a window that vanished
# under it (BadWindow, BadMatch), which is retried, not taken for a failure.
set -euo pipefail
port="$1" password="$2" shot="$3"
bin=build/bin
ini="$bin/Kurvan.ini"
readonly kStartLimit=30 kWindowLimit=60 kLoginLimit=30 kPollLimit=15 kXdoLimit=20 # seconds

work=$(mktemp -d)
sim=""
client=""
trap 'kill $client $sim 2>/dev/null || true; rm -rf "$work"' EXIT
fail() {
    echo "headless-login: $*" >&2
    [ -s "$work/sim.log" ] && tail -n 20 "$work/sim.log" >&2
    exit 1
}

# xdotool, tried again while X reports a window that vanished during the call. Any other error,
# or a call that hangs (--sync waits for X to confirm), ends the script with what failed.
xdo() {
    local attempt
    for attempt in 1 2 3 4 5; do
        if timeout $kXdoLimit xdotool "$@" 2>"$work/xdo.err"; then
            return 0
        fi
        grep -qE 'BadWindow|BadMatch|BadDrawable' "$work/xdo.err" || break
        sleep 0.2
    done
    fail "xdotool $1 failed (within $kXdoLimit s): $(cat "$work/xdo.err")"
}

# Waits up to LIMIT seconds for a visible window titled exactly NAME and prints its id.
window() {
    local name="$1" limit="$2" what="$3" ids
    local deadline=$((SECONDS + limit))
    while [ $SECONDS -lt $deadline ]; do
        # A search that finds nothing exits with 1 and no message; only X errors are retried.
        ids=$(timeout $kXdoLimit xdotool search --onlyvisible --name "^$name\$" 2>"$work/xdo.err") || true
        if [ -n "$ids" ]; then
            echo "${ids%%$'\n'*}"
            return 0
        fi
        if [ -s "$work/xdo.err" ] && ! grep -qE 'BadWindow|BadMatch|BadDrawable' "$work/xdo.err"; then
            fail "xdotool search failed: $(cat "$work/xdo.err")"
        fi
        kill -0 "$client" 2>/dev/null || fail "$what: the client ended"
        sleep 0.2
    done
    fail "$what within $limit s"
}

# Waits up to LIMIT seconds for the simulator's log to hold TEXT (COUNT times, default once).
logged() {
    local text="$1" limit="$2" what="$3" count="${4:-1}"
    local deadline=$((SECONDS + limit))
    until [ "$(grep -cF -- "$text" "$work/sim.log" 2>/dev/null)" -ge "$count" ]; do
        [ $SECONDS -lt $deadline ] || fail "$what within $limit s"
        kill -0 "$sim" 2>/dev/null || fail "$what: the simulator ended"
        sleep 0.2
    done
}

"$bin/tonalis-sim" --listen 127.0.0.1 --port "$port" --password "$password" >"$work/sim.log" 2>&1 &
sim=$!
logged "listening on 127.0.0.1:" $kStartLimit "no simulator on port $port"
port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/sim.log")

# The dialog offers what the settings file names. A file from another run may name another
# address or port; then the client would wait for a jukebox that is not there.
if ! grep -qE "^[[:blank:]]*LastIP[[:blank:]]*=[[:blank:]]*127\.0\.0\.1[[:blank:]]*"$'\r'"?\$" "$ini" 2>/dev/null ||
    ! grep -qE "^[[:blank:]]*Port[[:blank:]]*=[[:blank:]]*$port[[:blank:]]*"$'\r'"?\$" "$ini"; then
    echo "headless-login: $ini now names 127.0.0.1:$port"
    printf '[Settings]\r\nLastIP=127.0.0.1\r\nPort=%s\r\n' "$port" >"$ini"
fi

# A lock folder of its own: a client another program runs on this machine must not make this
# one end as a second copy.
XDG_RUNTIME_DIR="$work" "$bin/kurvan-client" &
client=$!

dialog=$(window Serveradresse $kWindowLimit "no dialog")
xdo windowfocus --sync "$dialog"
# Focus order: address, port, "Verbinden", password.
xdo key --clearmodifiers Tab Tab Tab
xdo type --delay 20 "$password"
xdo key Return

logged "send: PasswordOK" $kLoginLimit "no login"
panel=$(window Kurvan $kWindowLimit "no panel")
# The first status poll (the volume, then the play state a second time after the login's) fills
# the bar and the volume with the jukebox's state.
logged "recv: GetPlayStatus" $kPollLimit "no status poll" 2
sleep 0.5 # its answers painted
mkdir -p "$(dirname "$shot")"
timeout $kXdoLimit import -window "$panel" "$shot" || fail "no screenshot of the panel"
echo "Logged in; screenshot of the panel: $shot"

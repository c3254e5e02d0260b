#!/usr/bin/env bash
# Screenshots of both windows, as a user sees them, at scale 1 and at QT_SCALE_FACTOR=2: the
# dialog, the panel before login (login refused), logged in while playing, stopped, and after a
# lost link. Runs everything in a private X server against the simulator on 127.0.0.1. The web
# remote's pictures (web-*.png) come from its browser test, run here with OUTPUT_DIR as its folder.
#   scripts/screenshots.sh [OUTPUT_DIR]      (default docs/screenshots)
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-docs/screenshots}"

if [ -z "${KURVAN_IN_XVFB:-}" ]; then
    bash scripts/install-deps.sh
    cmake --preset default >/dev/null
    cmake --build --preset default
    KURVAN_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" bash "$0" "$out"
fi

work=$(mktemp -d)
sim_pid=""
client_pid=""
cleanup() {
    kill $client_pid $sim_pid 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cp build/bin/kurvan-client "$work/"
printf '[Settings]\r\nLastIP=127.0.0.1\r\nPort=%s\r\n' "$port" > "$work/Kurvan.ini"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

start_sim() {
    build/bin/tonalis-sim --listen 127.0.0.1 --port "$port" --password tonalis --quiet >/dev/null 2>&1 &
    sim_pid=$!
    sleep 0.3
}
start_client() { # sets client_pid and dialog
    "$work/kurvan-client" >/dev/null 2>&1 &
    client_pid=$!
    dialog=$(xdotool search --sync --onlyvisible --name '^Serveradresse$' | head -1)
}
log_in() { # dialog password
    xdotool windowfocus --sync "$1"
    xdotool key --clearmodifiers Tab Tab Tab
    xdotool type --delay 15 "$2"
    xdotool key Return
    xdotool search --sync --onlyvisible --name '^Kurvan$' | head -1
}
shot() { # window file
    import -window "$1" "$dir/$2.png"
    echo "  $dir/$2.png"
}

for scale in 1 2; do
    export QT_SCALE_FACTOR=$scale
    dir="$out/scale$scale"
    mkdir -p "$dir"
    echo "Scale $scale:"
    start_sim

    start_client
    sleep 0.5
    shot "$dialog" dialog
    panel=$(log_in "$dialog" falsch)
    sleep 0.5
    shot "$panel" panel-before-login
    kill $client_pid; wait $client_pid 2>/dev/null || true

    start_client
    panel=$(log_in "$dialog" tonalis)
    sleep 3 # one status poll
    shot "$panel" panel-playing
    xdotool mousemove --window "$panel" $((180 * scale)) $((300 * scale)) click 1 # stop button
    sleep 1
    shot "$panel" panel-stopped
    kill $sim_pid; wait $sim_pid 2>/dev/null || true
    sleep 1
    shot "$panel" panel-link-lost
    kill $client_pid; wait $client_pid 2>/dev/null || true
done

echo "Web remote (its browser test):"
KURVAN_SCREENSHOTS="$(cd "$out" && pwd)" ctest --test-dir build -R '^web_remote_browser$' --output-on-failure >/dev/null
ls "$out"/web-*.png

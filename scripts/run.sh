#!/usr/bin/env bash
# The main job: installs what is missing, builds, starts the jukebox simulator on 127.0.0.1 and
# the client pointed at it.
#   scripts/run.sh              on a desktop: simulator in this terminal, the client's windows
#   scripts/run.sh --headless   without a display: the same flow under Xvfb, logged in by
#                               script, with a screenshot of the panel in docs/screenshots/
set -euo pipefail
cd "$(dirname "$0")/.."

port="${KURVAN_SIM_PORT:-7620}"
password="tonalis"

headless=0
[ "${1:-}" = "--headless" ] && headless=1
if [ $headless -eq 0 ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display here (DISPLAY is not set): running the headless mode instead."
    echo "On a desktop, 'scripts/run.sh' shows the windows; 'scripts/run.sh --headless' forces this mode."
    headless=1
fi

bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default

if [ $headless -eq 1 ]; then
    # Unless a port is asked for, the simulator takes a free one: on a busy machine 7620 may be
    # taken. The login script points the client's settings file at it.
    exec xvfb-run -a -s "-screen 0 1024x768x24 -noreset" bash scripts/headless-login.sh \
        "${KURVAN_SIM_PORT:-0}" "$password" docs/screenshots/panel-logged-in.png
fi

# The client remembers its last address beside the program; point a fresh build at the simulator.
ini=build/bin/Kurvan.ini
if [ ! -f "$ini" ]; then
    printf '[Settings]\r\nLastIP=127.0.0.1\r\nPort=%s\r\n' "$port" > "$ini"
fi

build/bin/tonalis-sim --listen 127.0.0.1 --port "$port" --password "$password" &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT
sleep 0.5
echo
echo "Jukebox simulator on 127.0.0.1:$port. In the client's dialog type the password: $password"
echo
build/bin/kurvan-client

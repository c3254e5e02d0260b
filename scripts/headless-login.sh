#!/usr/bin/env bash
# Runs inside an X server without a desktop (xvfb-run): starts the simulator and the client,
# logs in the way a user would (password typed, Enter pressed), lets the panel fill, and saves
# a screenshot of it.  Usage: headless-login.sh PORT PASSWORD SCREENSHOT.png
set -euo pipefail
port="$1" password="$2" shot="$3"
bin=build/bin

"$bin/tonalis-sim" --listen 127.0.0.1 --port "$port" --password "$password" --quiet &
sim=$!
"$bin/kurvan-client" &
client=$!
trap 'kill $client $sim 2>/dev/null || true' EXIT

dialog=$(xdotool search --sync --onlyvisible --name '^Serveradresse$' | head -1)
xdotool windowfocus --sync "$dialog"
# Focus order: address, port, "Verbinden", password.
xdotool key --clearmodifiers Tab Tab Tab
xdotool type --delay 20 "$password"
xdotool key Return

panel=$(xdotool search --sync --onlyvisible --name '^Kurvan$' | head -1)
sleep 3 # one status poll, so the bar and the volume show the jukebox's state
mkdir -p "$(dirname "$shot")"
import -window "$panel" "$shot"
echo "Logged in; screenshot of the panel: $shot"

# Sourced by the kurvanctl checks under Wine. Starts the Linux simulator (the path in $sim_program)
# on 127.0.0.1 with the password "geheim" and gives: $work, a folder removed at the end; $port,
# where the simulator listens; $pids, more processes to end at the end; logged TEXT [FILE],
# which waits up to 60 s for FILE (the simulator's log by default) to hold TEXT; and fail.
work=$(mktemp -d)
"$sim_program" --port 0 --password geheim >"$work/sim.log" 2>&1 &
pids=$!
trap 'kill $pids 2>/dev/null || true; /usr/lib/wine/wineserver64 -k 2>/dev/null || true; rm -rf "$work"' EXIT
fail() {
    echo "$(basename "$0" .sh): $*" >&2
    cat "$work"/*.log >&2 2>/dev/null
    exit 1
}
logged() {
    for _ in $(seq 600); do
        grep -qF -- "$1" "${2:-$work/sim.log}" && return 0
        sleep 0.1
    done
    return 1
}
logged "listening on 127.0.0.1:" || fail "simulator did not start"
# A cold prefix brings Wine's server and services up with its first program, which can take
# longer than the timed runs below allow: up before them, and kept until the end.
/usr/lib/wine/wineserver64 -p </dev/null >/dev/null 2>&1 || true
/usr/lib/wine/wine64 cmd /c exit </dev/null >/dev/null 2>&1 || true
port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/sim.log")

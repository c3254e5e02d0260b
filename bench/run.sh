#!/usr/bin/env bash
# The benchmarks, all of them, in one command: builds the preset "bench", runs every measuring
# program, prints one table and writes it with a description of this machine to
# docs/PERFORMANCE.md. Needs libbenchmark-dev, xvfb and xdotool, and for the web remote's page
# chromium, chromium-driver and python3-selenium; takes about five minutes.
#   bench/run.sh           the full run
#   bench/run.sh --quick   a smoke run with small counts and short durations (under a minute
#                          once built); its table goes to build-bench/PERFORMANCE-quick.md and
#                          docs/ is left as it is
set -euo pipefail

quick=0
args=()
case "${1:-}" in
    '') ;;
    --quick) quick=1; args=(--quick) ;;
    *) echo "usage: $0 [--quick]" >&2; exit 2 ;;
esac

cd "$(dirname "$0")/.."
cmake --preset bench >/dev/null
cmake --build --preset bench

bin=build-bench/bin
work="$(mktemp -d "${TMPDIR:-/tmp}/kurvan-bench.XXXXXX")"
trap 'rm -rf -- "$work"' EXIT

load_before="$(cut -d' ' -f1-3 /proc/loadavg)"
started="$(date -u '+%Y-%m-%d %H:%M UTC')"

micro_args=(--benchmark_color=false)
[ $quick -eq 1 ] && micro_args+=(--benchmark_min_time=0.01)
echo "== 1: micro-benchmarks"
"$bin/kurvan-bench-micro" "${micro_args[@]}" | tee "$work/micro.txt"
echo "== 2, 3, 5, 7: link and panel against the simulator"
"$bin/kurvan-bench-link" "${args[@]}" 2> >(grep -v '^QStandardPaths: XDG_RUNTIME_DIR' >&2) | tee "$work/link.txt"
echo "== 4, 6: the real client in an X server of its own"
env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1024x768x24" "$bin/kurvan-bench-desktop" "${args[@]}" |
    tee "$work/desktop.txt"

echo "== 8, 9: kurvanctl against the simulator"
"$bin/kurvan-bench-ctl" "${args[@]}" | tee "$work/ctl.txt"
echo "== 10, 11, 12: the web remote with 100 page clients"
"$bin/kurvan-bench-serve" "${args[@]}" | tee "$work/serve.txt"
echo "== 17, 18, 19: the web remote over TLS against plain HTTP"
"$bin/kurvan-bench-tls" "${args[@]}" | tee "$work/tls.txt"
echo "== 15, 16: the web remote's page in Chromium, its CPU slowed 4x"
/usr/bin/python3 bench/web_first_view.py "$bin/kurvanctl" "$bin/tonalis-sim" "${args[@]}" | tee "$work/page.txt"

load_after="$(cut -d' ' -f1-3 /proc/loadavg)"

# ROW lines, ordered by their item number (stable within one item).
cat "$work/micro.txt" "$work/link.txt" "$work/desktop.txt" "$work/ctl.txt" "$work/serve.txt" "$work/tls.txt" "$work/page.txt" | grep $'^ROW\t' | cut -f2- |
    sort -s -t$'\t' -k1,1n > "$work/rows.tsv"
grep -h $'^NOTE\t' "$work/link.txt" "$work/desktop.txt" "$work/ctl.txt" "$work/serve.txt" "$work/page.txt" | cut -f2- > "$work/notes.txt" || true

table() {
    echo "| Measurement | Kurvan | Baseline (same run) | Baseline figure | Ratio | Goal | Goal met |"
    echo "|---|---|---|---|---|---|---|"
    awk -F'\t' '{ printf "| %s | %s | %s | %s | %s | %s | %s |\n", $1, $2, $3, $4, $5, $6, $7 }' "$work/rows.tsv"
}

machine() {
    local cpu os qt compiler commit
    cpu="$(lscpu 2>/dev/null | sed -n 's/^Model name: *//p' | head -1)"
    os="$(. /etc/os-release && echo "$PRETTY_NAME")"
    qt="$(dpkg-query -W -f='${Version}' libqt6core6 2>/dev/null || echo unknown)"
    compiler="$(c++ --version | head -1)"
    commit="$(git rev-parse --short HEAD)$(git diff --quiet HEAD -- src sim bench || echo ' (with uncommitted changes)')"
    echo "- CPU: ${cpu:-unknown}, $(nproc) cores online"
    echo "- Memory: $(awk '/^MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo)"
    echo "- System: $os, kernel $(uname -r)"
    echo "- Qt $qt (Debian packages), $compiler, build type Release"
    echo "- Load average (1, 5, 15 min): $load_before before the run, $load_after after it"
    echo "- Commit $commit, run started $started"
}

echo
echo "== Results"
table

if [ $quick -eq 1 ]; then
    report=build-bench/PERFORMANCE-quick.md
    title="# Performance (quick smoke run: small counts, figures not comparable)"
else
    report=docs/PERFORMANCE.md
    title="# Performance"
fi
mkdir -p "$(dirname "$report")"
{
    echo "$title"
    echo
    echo "Written by \`bench/run.sh\`; run it again to replace this file. Every ratio compares two figures"
    echo "taken side by side in the same run, so a busy neighbour on the machine weighs on both."
    echo "How each figure is taken, and why some goals are out of reach, follows the results."
    echo
    echo "## Machine"
    echo
    machine
    echo
    echo "## Results"
    echo
    table
    echo
    echo "## Details"
    echo
    sed 's/^/- /' "$work/notes.txt"
    echo
    cat bench/method.md
    echo
    echo "## Micro-benchmarks"
    echo
    echo "Google Benchmark's warning about a DEBUG library concerns Debian's build of the harness"
    echo "library itself; the code measured is built Release."
    echo
    echo '```'
    grep -v $'^ROW\t' "$work/micro.txt"
    echo '```'
} > "$report"
echo
echo "Written to $report"

#!/bin/sh
# The web remote's unit as systemd reads it, without systemd running: its sandbox scores at most
# 2.0 in systemd-analyze's exposure scale, and `systemd-analyze verify` finds nothing wrong.
# Usage: service_unit.sh UNIT KURVANCTL
set -u
unit=$1 kurvanctl=$2
limit=2.0

if ! command -v systemd-analyze >/dev/null 2>&1; then
    echo "SKIP: systemd-analyze not found (package systemd)"
    exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

report=$(systemd-analyze security --offline=yes "$unit" 2>&1)
score=$(echo "$report" | sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
if [ -z "$score" ]; then
    echo "$report"
    fail "no overall exposure level in the report"
elif ! awk -v s="$score" -v l="$limit" 'BEGIN { exit !(s <= l) }'; then
    echo "$report" | grep '✗'
    fail "exposure $score above $limit"
fi

# verify checks that ExecStart= names an executable: the unit as installed, run from this build.
copy=$work/$(basename "$unit")
sed "s|^ExecStart=/usr/bin/kurvanctl |ExecStart=$kurvanctl |" "$unit" >"$copy"
grep -q "^ExecStart=$kurvanctl " "$copy" || fail "ExecStart= does not start /usr/bin/kurvanctl"
if ! found=$(systemd-analyze verify --man=no "$copy" 2>&1) || [ -n "$found" ]; then
    echo "$found"
    fail "systemd-analyze verify"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures unit check(s) failed"
    exit 1
fi
echo "kurvan-remote.service: exposure $score, verified"

#!/bin/sh
# The web remote's unit as systemd reads it, without systemd running: its sandbox scores at most
# 2.0 in systemd-analyze's exposure scale, and `systemd-analyze verify` finds nothing wrong.
# Usage: service_unit.sh UNIT KURVANCTL
set -u
unit=$1 kurvanctl=$2
if ! command -v systemd-analyze >/dev/null 2>&1; then
    echo "SKIP: systemd-analyze not found (package systemd)"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

report=$(systemd-analyze security --offline=yes "$unit" 2>&1)
score=$(echo "$report" | sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
if [ -z "$score" ] || ! awk -v s="$score" 'BEGIN { exit !(s <= 2.0) }'; then
    echo "$report" | grep -v '✓'
    echo "FAIL: exposure '$score' is not at most 2.0"
    exit 1
fi

# verify checks that ExecStart= names an executable: the unit as installed, run from this build.
copy=$work/$(basename "$unit")
sed "s|^ExecStart=/usr/bin/kurvanctl |ExecStart=$kurvanctl |" "$unit" >"$copy"
found=$(systemd-analyze verify --man=no "$copy" 2>&1)
if [ $? -ne 0 ] || [ -n "$found" ] || cmp -s "$unit" "$copy"; then
    echo "$found"
    echo "FAIL: systemd-analyze verify (or ExecStart= does not start /usr/bin/kurvanctl)"
    exit 1
fi
echo "kurvan-remote.service: exposure $score, verified"

#!/bin/sh
# Checks the desktop entry against the freedesktop.org rules. Hints (advice such as "two main categories") are
# shown but pass; errors and warnings fail.
# Usage: desktop_entry.sh DESKTOP_FILE
set -u
entry=$1

if ! command -v desktop-file-validate >/dev/null 2>&1; then
    echo "SKIP: desktop-file-validate not found (Debian package desktop-file-utils)"
    exit 77
fi

output=$(desktop-file-validate "$entry" 2>&1)
status=$?
[ -n "$output" ] && echo "$output"
if [ "$status" -ne 0 ] || echo "$output" | grep -qE '(error|warning):'; then
    echo "FAIL: $entry does not validate"
    exit 1
fi
echo "desktop entry valid"

#!/bin/sh
# kurvanctl's libraries: Qt Core and Network, and no Gui or Widgets, so it starts without a display.
# Usage: links_no_gui.sh <kurvanctl>
set -eu
libraries=$(ldd "$1") || { echo "links_no_gui: ldd failed on $1" >&2; exit 1; }
echo "$libraries" | grep -q 'libQt6Core\.so' || { echo "links_no_gui: no Qt Core in ldd's list" >&2; exit 1; }
if echo "$libraries" | grep -E 'libQt6(Gui|Widgets|OpenGL|DBus)\.so'; then
    echo "links_no_gui: kurvanctl links a library it must not" >&2
    exit 1
fi
env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= "$1" --version | grep -qx 'kurvanctl [0-9.]*' ||
    { echo "links_no_gui: --version fails without a display" >&2; exit 1; }
echo "links_no_gui: Qt Core and Network only"

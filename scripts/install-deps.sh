#!/usr/bin/env bash
# Installs, from Debian 12's packages, whatever the build, the tests and the demo need and is
# not installed yet. Run as root (or with sudo available).
set -euo pipefail

# Arguments name other packages to install instead (scripts/windows.sh passes its own).
if [ $# -gt 0 ]; then
    packages=("$@")
else
    packages=(
        g++ cmake ninja-build qt6-base-dev qt6-qpa-plugins   # build
        clang libclang-rt-14-dev                               # fuzzers and sanitizers
        libbenchmark-dev                                       # benchmarks
        xvfb xauth xdotool x11-utils imagemagick               # windows without a desktop, screenshots
        fonts-dejavu-core fonts-liberation fonts-symbola       # the panel's faces and symbols
        desktop-file-utils dpkg-dev                            # desktop entry check, Debian package
        lintian systemd                                        # package check, the service unit's sandbox
        dbus playerctl                                         # a private session bus and a media remote
        chromium chromium-driver python3-selenium curl         # the web remote in a real browser
        openssl                                                # certificates for the web remote's TLS checks
        zsh fish                                               # kurvanctl's completion, tried in those shells
    )
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${missing[@]}"

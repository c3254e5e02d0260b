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
        pkg-config libssl-dev libqrencode-dev                  # the web remote's certificates and QR code
        clang libclang-rt-14-dev                               # fuzzers and sanitizers
        libbenchmark-dev                                       # benchmarks
        xvfb xauth xdotool x11-utils imagemagick               # windows without a desktop, screenshots
        fonts-dejavu-core fonts-liberation fonts-symbola       # the panel's faces and symbols
        desktop-file-utils dpkg-dev                            # desktop entry check, Debian package
        lintian systemd                                        # package check, the service unit's sandbox
        dbus playerctl                                         # a private session bus and a media remote
        chromium chromium-driver python3-selenium curl         # the web remote in a real browser
        openssl libnss3-tools zbar-tools                       # TLS checks: certificates, a browser's trust, QR decoding
        zsh fish                                               # kurvanctl's completion, tried in those shells
    )
    # The browser test's accessibility checks (axe-core, from npm) need node and npm; an image
    # that brings its own node keeps it.
    command -v npm >/dev/null || packages+=(nodejs npm)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update
    $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

# axe-core at the version tests/web/package-lock.json pins, into tests/web/node_modules (not
# committed); again only when the lock names another version than the one there.
if [ $# -eq 0 ]; then
    web="$(dirname "$0")/../tests/web"
    if ! node -e 'const [dir] = process.argv.slice(1);
                  const locked = require(dir + "/package-lock.json").packages["node_modules/axe-core"].version;
                  process.exit(require(dir + "/node_modules/axe-core/package.json").version === locked ? 0 : 1);' \
         "$(cd "$web" && pwd)" 2>/dev/null; then
        echo "Installing axe-core for the browser test"
        (cd "$web" && npm ci --no-audit --no-fund)
    fi
fi

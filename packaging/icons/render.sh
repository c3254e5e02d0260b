#!/bin/sh
# Renders the program icon from kurvan-client.svg into the committed PNGs. Run by hand after changing the drawing;
# the build itself only copies the results.
# Needs: rsvg-convert (librsvg2-bin), convert (imagemagick), optipng.
set -eu
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

for size in 16 24 32 48; do
    mkdir -p "$size"
    rsvg-convert -w "$size" -h "$size" -f png kurvan-client.svg -o "$tmp/rgba.png"

    # 8-bit RGBA: keep the anti-aliased edges; forbid optipng from turning it into a palette image.
    convert "$tmp/rgba.png" -define png:color-type=6 -define png:bit-depth=8 "PNG32:$size/kurvan-client.png"
    optipng -quiet -o7 -nc -nb -strip all "$size/kurvan-client.png"

    # Palette variant for 256-colour displays: edges are either fully opaque or fully transparent (a palette
    # entry per alpha level would waste the table), at most 255 colours plus the transparent one, no dithering
    # so that the small sizes stay clean.
    convert "$tmp/rgba.png" -channel A -threshold 50% +channel -dither None -colors 255 \
        -define png:bit-depth=8 "PNG8:$size/kurvan-client-8bit.png"
    optipng -quiet -o7 -nc -nb -strip all "$size/kurvan-client-8bit.png"
done

# The Windows program icon: the four full-colour sizes in one .ico, embedded by packaging/windows.
convert 16/kurvan-client.png 24/kurvan-client.png 32/kurvan-client.png 48/kurvan-client.png \
    ../windows/kurvan-client.ico

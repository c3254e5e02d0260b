#!/bin/sh
# Renders the web remote's home-screen icons and favicon from the program icon
# (packaging/icons/kurvan-client.svg) into the committed files beside this script. Run by hand
# after changing the drawing; the build only embeds the results.
# Needs: rsvg-convert (librsvg2-bin), convert (imagemagick), optipng.
set -eu
cd "$(dirname "$0")"
svg=../../../../packaging/icons/kurvan-client.svg
# The cabinet's own dark brown: the tile behind the icon where a phone wants no transparency.
tile='#2b140a'
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

png() { # SIZE OUT: the drawing alone, transparent around it
    rsvg-convert -w "$1" -h "$1" -f png "$svg" -o "$2"
}

# On a full tile, the drawing at SHARE percent of the side: a maskable icon must keep everything
# inside the middle 80 % circle, and iOS fills transparent corners with black.
on_tile() { # SIZE SHARE OUT
    inner=$(($1 * $2 / 100))
    png "$inner" "$tmp/inner.png"
    convert -size "$1x$1" "xc:$tile" "$tmp/inner.png" -gravity center -composite "$3"
}

png 192 icon-192.png
png 512 icon-512.png
on_tile 512 64 icon-maskable-512.png
on_tile 180 80 apple-touch-icon.png
for size in 16 32; do
    png "$size" "$tmp/favicon-$size.png"
done
convert "$tmp/favicon-16.png" "$tmp/favicon-32.png" favicon.ico

for f in icon-192.png icon-512.png icon-maskable-512.png apple-touch-icon.png; do
    convert "$f" -define png:color-type=6 -define png:bit-depth=8 "PNG32:$f"
    optipng -quiet -o7 -strip all "$f"
done

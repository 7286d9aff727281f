#!/bin/sh
# Makes the tiny WebP samples of the WebP handler tests with ImageMagick (source pictures) and
# the webp tools: simple lossy (VP8) and lossless (VP8L, with alpha) files, an extended lossy
# file with an alpha chunk, and an animation. Odd sizes give odd-sized chunks. Run from
# anywhere; writes beside this script. The samples hold no XMP; tests add it.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
magick=$(command -v magick || command -v convert)

$magick -size 17x11 gradient:red-blue "$tmp/opaque.png"
$magick -size 13x9 gradient:green-none "$tmp/alpha.png"
$magick -size 13x9 xc:yellow "$tmp/frame2.png"

cwebp -quiet -q 50 -metadata none "$tmp/opaque.png" -o "$here/lossy.webp"
cwebp -quiet -lossless -metadata none "$tmp/alpha.png" -o "$here/lossless.webp"
cwebp -quiet -q 50 -metadata none "$tmp/alpha.png" -o "$here/alpha.webp"
img2webp -q 50 -d 100 "$tmp/alpha.png" "$tmp/frame2.png" -o "$here/animated.webp" >/dev/null

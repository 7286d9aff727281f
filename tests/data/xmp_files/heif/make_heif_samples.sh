#!/bin/sh
# Makes the tiny HEIF-family samples of the HEIF handler tests with libheif's heif-enc (HEIC)
# and libavif's avifenc (AVIF), from images drawn by ImageMagick. Run from anywhere; writes
# into tests/data/xmp_files/heif. Only xmp-*.* hold XMP (written by the encoders themselves).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
convert -size 32x24 gradient:red-blue "$tmp/a.png"
convert -size 32x24 gradient:green-yellow "$tmp/b.png"
cat > "$tmp/xmp.xml" <<'XMP'
<?xpacket begin="﻿" id="W5M0MpCehiHzreSzNTczkc9d"?>
<x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#"><rdf:Description rdf:about="" xmlns:dc="http://purl.org/dc/elements/1.1/"><dc:title><rdf:Alt><rdf:li xml:lang="x-default">Written by the encoder</rdf:li></rdf:Alt></dc:title></rdf:Description></rdf:RDF></x:xmpmeta>
<?xpacket end="w"?>
XMP
# A JPEG carrying the packet, for heif-enc, which copies the metadata of its input.
convert "$tmp/a.png" "$tmp/a.jpg"
exiftool -q -overwrite_original "-xmp<=$tmp/xmp.xml" "$tmp/a.jpg"

# HEIC: a plain image (its grid layout in 'idat'), one with a thumbnail, one with XMP.
heif-enc -q 30 -o "$here/plain.heic" "$tmp/a.png" >/dev/null
heif-enc -q 30 -t 8 -o "$here/thumb.heic" "$tmp/a.png" >/dev/null
heif-enc -q 30 -o "$here/xmp-enc.heic" "$tmp/a.jpg" >/dev/null
# AVIF: a plain image, one with XMP, and an image sequence (brand 'avis', with a track).
avifenc -s 10 --min 40 --max 50 "$tmp/a.png" "$here/plain.avif" >/dev/null
avifenc -s 10 --min 40 --max 50 --xmp "$tmp/xmp.xml" "$tmp/a.png" "$here/xmp-enc.avif" >/dev/null
avifenc -s 10 --min 40 --max 50 --fps 4 "$tmp/a.png" "$tmp/b.png" "$here/sequence.avifs" >/dev/null

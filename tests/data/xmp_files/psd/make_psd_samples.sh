#!/bin/sh
# Makes the tiny Photoshop samples of the PSD handler tests with ImageMagick: an 8-bit RGB
# document with one layer, an RLE-compressed one with two layers of different sizes, and a
# 16-bit greyscale large-document (PSB, version 2) file. Run from anywhere; writes beside
# this script. The samples hold no XMP; tests add it.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
convert -size 8x6 gradient:red-blue -type TrueColor -depth 8 "$here/rgb.psd"
convert -size 8x6 gradient:red-blue -type TrueColor \( -size 8x6 gradient:yellow-green \) \
  \( -size 4x3 xc:green -type TrueColor \) -depth 8 -compress RLE "$here/layers.psd"
convert -size 6x4 gradient:white-black -colorspace Gray -depth 16 "$here/gray16.psb"

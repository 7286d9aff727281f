#!/bin/sh
# Makes the tiny image samples of the file-handler tests with ImageMagick (Debian package
# imagemagick, `convert`). The files carry no XMP; the tests add it with our handlers and with
# ExifTool. Run from anywhere; writes into images/ beside this script.
set -e
out="$(dirname "$0")/images"
mkdir -p "$out"
convert -size 16x12 gradient:red-blue -strip "$out/sample.jpg"
convert -size 16x12 gradient:green-yellow -strip "$out/sample.png"
convert -size 16x12 gradient:white-black -colors 16 -strip "$out/sample.gif"
convert -size 16x12 gradient:red-blue -depth 8 -strip -define tiff:endian=lsb -compress none "$out/sample-ii.tif"
convert -size 16x12 gradient:red-blue -depth 8 -strip -define tiff:endian=msb -compress none "$out/sample-mm.tif"

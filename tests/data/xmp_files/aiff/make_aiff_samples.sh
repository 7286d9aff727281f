#!/bin/sh
# Makes the tiny AIFF samples of the AIFF handler tests with sox (Debian package sox). Run
# from anywhere; writes beside this script. The samples hold no XMP; tests add it.
#   tone.aiff: AIFF, 16-bit mono.
#   odd.aifc:  AIFF-C, 8-bit mono, 89 samples: an odd-sized sound chunk whose pad byte sox
#              leaves out of the FORM size, as several writers do.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
# No comment chunk (sox would stamp it with the time of the run), no dither (random).
sox -D -n --comment "" -r 8000 -b 16 -c 1 "$here/tone.aiff" synth 0.02 sine 440
sox -D -n --comment "" -r 8000 -b 8 -c 1 "$here/odd.aifc" synth 89s sine 300

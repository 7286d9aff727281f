#!/bin/sh
# Regenerates the packets written by ExifTool that the interoperability tests read.
# Usage: sh make_fixtures.sh   (in this folder; needs exiftool)
set -e
cd "$(dirname "$0")"
rm -f exiftool_basic.xmp exiftool_shorthand.xmp exiftool_structs.xmp

exiftool -q -o exiftool_basic.xmp '-XMP-dc:Title=Sunset & <Sea>' \
  '-XMP-dc:Title-fr=Coucher "de" soleil' -XMP-dc:Subject=beach '-XMP-dc:Subject=sea, sand' \
  '-XMP-dc:Creator=Ann Smith' -XMP-dc:Creator=Bob -XMP-xmp:Rating=4 \
  '-XMP-xmp:CreateDate=2021:03:04 05:06:07+02:00' -XMP-exif:FlashFired=True \
  -XMP-xmpMM:HistoryAction=saved '-XMP-xmpMM:HistoryWhen=2021:01:01 00:00:00Z' \
  -XMP-iptcCore:CreatorCity=Paris "-XMP-dc:Description=Line1
Line2 $(printf '\303\251\342\202\254')"

exiftool -q -api XMPShorthand=1 -o exiftool_shorthand.xmp -XMP-xmp:Rating=2 \
  -XMP-xmp:Label=Red -XMP-photoshop:City=Berlin -XMP-dc:Format=image/jpeg \
  -XMP-exif:FlashFired=False

exiftool -q -o exiftool_structs.xmp -XMP-iptcExt:LocationShownCity=Rome \
  -XMP-iptcExt:LocationShownCity=Oslo -XMP-iptcExt:LocationShownCountryName=Italy \
  -XMP-mwg-rs:RegionAppliedToDimensionsW=4000 -XMP-mwg-rs:RegionAppliedToDimensionsH=3000 \
  -XMP-mwg-rs:RegionAppliedToDimensionsUnit=pixel -XMP-mwg-rs:RegionName=Face \
  -XMP-mwg-rs:RegionAreaX=0.5 -XMP-mwg-rs:RegionAreaY=0.25 -XMP-mwg-rs:RegionType=Face \
  -XMP-xmpRights:Marked=True -XMP-xmpRights:WebStatement=http://example.com/rights

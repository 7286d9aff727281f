#!/bin/sh
# Makes the two bundled samples and gives them rich XMP metadata:
#   photo.jpg  320x213 JPEG (ImageMagick), camera, rights, IPTC Core/Extension and PLUS data
#   clip.mp4   2 s of 160x120 H.264 video with AAC audio (ffmpeg), with xmpDM data
# ExifTool writes the standard schemas; `veltmeta set` then writes the image editor's
# (lumara view, photoshop: namespace) and the asset server's (zpx) properties.
# Usage: samples/make_samples.sh [VELTMETA]   (default: build/release/tools/veltmeta/veltmeta)
# Needs the Debian packages imagemagick, ffmpeg and libimage-exiftool-perl.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
tool=${1:-$here/../build/release/tools/veltmeta/veltmeta}
work=$(mktemp -d "${TMPDIR:-/tmp}/velt-samples-XXXXXX")
trap 'rm -rf "$work"' EXIT
# The user's preferences (custom definitions, recent values) stay out of it.
export VELTCORE_PREFS_DIR="$work/prefs"

# ---- Media ----------------------------------------------------------------------------------
convert -size 320x213 -seed 11 plasma:steelblue-darkorange -blur 0x3 \
        -fill '#1b2a3a' -draw 'rectangle 0,150 320,213' -strip -quality 72 "$work/photo.jpg"
ffmpeg -loglevel error -f lavfi -i 'testsrc2=size=160x120:rate=12:duration=2' \
       -f lavfi -i 'sine=frequency=440:sample_rate=22050:duration=2' \
       -c:v libx264 -preset veryslow -crf 38 -pix_fmt yuv420p -c:a aac -b:a 24k -ac 1 \
       -map_metadata -1 -fflags +bitexact -movflags +faststart "$work/clip.mp4"

# ---- Shared: dc, xmp, xmpRights, IPTC Core and Extension ------------------------------------
common() {
  exiftool -q -overwrite_original -m \
    -XMP-dc:Creator='Mira Okafor' -XMP-dc:Rights='© 2024 Mira Okafor. All rights reserved.' \
    -XMP-dc:Subject=harbour -XMP-dc:Subject=dusk -XMP-dc:Subject=Galway \
    -XMP-dc:Language=en -XMP-dc:Publisher='Orvane Press' \
    -XMP-xmp:Rating=4 -XMP-xmp:Label=Blue -XMP-xmp:CreatorTool='veltmetadata samples' \
    -XMP-xmp:CreateDate='2024:06:21 21:42:10+01:00' -XMP-xmp:ModifyDate='2024:06:22 09:15:00+01:00' \
    -XMP-xmp:MetadataDate='2024:06:22 09:15:00+01:00' -XMP-xmp:Nickname='harbour-dusk' \
    -XMP-xmpRights:Marked=True -XMP-xmpRights:Owner='Mira Okafor' \
    -XMP-xmpRights:WebStatement='https://example.com/licences/harbour' \
    -XMP-xmpRights:UsageTerms='Editorial use only; credit required.' \
    -XMP-iptcCore:CountryCode=IE -XMP-iptcCore:Location='Claddagh Quay' \
    -XMP-iptcCore:IntellectualGenre=Feature -XMP-iptcCore:Scene=011900 \
    -XMP-iptcCore:SubjectCode=01000000 -XMP-iptcCore:CreatorCity=Galway \
    -XMP-iptcCore:CreatorCountry=Ireland -XMP-iptcCore:CreatorWorkEmail=mira@example.com \
    -XMP-iptcCore:CreatorWorkURL=https://example.com/mira \
    -XMP-iptcExt:Event='Galway Hooker Regatta' -XMP-iptcExt:PersonInImage='Seán Ó Flaithearta' \
    -XMP-iptcExt:OrganisationInImageName='Claddagh Sailing Club' \
    -XMP-iptcExt:LocationCreatedCity=Galway -XMP-iptcExt:LocationCreatedCountryName=Ireland \
    -XMP-iptcExt:LocationCreatedCountryCode=IE -XMP-iptcExt:MaxAvailWidth=4000 \
    -XMP-iptcExt:MaxAvailHeight=2662 \
    -XMP-iptcExt:DigitalSourceType='http://cv.iptc.org/newscodes/digitalsourcetype/digitalCapture' \
    "$@"
}

common -XMP-dc:Title='Harbour at dusk' \
  -XMP-dc:Description='Fishing boats moored at Claddagh Quay as the sun sets over Galway Bay.' \
  -XMP-exif:DateTimeOriginal='2024:06:21 21:42:10+01:00' -XMP-exif:ExposureTime=1/125 \
  -XMP-exif:FNumber=5.6 -XMP-exif:ISO=200 -XMP-exif:FocalLength=35 \
  -XMP-exif:FocalLengthIn35mmFormat=52 -XMP-exif:ExposureProgram#=2 -XMP-exif:MeteringMode#=5 \
  -XMP-exif:WhiteBalance#=0 -XMP-exif:ExposureCompensation=-0.7 -XMP-exif:ColorSpace#=1 \
  -XMP-exif:ExifImageWidth=320 -XMP-exif:ExifImageHeight=213 \
  -XMP-exif:GPSLatitude='53.2679 N' -XMP-exif:GPSLongitude='9.0576 W' -XMP-exif:GPSAltitude=4 \
  -XMP-exif:GPSAltitudeRef#=0 \
  -XMP-exifEX:LensMake=Orvane -XMP-exifEX:LensModel='Orvane 35mm F1.8' \
  -XMP-exifEX:SerialNumber=OV7-104233 -XMP-exifEX:OwnerName='Mira Okafor' \
  -XMP-exifEX:PhotographicSensitivity=200 \
  -XMP-tiff:Make=Orvane -XMP-tiff:Model='OV-7' -XMP-tiff:Orientation#=1 \
  -XMP-tiff:ImageWidth=320 -XMP-tiff:ImageHeight=213 -XMP-tiff:Software='Lumara 3.2' \
  -XMP-tiff:Artist='Mira Okafor' -XMP-tiff:XResolution=300 -XMP-tiff:YResolution=300 \
  -XMP-tiff:ResolutionUnit#=2 \
  -XMP-aux:Lens='Orvane 35mm F1.8' -XMP-aux:SerialNumber=OV7-104233 \
  -XMP-aux:LensSerialNumber=L35-88120 -XMP-aux:Firmware=2.1.0 -XMP-aux:ImageNumber=1842 \
  -XMP-plus:ImageSupplierName='Orvane Press' -XMP-plus:CopyrightOwnerName='Mira Okafor' \
  -XMP-plus:LicensorName='Orvane Press Licensing' -XMP-plus:LicensorEmail=licensing@example.com \
  -XMP-plus:ModelReleaseStatus#=MR-NON -XMP-plus:PropertyReleaseStatus#=PR-NON \
  -XMP-plus:MinorModelAgeDisclosure#=AG-UNK \
  "$work/photo.jpg"

common -XMP-dc:Title='Harbour at dusk (clip)' \
  -XMP-dc:Description='A test pattern with a 440 Hz tone, standing in for a harbour clip.' \
  -XMP-xmpDM:Artist='Mira Okafor' -XMP-xmpDM:Album='Galway Bay' -XMP-xmpDM:Genre=Documentary \
  -XMP-xmpDM:ShotName='Quay, wide' -XMP-xmpDM:Scene=12 -XMP-xmpDM:TakeNumber=3 \
  -XMP-xmpDM:TapeName=GB-2024-06 -XMP-xmpDM:Director='Aoife Byrne' \
  -XMP-xmpDM:Engineer='Tom Keane' -XMP-xmpDM:LogComment='Wind noise after 1 s.' \
  -XMP-xmpDM:Good=True -XMP-xmpDM:VideoFrameRate=12 \
  -XMP-xmpDM:AudioSampleRate=22050 -XMP-xmpDM:AudioChannelType=Mono \
  -XMP-xmpDM:ShotDate='2024:06:21 21:40:00+01:00' -XMP-xmpDM:ShotLocation='Claddagh Quay' \
  -XMP-xmpDM:ReleaseDate='2024:07:01' -XMP-xmpDM:CameraModel='OV-7' \
  "$work/clip.mp4"

# ---- lumara (photoshop:) and zpx, written by veltmeta ---------------------------------------
# Closed choices and booleans are given as a panel labels them (RGB, Approved, High, No);
# veltmeta stores their values. --no-recent keeps the user's recent values out of it.
for f in photo.jpg clip.mp4; do
  "$tool" set --no-recent "$work/$f" photoshop:Headline='Evening on the quay' \
    photoshop:City=Galway photoshop:Country=Ireland \
    photoshop:Credit='Mira Okafor / Orvane Press' photoshop:Source='Orvane Press' \
    photoshop:CaptionWriter='Aoife Byrne' photoshop:TransmissionReference=GB-0621 \
    photoshop:Urgency=4 photoshop:ColorMode=RGB photoshop:ICCProfile='sRGB IEC61966-2.1' \
    photoshop:LayerCount=3 photoshop:HasAlpha=No \
    photoshop:History='Exposure +0.3; cropped to 3:2; sky darkened with a graduated filter.' \
    zpx:AssetID=A-2024-0621-17 zpx:Project='Galway Bay' zpx:Collections='Harbours; Summer 2024' \
    zpx:Tags='boats; sunset' zpx:Status=Approved zpx:Priority=High zpx:Owner='Mira Okafor' \
    zpx:Assignee='Aoife Byrne' zpx:DueDate=2024-07-15 zpx:Approver='Seán Ó Flaithearta' \
    zpx:ApprovalDate=2024-06-24T10:30:00+01:00 zpx:VersionNumber=2 \
    zpx:VersionComment='Sky darkened.' zpx:CheckedOut=No >/dev/null
done

cp "$work/photo.jpg" "$work/clip.mp4" "$here/"
ls -l "$here/photo.jpg" "$here/clip.mp4"

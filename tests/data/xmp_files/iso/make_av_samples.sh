#!/bin/sh
# Makes the tiny audio/video samples of the ISO media, RIFF and MP3 handler tests, with
# ffmpeg (video, MP4/MOV/3GP/M4A/AVI/MP3) and sox (WAV). Run from anywhere; writes into
# tests/data/xmp_files/{iso,riff,mpeg}. The samples hold no XMP; tests add it.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
iso=$here
riff=$here/../riff
mpeg=$here/../mpeg
ff="ffmpeg -hide_banner -loglevel error -y -bitexact"
video="-f lavfi -i testsrc=size=32x24:rate=4:duration=1"
audio="-f lavfi -i sine=frequency=440:sample_rate=8000:duration=1"

# ISO base media: media data before moov (the default), and moov before media (faststart).
$ff $video $audio -c:v mpeg4 -q:v 10 -c:a aac -b:a 16k -shortest "$iso/moov_last.mp4"
$ff $video $audio -c:v mpeg4 -q:v 10 -c:a aac -b:a 16k -shortest -movflags +faststart \
  "$iso/moov_first.mp4"
$ff $audio -c:a aac -b:a 16k "$iso/audio.m4a"
$ff -f lavfi -i testsrc=size=128x96:rate=4:duration=1 -c:v h263 -q:v 20 "$iso/video.3gp"
# QuickTime: brand "qt  ", XMP lives in moov/udta.
$ff $video $audio -c:v mpeg4 -q:v 10 -c:a aac -b:a 16k -shortest "$iso/movie.mov"
$ff $video $audio -c:v mpeg4 -q:v 10 -c:a aac -b:a 16k -shortest -movflags +faststart \
  "$iso/movie_first.mov"

# RIFF: WAV with an odd-sized data chunk (8-bit mono, 801 samples), 16-bit WAV, and AVI.
sox -r 8000 -n -r 8000 -b 8 -c 1 "$riff/odd.wav" synth 1 sine 440 trim 0 801s
sox -r 8000 -n -r 8000 -b 16 -c 1 "$riff/tone.wav" synth 0.05 sine 440
$ff $video -c:v mjpeg -q:v 20 "$riff/video.avi"

# MP3: ID3v2.4 tag (ffmpeg's default), ID3v2.3 tag, and no tag at all.
$ff $audio -c:a libmp3lame -b:a 8k -metadata title=Tone "$mpeg/v24.mp3"
$ff $audio -c:a libmp3lame -b:a 8k -metadata title=Tone -id3v2_version 3 "$mpeg/v23.mp3"
$ff $audio -c:a libmp3lame -b:a 8k -id3v2_version 0 -map_metadata -1 "$mpeg/notag.mp3"

#!/usr/bin/env bash
# Remakes the H.265 test streams of this folder with Debian 12's ffmpeg and its libx265
# (x265 3.5). x265 output may differ slightly between versions; the expected numbers in
# H265ParserTest.cpp were taken from these files with ffprobe.
set -euo pipefail
cd "$(dirname "$0")"
enc() { # name size frames pixel-format x265-parameters
  ffmpeg -hide_banner -loglevel error -y -f lavfi -i "testsrc2=size=$2:rate=25" -frames:v "$3" -pix_fmt "$4" \
    -c:v libx265 -x265-params "log-level=error:info=0:$5" -f hevc "$1.h265"
}
enc h265_intra 64x64 4 yuv420p "keyint=1:ctu=16"
enc h265_ippp 64x64 6 yuv420p "bframes=0:keyint=30:ctu=16"
enc h265_bpyramid 64x64 12 yuv420p "bframes=3:b-pyramid=1:b-adapt=0:keyint=30:ctu=16"
enc h265_opengop 64x64 14 yuv420p "open-gop=1:keyint=5:min-keyint=5:bframes=2:b-adapt=0:scenecut=0:ctu=16"
enc h265_idrs 64x64 9 yuv420p "open-gop=0:keyint=3:min-keyint=3:bframes=1:b-adapt=0:scenecut=0:ctu=16"
enc h265_slices4 64x64 3 yuv420p "slices=4:ctu=16:bframes=0"
enc h265_wpp 64x64 3 yuv420p "wpp=1:ctu=16:bframes=1"
enc h265_aud 64x64 5 yuv420p "aud=1:repeat-headers=1:bframes=1:keyint=2:ctu=16"
enc h265_crop 66x50 3 yuv420p "ctu=16:bframes=0"
enc h265_10bit 64x64 4 yuv420p10le "ctu=16:bframes=1"
enc h265_444 64x48 3 yuv444p "ctu=16:bframes=0"
ffmpeg -hide_banner -loglevel error -y -f lavfi -i "testsrc2=size=64x64:rate=25,fade=in:0:8" -frames:v 8 -pix_fmt yuv420p \
  -c:v libx265 -x265-params "log-level=error:info=0:ctu=16:bframes=2:b-adapt=0:weightp=1:weightb=1" -f hevc h265_weighted.h265

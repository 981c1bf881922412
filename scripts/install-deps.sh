#!/usr/bin/env bash
# Installs every Debian 12 package needed to build, run and test Pravix. Safe to run twice:
# packages already present are left alone and apt is not touched at all then.
#   --tools   also install the programs that make or cross-check test files and feed
#             the benchmark (heif-enc/heif-convert, exiftool, ffmpeg, x265, jpegtran, tiffcp, and vips and
#             ImageMagick as the benchmark's peers). No test needs them.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libexif-dev libjsoncpp-dev
  libavcodec-dev libswscale-dev libavutil-dev
  libjpeg62-turbo-dev libpng-dev zlib1g-dev libtiff-dev libopenjp2-7-dev
  qt6-base-dev qt6-svg-dev qt6-translations-l10n xvfb fonts-dejavu-core fonts-wqy-microhei
  xdg-utils desktop-file-utils
  clang libclang-rt-14-dev
)
for arg in "$@"; do
  case "$arg" in
    --tools) packages+=(libheif-examples libimage-exiftool-perl ffmpeg x265 libvips-tools imagemagick libjpeg-turbo-progs libtiff-tools) ;;
    *) echo "usage: $0 [--tools]" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

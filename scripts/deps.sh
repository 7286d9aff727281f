#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; quiet and quick when they are
# already there.
set -euo pipefail
packages=(cmake ninja-build g++ clang libclang-rt-14-dev lld libexpat1-dev libboost-dev
          libgtest-dev libgmock-dev libbenchmark-dev libimage-exiftool-perl pkgconf locales
          zlib1g-dev ffmpeg imagemagick python3 libheif-examples libavif-bin webp sox)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
# The date display tests pin these two locales; generate them once.
for loc in en_US de_DE; do
  locale -a 2>/dev/null | grep -qx "${loc}.utf8" || localedef -i "$loc" -f UTF-8 "${loc}.UTF-8"
done

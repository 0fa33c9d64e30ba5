#!/usr/bin/env bash
# Installs every Debian package the engine, its tools and its tests need. Safe to run twice.
set -euo pipefail
pkgs=(
  build-essential cmake ninja-build pkg-config
  duktape-dev
  libsdl2-dev libsdl2-mixer-dev timgm6mb-soundfont
  libgl-dev libegl-dev libgl1-mesa-dri libegl-mesa0
  libturbojpeg0-dev libjpeg62-turbo-dev
  zlib1g-dev libfreetype-dev libpng-dev fonts-dejavu-core
  googletest libgtest-dev
  imagemagick zip unzip p7zip-full libjpeg-turbo-progs qoi
  xvfb xdotool
  love bc
  vorbis-tools
  libstb-dev  # stb_image, a peer in the PNG benchmark
  libdeflate-dev  # a peer in the inflate benchmark
)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
  echo "setup: all packages present"
fi

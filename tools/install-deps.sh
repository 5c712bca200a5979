#!/usr/bin/env bash
# Installs the Debian 12 packages that Kindora builds, runs and tests with.
set -euo pipefail
packages=(
  build-essential cmake pkg-config
  libgl-dev libglu1-mesa-dev libegl-dev libegl-mesa0 libgl1-mesa-dri
  libx11-dev libxrandr-dev libxinerama-dev
  libjpeg62-turbo-dev libpng-dev libgif-dev libwebp-dev librsvg2-dev
  libglib2.0-dev libgtk-3-dev
  libgtest-dev googletest libbenchmark-dev
  xvfb xauth x11-xserver-utils x11-utils x11-apps imagemagick desktop-file-utils xdg-utils xrestop
  clang libclang-rt-14-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

#!/usr/bin/env bash
# Installs every Debian package that building, testing and benchmarking need.
# Safe to run again: apt skips what is already there.
set -euo pipefail
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
PKGS=(
  # build
  cmake g++ ninja-build ccache pkg-config
  # test and benchmark frameworks
  libgtest-dev libgmock-dev libbenchmark-dev
  # libraries the player links
  zlib1g-dev libpng-dev libjpeg62-turbo-dev libfreetype-dev
  libx11-dev libxext-dev libxfixes-dev libopencv-core-dev libopencv-imgproc-dev
  # X11 tests: virtual server and input injection
  xvfb xauth libxtst-dev x11-utils
  # reference implementations for the benchmarks only
  libpixman-1-dev lua5.1 lua5.4
  # cairo: the reference of the shape-filling benchmark
  libcairo2-dev
  # the layer check and the Unicode table generator
  python3
  # Unicode data for the table generator
  unicode-data
  # compile-only check of the 32-bit ARM record layouts
  g++-arm-linux-gnueabihf
)
export DEBIAN_FRONTEND=noninteractive
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

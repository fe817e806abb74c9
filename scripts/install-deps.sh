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
  # LuaJIT's interpreter (luajit -joff): a further reference for bench/engine/vm
  luajit
  # instruction counts of the benchmarks (callgrind) on a loaded machine
  valgrind
  # cairo: the reference of the shape-filling benchmark
  libcairo2-dev
  # the layer check and the Unicode table generator
  python3
  # Unicode data for the table generator
  unicode-data
  # network test peers: FTP, static HTTP, and curl as the download reference
  python3-pyftpdlib nginx-light curl
  # serial tests: socat joins two pseudo-terminals like a null-modem cable
  socat
  # libswscale: the reference YUV frame conversion of bench/graphics
  libswscale-dev
  # the test-only video decoder plug-in and its benchmarks play real files through FFmpeg
  libavformat-dev libavcodec-dev libswresample-dev
  # compile-only check of the 32-bit ARM record layouts
  g++-arm-linux-gnueabihf
  # display tests: monitors (xrandr), answering GTK requesters (xdotool), screenshots (netpbm), GTK 2 loaded at run time
  x11-xserver-utils xdotool netpbm libgtk2.0-0 libxrandr2
  # window screenshots of the end-to-end clicks test (xwd)
  x11-apps
  # pygame (SDL's dummy video driver): the peer of the layer-moving benchmark
  python3-pygame
  # built-in faces embedded by the font engine (Bitstream Vera)
  ttf-bitstream-vera
  # font engine tests: TrueType, OpenType CFF and a TrueType collection
  fonts-dejavu-core fonts-liberation2 fonts-freefont-otf fonts-wqy-microhei
  # libFuzzer targets (the fuzz preset) with clang's runtime
  clang libclang-rt-14-dev
  # image codec tests: reference decoders, corpus makers, gdk-pixbuf's test pictures
  libturbojpeg0-dev libgif-dev giflib-tools imagemagick netpbm gdk-pixbuf-tests
  # anim tests: AVI and GIF fixtures, and ffprobe checking the AVI writer
  ffmpeg
  # ALSA's header (libasound itself is loaded at run time)
  libasound2-dev
  # sound tests and benchmarks: reference replayers, sox, aplay, modules of Debian's games as a corpus
  libxmp-dev libopenmpt-dev sox alsa-utils tecnoballz-data freedroid-data
  # the sound demo's recording: PulseAudio's null sink behind ALSA's "default", parecord
  pulseaudio pulseaudio-utils libasound2-plugins
)
# `install-deps.sh armhf` adds the 32-bit ARM hard-float cross build: the
# armhf libraries through Debian multiarch and qemu-user to run its tests.
ARMHF_PKGS=(
  # cross compiler and the user-mode emulator that runs the armhf programs
  g++-arm-linux-gnueabihf qemu-user
  # libraries the player and its tests link, for armhf
  libgtest-dev:armhf libgmock-dev:armhf libbenchmark-dev:armhf
  zlib1g-dev:armhf libpng-dev:armhf libjpeg62-turbo-dev:armhf libfreetype-dev:armhf
  libx11-dev:armhf libxext-dev:armhf libxfixes-dev:armhf libxtst-dev:armhf
  libopencv-core-dev:armhf libopencv-imgproc-dev:armhf
  libcairo2-dev:armhf libturbojpeg0-dev:armhf libgif-dev:armhf
  # loaded at run time by the armhf player
  libgtk2.0-0:armhf libxrandr2:armhf
  # ALSA, loaded at run time by the armhf player (its header for the build)
  libasound2-dev:armhf
  # the library of the armhf Lua peer of bench/engine/vm (its program below)
  liblua5.4-0:armhf libreadline8:armhf
)
if [ "${1:-}" = armhf ]; then
  if ! dpkg --print-foreign-architectures | grep -qx armhf; then
    $SUDO dpkg --add-architecture armhf
    $SUDO apt-get update -qq
  fi
  PKGS+=("${ARMHF_PKGS[@]}")
fi
export DEBIAN_FRONTEND=noninteractive
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# The armhf lua5.4 program would replace the host's (one architecture at a
# time): it is unpacked beside the other tools instead.
if [ "${1:-}" = armhf ] && [ ! -x /opt/armhf-lua5.4/usr/bin/lua5.4 ]; then
  tmp=$(mktemp -d)
  chmod 755 "$tmp"  # apt downloads as its own user
  (cd "$tmp" && apt-get download -qq lua5.4:armhf)
  $SUDO dpkg -x "$tmp"/lua5.4_*_armhf.deb /opt/armhf-lua5.4
  rm -rf "$tmp"
fi

# 32-bit ARM hard-float, the player's own platform, cross-compiled with
# Debian's arm-linux-gnueabihf toolchain against the multiarch armhf
# libraries (scripts/install-deps.sh armhf). Programs built here run on this
# machine under qemu-user: CMake prefixes tests and build-time tools with it.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)

set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)

# Libraries and headers from the armhf packages only; programs (python3,
# xvfb-run, xdotool) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/arm-linux-gnueabihf)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/arm-linux-gnueabihf/pkgconfig:/usr/share/pkgconfig)

# Plain qemu-arm: the armhf loader and C library come from multiarch
# (/lib/ld-linux-armhf.so.3, /lib/arm-linux-gnueabihf). Pointing qemu at the
# cross toolchain's copy (-L /usr/arm-linux-gnueabihf) mixes two loaders and
# every new thread crashes.
find_program(CX_QEMU_ARM qemu-arm REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CX_QEMU_ARM})


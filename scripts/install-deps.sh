#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the tools need;
# with the argument win32, those of the Windows build and its tests instead
# (the MinGW-w64 cross compiler, its zlib, Ninja for the libraries' CMake
# builds, dpkg-dev to unpack Debian's source packages of those libraries,
# and wine to run the result); with web, those of the browser build and its
# tests (emscripten, dpkg-dev to unpack zlib's Debian source, zip, node and
# npm for the test driver, Chromium to run the page in).
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

if [ "${1:-}" = "web" ]; then
  packages=(
    emscripten dpkg-dev zip nodejs python3 chromium
  )
  # A node from elsewhere (nodesource's) brings its own npm, which Debian's
  # would conflict with.
  command -v npm >/dev/null || packages+=(npm)
elif [ "${1:-}" = "win32" ]; then
  packages=(
    cmake make ninja-build pkg-config g++-mingw-w64-x86-64 libz-mingw-w64-dev
    dpkg-dev wine wine64 xvfb xauth xdotool ffmpeg
  )
else
  packages=(
    cmake g++ clang pkg-config make
    libsdl1.2-compat-dev libmpg123-dev
    # SDL2 itself, for the test build of the player on win32/sdl12.
    libsdl2-dev libmp3lame-dev libpng-dev zlib1g-dev libx11-dev
    libgl-dev libglu1-mesa-dev libegl-dev libegl-mesa0 libgl1-mesa-dri
    libgtest-dev libbenchmark-dev
    xvfb xauth xdotool ffmpeg
    # A window manager for the full-screen test's virtual screen: without
    # one X never gives the player's window the whole screen.
    evilwm
  )
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: missing packages (${missing[*]}); run as root" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

#!/usr/bin/env bash
# Builds everything (the player, the archive and the soundtrack) and plays the
# demo. With a display it opens the player's window (arguments are passed on,
# e.g. -window or -silent); without one it renders the whole demo to
# build/brass_tide.mp4 with the headless renderer.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)"

cd build
if [ -n "${DISPLAY:-}" ]; then
  exec ./player-linux "$@"
fi
echo "play: no display; rendering the demo to $(pwd)/brass_tide.mp4 (60 frames per second)"
./capture -video brass_tide.mp4
echo "play: done: $(pwd)/brass_tide.mp4"

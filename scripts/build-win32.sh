#!/usr/bin/env bash
# Builds the Windows player, build-win32/player-win32.exe, with the DLLs it
# loads beside it, and its package build-win32/brass_tide-win32.zip.
#
# The player's SDL 1.2 API comes from sdl12-compat over SDL2, as on Linux,
# so that both builds share one full-screen behaviour (the desktop's mode
# kept, the picture scaled into it). SDL2, sdl12-compat and libmpg123 have
# no Debian packages for the MinGW-w64 cross compiler, so they are built
# here from the source archives listed below (taken from $BT_WIN32_SOURCES,
# else ../shared/vendor), whose sha256 must match. They are built as DLLs,
# so that users can replace them, once: later runs reuse them until an
# archive or the recipe changes.
#
# The package takes the archive and the soundtrack from a Linux build
# ($BT_CONTENT_FROM, default build/, where they are generated if missing):
# the content generator runs on the build machine, not under Windows.
#
#   scripts/build-win32.sh            build the player and the package
#   scripts/build-win32.sh --sources  print the folder of the source
#                                     archives, or why there is none (status 1)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
out=$root/build-win32
host=x86_64-w64-mingw32
jobs=$(nproc)
# Bump when the way the libraries are configured changes: they are rebuilt.
recipe=3

# The archives, their sha256 and where they come from (README.md, Windows,
# says how to remake each from its upstream repository).
archives=(SDL2-2.32.10.tar.gz sdl12-compat-1.2.76.tar.gz mpg123.tar.gz)
declare -A sha256=(
  [SDL2-2.32.10.tar.gz]=d84fc17da77f7a7e0b99553f04befc3c0502839dec3ee129864d777bedce2f47
  [sdl12-compat-1.2.76.tar.gz]=6320f12cc4b7557c3c89b9620f6df958d7b490814ff53344a721c50cac054c92
  [mpg123.tar.gz]=41b6ebcf2779183c5f262fc9f0eb4328aa3595e21ff77306bf61fa39a7675cc2
)
declare -A origin=(
  [SDL2-2.32.10.tar.gz]="SDL2, tag release-2.32.10 of github.com/libsdl-org/SDL"
  [sdl12-compat-1.2.76.tar.gz]="sdl12-compat, tag release-1.2.76 of github.com/libsdl-org/sdl12-compat"
  [mpg123.tar.gz]="libmpg123, commit e36b4a88648ed288932c82e8aab98e1fc08fa409 of github.com/libsdl-org/mpg123"
)

# The folder holding every source archive, or a one-line reason on stderr.
find_sources() {
  local dir=${BT_WIN32_SOURCES:-}
  local need="${archives[*]}"
  if [ -z "$dir" ]; then
    if [ ! -d ../shared/vendor ]; then
      echo "no source archives for SDL2, sdl12-compat and libmpg123: put $need in a folder and name it in BT_WIN32_SOURCES, or in ../shared/vendor beside the repository" >&2
      return 1
    fi
    dir=../shared/vendor
  fi
  local f
  for f in "${archives[@]}"; do
    if [ ! -f "$dir/$f" ]; then
      echo "$dir lacks $f: the Windows build needs $need there" >&2
      return 1
    fi
  done
  (cd "$dir" && pwd)
}

# Refuses an archive that is not the one the recipe was made for: another
# release may build, but not into the DLLs that were tested and licensed.
check_sources() {
  local f got
  for f in "${archives[@]}"; do
    got=$(sha256sum "$src/$f" | cut -d' ' -f1)
    if [ "$got" != "${sha256[$f]}" ]; then
      echo "build-win32: $src/$f has sha256 $got, not ${sha256[$f]} (${origin[$f]}; README.md, Windows, says how to make it)" >&2
      return 1
    fi
  done
}

if [ "${1:-}" = "--sources" ]; then
  find_sources
  exit
fi
src=$(find_sources) || exit 1
check_sources || exit 1

scripts/install-deps.sh win32

step() { printf 'build-win32: %s (%s)\n' "$1" "$(date +%T)"; }

# --- SDL2, sdl12-compat and libmpg123, once ----------------------------------
deps=$out/deps
stamp="recipe $recipe $(for f in "${archives[@]}"; do printf '%s ' "${sha256[$f]}"; done)"
if [ "$(cat "$deps/.built" 2>/dev/null)" != "$stamp" ]; then
  step "building SDL2, sdl12-compat and libmpg123 from $src"
  work=$out/deps-work
  rm -rf "$deps" "$work"
  mkdir -p "$work" "$deps/licences"
  for f in "${archives[@]}"; do
    tar xzf "$src/$f" -C "$work"
  done
  # One log per library; shown only when its build fails. The time each
  # took goes to the output, to show which one holds up a cold build.
  run_logged() {
    local log=$work/$1.log what=$2 start=$SECONDS; shift 2
    if ! "$@" >"$log" 2>&1; then
      tail -n 40 "$log"
      echo "build-win32: building $what failed (log: $log)" >&2
      return 1
    fi
    step "$what built in $((SECONDS - start)) s"
  }
  cmake_lib() {
    local dir=$1; shift
    cmake -S "$dir" -B "$dir/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/win32/mingw-w64.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_INSTALL_PREFIX="$deps" "$@" \
      && cmake --build "$dir/build" -j"$jobs" && cmake --install "$dir/build"
  }
  # SDL2 as a DLL with what the player uses: video with OpenGL (WGL),
  # events, timers, threads, and audio with the disk and dummy drivers the
  # tests use beside DirectSound, WASAPI and waveOut. Joysticks, haptics,
  # sensors, power, the 2D renderer (sdl12-compat draws OpenGL windows
  # itself), Vulkan and OpenGL ES are left out: the build takes half the
  # time. Their functions stay in the DLL and report "not available", so
  # sdl12-compat still finds every function it looks up.
  sdl() {
    cmake_lib "$work/SDL2-2.32.10" -DSDL_SHARED=ON -DSDL_STATIC=OFF -DSDL_TEST=OFF \
      -DSDL2_DISABLE_SDL2MAIN=ON -DSDL2_DISABLE_UNINSTALL=ON \
      -DSDL_JOYSTICK=OFF -DSDL_HAPTIC=OFF -DSDL_HIDAPI=OFF -DSDL_SENSOR=OFF -DSDL_POWER=OFF \
      -DSDL_XINPUT=OFF -DSDL_RENDER=OFF -DSDL_VULKAN=OFF -DSDL_OPENGLES=OFF -DSDL_OFFSCREEN=OFF \
      && cmake_lib "$work/sdl12-compat-1.2.76" -DSDL12TESTS=OFF -DSDL2_DIR="$deps/lib/cmake/SDL2" \
      && cp "$deps/lib/pkgconfig/sdl12_compat.pc" "$deps/lib/pkgconfig/sdl.pc"
  }
  mpg123() {
    cd "$work/mpg123" && ./configure --host=$host --prefix="$deps" --disable-static CFLAGS=-O2 \
      --with-cpu=x86-64 --disable-components --enable-libmpg123 && make -j"$jobs" && make install
  }
  # Side by side: SDL2's CMake run and mpg123's configure script each use
  # one core most of their time.
  run_logged sdl "SDL2 and sdl12-compat" sdl &
  sdl_pid=$!
  run_logged mpg123 libmpg123 mpg123 &
  mpg123_pid=$!
  failed=0
  wait $sdl_pid || failed=1
  wait $mpg123_pid || failed=1
  [ $failed -eq 0 ] || exit 1
  # Without debug information: smaller DLLs in the package.
  $host-strip --strip-unneeded "$deps"/bin/*.dll
  cp "$work/SDL2-2.32.10/LICENSE.txt" "$deps/licences/SDL2-LICENSE.txt"
  cp "$work/sdl12-compat-1.2.76/LICENSE.txt" "$deps/licences/sdl12-compat-LICENSE.txt"
  cp "$work/mpg123/COPYING" "$deps/licences/mpg123-COPYING.txt"
  rm -rf "$work"
  echo "$stamp" >"$deps/.built"
fi

# The exact sources of the DLLs go into the package with them: whoever
# receives libmpg123 (LGPL) in binary form is owed its source, and SDL2's
# and sdl12-compat's go along so that every DLL can be rebuilt as shipped.
mkdir -p "$deps/sources"
for f in "${archives[@]}"; do
  cp -u "$src/$f" "$deps/sources/"
done

# --- the archive and the soundtrack from a Linux build ----------------------
content=${BT_CONTENT_FROM:-$root/build}
if [ ! -f "$content/brass_tide.zar" ] || [ ! -f "$content/brass_tide.mp3" ]; then
  step "generating the archive and the soundtrack in $content"
  scripts/install-deps.sh
  cmake -S . -B "$content" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$content" -j"$jobs" --target bt_content
fi

# --- the player and its package ---------------------------------------------
step "building the player"
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$out" -DCMAKE_TOOLCHAIN_FILE="$root/win32/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=Release \
  -DBT_WERROR=ON -DBT_WIN32_DEPS="$deps" -DBT_CONTENT_FROM="$content" "${launcher[@]}" >/dev/null
cmake --build "$out" -j"$jobs"
step "done: $out/player-win32.exe, $out/brass_tide-win32.zip"

#!/usr/bin/env bash
# Builds the Windows player, build-win32/player-win32.exe, with the DLLs it
# loads beside it, and its package build-win32/brass_tide-win32.zip.
#
# SDL 1.2 and libmpg123 have no Debian packages for the MinGW-w64 cross
# compiler, so they are built here from their source archives SDL-1.2.tar.gz
# and mpg123.tar.gz (taken from $BT_WIN32_SOURCES, else ../shared/vendor).
# They are built as DLLs, so that users can replace them, once: later runs
# reuse them until an archive changes.
#
# The package takes the archive and the soundtrack from a Linux build
# ($BT_CONTENT_FROM, default build/, where they are generated if missing):
# the content generator runs on the build machine, not under Windows.
#
#   scripts/build-win32.sh            build the player and the package
#   scripts/build-win32.sh --sources  print the folder of the two source
#                                     archives, or why there is none (status 1)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
out=$root/build-win32
host=x86_64-w64-mingw32
jobs=$(nproc)
# Bump when the way the libraries are configured changes: they are rebuilt.
recipe=2

# The folder holding both source archives, or a one-line reason on stderr.
find_sources() {
  local dir=${BT_WIN32_SOURCES:-}
  local need="SDL-1.2.tar.gz (SDL 1.2) and mpg123.tar.gz (libmpg123)"
  if [ -z "$dir" ]; then
    if [ ! -d ../shared/vendor ]; then
      echo "no source archives for SDL 1.2 and libmpg123: put $need in a folder and name it in BT_WIN32_SOURCES, or in ../shared/vendor beside the repository" >&2
      return 1
    fi
    dir=../shared/vendor
  fi
  for f in SDL-1.2.tar.gz mpg123.tar.gz; do
    if [ ! -f "$dir/$f" ]; then
      echo "$dir lacks $f: the Windows build needs $need there" >&2
      return 1
    fi
  done
  (cd "$dir" && pwd)
}

if [ "${1:-}" = "--sources" ]; then
  find_sources
  exit
fi
src=$(find_sources) || exit 1

scripts/install-deps.sh win32

step() { printf 'build-win32: %s (%s)\n' "$1" "$(date +%T)"; }

# --- SDL 1.2 and libmpg123, once -------------------------------------------
deps=$out/deps
stamp="recipe $recipe $(cd "$src" && sha256sum SDL-1.2.tar.gz mpg123.tar.gz | tr -s ' \n' '  ')"
if [ "$(cat "$deps/.built" 2>/dev/null)" != "$stamp" ]; then
  step "building SDL 1.2 and libmpg123 from $src"
  work=$out/deps-work
  rm -rf "$deps" "$work"
  mkdir -p "$work" "$deps/licences"
  tar xzf "$src/SDL-1.2.tar.gz" -C "$work"
  tar xzf "$src/mpg123.tar.gz" -C "$work"
  # One log per library; shown only when its build fails. Only the DLLs
  # (and SDL's small static SDLmain), without debug information: half the
  # compiling, and smaller DLLs in the package.
  build_lib() {
    local name=$1 dir=$2; shift 2
    if ! (cd "$dir" && ./configure --host=$host --prefix="$deps" --disable-static CFLAGS=-O2 "$@" \
      && make -j"$jobs" && make install) \
      >"$work/$name.log" 2>&1; then
      tail -n 40 "$work/$name.log"
      echo "build-win32: building $name failed (log: $work/$name.log)" >&2
      exit 1
    fi
  }
  # Side by side: their configure scripts run on one core each.
  build_lib SDL "$work/SDL-1.2" &
  sdl=$!
  build_lib mpg123 "$work/mpg123" --with-cpu=x86-64 --disable-components --enable-libmpg123 &
  mpg123=$!
  failed=0
  wait $sdl || failed=1
  wait $mpg123 || failed=1
  [ $failed -eq 0 ] || exit 1
  $host-strip --strip-unneeded "$deps"/bin/*.dll
  cp "$work/SDL-1.2/COPYING" "$deps/licences/SDL-COPYING.txt"
  cp "$work/mpg123/COPYING" "$deps/licences/mpg123-COPYING.txt"
  rm -rf "$work"
  echo "$stamp" >"$deps/.built"
fi

# The exact sources of the two DLLs go into the package with them: whoever
# receives LGPL libraries in binary form is owed their source.
mkdir -p "$deps/sources"
cp -u "$src/SDL-1.2.tar.gz" "$src/mpg123.tar.gz" "$deps/sources/"

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

#!/usr/bin/env bash
# Builds the Windows player, build-win32/player-win32.exe, with the DLLs it
# loads beside it, and its package build-win32/brass_tide-win32.zip.
#
# SDL2 and libmpg123 have no Debian packages for the MinGW-w64 cross
# compiler, so they are built here from Debian's own source packages, the
# releases player-linux runs on: apt fetches them from the mirror this
# system already uses (checked against its signed indexes) and unpacks them
# with Debian's patches. They are built as DLLs, so that users can replace
# them, once: later runs reuse them until a version or the recipe changes.
# The SDL 1.2 calls the player makes come from win32/sdl12/, over SDL2.
#
# The package takes the archive and the soundtrack from a Linux build
# ($BT_CONTENT_FROM, default build/, where they are generated if missing):
# the content generator runs on the build machine, not under Windows.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
out=$root/build-win32
host=x86_64-w64-mingw32
jobs=$(nproc)
# Bump when the way the libraries are configured changes: they are rebuilt.
recipe=4

# The Debian source packages, at the versions Debian 12 runs player-linux
# on: another release may build, but not into the DLLs that were tested.
packages=(libsdl2 mpg123)
declare -A version=([libsdl2]=2.26.5+dfsg-1 [mpg123]=1.31.2-1+deb12u1)

scripts/install-deps.sh win32

step() { printf 'build-win32: %s (%s)\n' "$1" "$(date +%T)"; }

# --- the source packages, once -----------------------------------------------
# apt with private sources lists and private indexes under build-win32/apt:
# the system's configuration stays as it is.
apt_dir=$out/apt
# apt-get with the entries in folder $1 and the private indexes.
apt_get() {
  local entries=$1; shift
  apt-get -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$entries" -o Dir::State::Lists="$apt_dir/lists" \
    -o Dir::Cache="$apt_dir/cache" -o Debug::NoLocking=1 "$@"
}

# A deb-src entry for every deb entry of the system's configuration: the
# same mirror, suites, components and keyring, so no host is named here.
# Each in a folder of its own (entry-N), all of them in all/.
write_source_entries() {
  rm -rf "$apt_dir"
  mkdir -p "$apt_dir/all" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
  local f n=0
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    while read -r line; do
      n=$((n + 1))
      printf '%s\n' "$line" >"$apt_dir/all/$n.list"
    done < <(sed -n 's/^[[:space:]]*deb\([[:space:]]\)/deb-src\1/p' "$f")
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    # deb822 paragraphs: those whose Types name deb, with Types: deb-src.
    n=$(awk -v dir="$apt_dir/all" -v n=$n '
         function flush() { if (keep) { n++; printf "%s", para > (dir "/" n ".sources"); close(dir "/" n ".sources") }
                            para = ""; keep = 0 }
         /^[[:space:]]*$/ { flush(); next }
         /^#/ { next }
         /^Types:/ { keep = ($0 ~ /[[:space:]]deb([[:space:]]|$)/); $0 = "Types: deb-src" }
         { para = para $0 "\n" }
         END { flush(); print n }' "$f")
  done
  if [ "$n" -eq 0 ]; then
    echo "build-win32: the system's apt configuration (/etc/apt/sources.list, /etc/apt/sources.list.d) names no deb entry to take the Debian source packages from" >&2
    return 1
  fi
  for f in "$apt_dir"/all/*; do
    n=${f##*/}
    mkdir -p "$apt_dir/entry-${n%.*}"
    cp "$f" "$apt_dir/entry-${n%.*}/"
  done
}

# The .dsc, .orig and .debian archives of every package in $out/sources.
# A package comes from the first entry that serves every file of it (a
# mirror may list a version whose upstream signature it lacks, where the
# security archive has them all).
fetch_sources() {
  write_source_entries || return 1
  step "reading the source indexes of the system's Debian mirror"
  if ! apt_get "$apt_dir/all" -qq update >"$apt_dir/update.log" 2>&1; then
    cat "$apt_dir/update.log" >&2
    echo "build-win32: apt could not read the source indexes of the system's Debian mirror (above)" >&2
    return 1
  fi
  rm -rf "$out/sources"
  mkdir -p "$out/sources"
  local p entry got
  for p in "${packages[@]}"; do
    got=0
    for entry in "$apt_dir"/entry-*; do
      if (cd "$out/sources" && apt_get "$entry" -qq source --download-only "$p=${version[$p]}") \
          >>"$apt_dir/$p.log" 2>&1; then
        got=1
        break
      fi
    done
    if [ $got -eq 0 ]; then
      echo "build-win32: the Debian mirror serves no source package $p ${version[$p]} ($(grep -m1 '^E:' "$apt_dir/$p.log" || tail -n1 "$apt_dir/$p.log"))" >&2
      return 1
    fi
  done
}

releases=$(for p in "${packages[@]}"; do printf '%s=%s ' "$p" "${version[$p]}"; done)
if [ "$(cat "$out/sources/.fetched" 2>/dev/null)" != "$releases" ]; then
  fetch_sources
  echo "$releases" >"$out/sources/.fetched"
fi

# --- SDL2 and libmpg123, once ------------------------------------------------
deps=$out/deps
stamp="recipe $recipe $releases"
if [ "$(cat "$deps/.built" 2>/dev/null)" != "$stamp" ]; then
  work=$out/deps-work
  rm -rf "$deps" "$work"
  mkdir -p "$work" "$deps/licences"
  for p in "${packages[@]}"; do
    dsc=("$out/sources/${p}_${version[$p]#*:}.dsc")
    if ! dpkg-source --no-copy -x "${dsc[0]}" "$work/$p" >"$work/$p-unpack.log" 2>&1; then
      cat "$work/$p-unpack.log" >&2
      echo "build-win32: unpacking ${dsc[0]} failed (above)" >&2
      exit 1
    fi
  done
  step "building SDL2 and libmpg123"
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
  # SDL2 as a DLL with what the player uses: video with OpenGL (WGL),
  # events, timers, threads, and audio with the disk and dummy drivers the
  # tests use beside DirectSound, WASAPI and waveOut. Joysticks, haptics,
  # sensors, power, the 2D renderer, Vulkan and OpenGL ES are left out: the
  # build takes half the time. Their functions stay in the DLL and report
  # "not available".
  sdl() {
    cmake -S "$work/libsdl2" -B "$work/libsdl2/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/win32/mingw-w64.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_INSTALL_PREFIX="$deps" \
      -DSDL_SHARED=ON -DSDL_STATIC=OFF -DSDL_TEST=OFF -DSDL2_DISABLE_SDL2MAIN=ON -DSDL2_DISABLE_UNINSTALL=ON \
      -DSDL_JOYSTICK=OFF -DSDL_HAPTIC=OFF -DSDL_HIDAPI=OFF -DSDL_SENSOR=OFF -DSDL_POWER=OFF \
      -DSDL_XINPUT=OFF -DSDL_RENDER=OFF -DSDL_VULKAN=OFF -DSDL_OPENGLES=OFF -DSDL_OFFSCREEN=OFF \
      && cmake --build "$work/libsdl2/build" -j"$jobs" && cmake --install "$work/libsdl2/build"
  }
  # libmpg123 alone: this release's build has no switch for leaving out
  # libout123, libsyn123 and the mpg123 program, so only its library is
  # made and installed. The build machine's pkg-config files stay out of it.
  mpg123() {
    cd "$work/mpg123" && PKG_CONFIG_LIBDIR=/usr/$host/lib/pkgconfig ./configure --host=$host --prefix="$deps" \
      --disable-static CFLAGS=-O2 --with-cpu=x86-64 --enable-modules=no --with-audio=dummy \
      && make -j"$jobs" src/libmpg123/libmpg123.la \
      && mkdir -p "$deps/lib/pkgconfig" "$deps/include" \
      && ./libtool --mode=install install -c src/libmpg123/libmpg123.la "$deps/lib/libmpg123.la" \
      && install -m644 src/libmpg123/mpg123.h src/libmpg123/fmt123.h -t "$deps/include" \
      && install -m644 libmpg123.pc -t "$deps/lib/pkgconfig"
  }
  # Side by side: SDL2's CMake run and mpg123's configure script each use
  # one core most of their time.
  run_logged sdl SDL2 sdl &
  sdl_pid=$!
  run_logged mpg123 libmpg123 mpg123 &
  mpg123_pid=$!
  failed=0
  wait $sdl_pid || failed=1
  wait $mpg123_pid || failed=1
  [ $failed -eq 0 ] || exit 1
  # Without debug information: smaller DLLs in the package.
  $host-strip --strip-unneeded "$deps"/bin/*.dll
  # Debian's copyright files: every licence in each package, with its authors.
  cp "$work/libsdl2/LICENSE.txt" "$deps/licences/SDL2-LICENSE.txt"
  cp "$work/libsdl2/debian/copyright" "$deps/licences/SDL2-copyright.txt"
  cp "$work/mpg123/debian/copyright" "$deps/licences/mpg123-copyright.txt"
  cp "$work/mpg123/COPYING" "$deps/licences/mpg123-COPYING.txt"
  rm -rf "$work"
  echo "$stamp" >"$deps/.built"
fi

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
  -DBT_WERROR=ON -DBT_WIN32_DEPS="$deps" -DBT_WIN32_SOURCES_DIR="$out/sources" -DBT_CONTENT_FROM="$content" \
  "${launcher[@]}" >/dev/null
cmake --build "$out" -j"$jobs"
step "done: $out/player-win32.exe, $out/brass_tide-win32.zip"

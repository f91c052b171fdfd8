#!/usr/bin/env bash
# Builds the demo for the browser (WebAssembly + WebGL 2) with Debian's
# emscripten into build-web/, and packs build-web/brass_tide-web.zip: the
# page, the script and its WebAssembly, the archive, the soundtrack and the
# licences. Nothing is downloaded but Debian's own zlib source package,
# fetched by apt from the mirror this system already uses and checked by
# apt against its signed indexes. Builds are reused: run it again after a
# change and only what changed is compiled.
#
# The archive and the soundtrack come from a Linux build: BT_CONTENT_FROM
# (default build/), where they are generated if missing.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
out=$root/build-web
content=${BT_CONTENT_FROM:-$root/build}
jobs=${BT_JOBS:-$(nproc)}
mkdir -p "$out"

scripts/install-deps.sh web

# Debian's node is not always the one on PATH; emscripten needs Debian's
# JavaScript modules (acorn) either way.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
# emscripten keeps its cache in the system tree, frozen: nothing is fetched.
export EM_FROZEN_CACHE=1

# --- zlib, from Debian's source package of the version this system runs ---
zlib_version=$(dpkg-query -W -f='${source:Version}' zlib1g)
zlib_dir=$out/zlib
if [ ! -f "$zlib_dir/stamp-$zlib_version" ]; then
  apt_dir=$out/apt
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/parts" "$apt_dir/src"
  # The system's own binary entries, turned into source entries, in a
  # private configuration: the system's apt setup stays as it is.
  : >"$apt_dir/sources.sources"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && sed 's/^Types:.*/Types: deb-src/' "$f" >>"$apt_dir/sources.sources" && echo >>"$apt_dir/sources.sources"
  done
  if [ -f /etc/apt/sources.list ]; then
    grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' >"$apt_dir/parts/system.list" || true
  fi
  cp "$apt_dir/sources.sources" "$apt_dir/parts/system.sources"
  apt_opts=(-o "Dir::Etc::SourceList=/dev/null" -o "Dir::Etc::SourceParts=$apt_dir/parts"
            -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
            -o "Debug::NoLocking=1" -o "APT::Sandbox::User=$(id -un)")
  apt-get "${apt_opts[@]}" -qq update
  rm -rf "$apt_dir/src" && mkdir -p "$apt_dir/src"
  (cd "$apt_dir/src" && apt-get "${apt_opts[@]}" -qq source --download-only "zlib=$zlib_version")
  rm -rf "$zlib_dir" && mkdir -p "$zlib_dir"
  # apt checked the files against the signed indexes; dpkg-source, lacking
  # the uploader's key, only says so.
  (cd "$zlib_dir" && dpkg-source -q -x "$apt_dir"/src/zlib_*.dsc src >"$zlib_dir/unpack.log" 2>&1)
  # The library's own sources, with Debian's patches, compiled as C.
  zlib_objs=()
  for c in adler32 crc32 deflate infback inffast inflate inftrees trees zutil compress uncompr; do
    emcc -O2 -c "$zlib_dir/src/$c.c" -o "$zlib_dir/$c.o"
    zlib_objs+=("$zlib_dir/$c.o")
  done
  emar rcs "$zlib_dir/libz.a" "${zlib_objs[@]}"
  touch "$zlib_dir/stamp-$zlib_version"
fi

# --- the player, on the GL layer over WebGL 2 ---
make -s -j"$jobs" -C web ROOT="$root" OUT="$out" ZLIB="$zlib_dir" ${BT_WERROR:+WERROR=1}

# --- the package ---
site=$out/site
rm -rf "$site" && mkdir -p "$site"
cp web/page/index.html web/page/page.js web/page/page.css "$site/"
cp "$out/brass_tide.js" "$out/brass_tide.wasm" "$site/"
for f in brass_tide.zar brass_tide.mp3; do
  if [ ! -f "$content/$f" ]; then
    echo "build-web: $content/$f is missing: build the demo first (cmake --build build)" >&2
    exit 1
  fi
  cp "$content/$f" "$site/"
done
mkdir -p "$site/licences"
cp /usr/share/doc/zlib1g/copyright "$site/licences/zlib.txt"
cp /usr/share/doc/emscripten/copyright "$site/licences/emscripten.txt"
rm -f "$out/brass_tide-web.zip"
(cd "$site" && zip -q -r -X "$out/brass_tide-web.zip" .)
echo "build-web: $out/brass_tide-web.zip ($(du -k "$out/brass_tide-web.zip" | cut -f1) KiB)"

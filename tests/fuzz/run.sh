#!/bin/sh
# Builds one fuzz target with clang's libFuzzer (ASan + UBSan) and runs it.
#   tests/fuzz/run.sh [TARGET] [SECONDS] [WORK_DIR] [LIBFUZZER_FLAGS...]
# TARGET: zar (the archive reader, the default), png or obj (the archive
# tool's importers). SECONDS defaults to 60; WORK_DIR (default build-fuzz)
# keeps the binaries, the growing corpora (corpus for zar, png_corpus,
# obj_corpus) and any crash inputs (TARGET-crash-*); further flags go to
# libFuzzer (e.g. -jobs=2 -workers=2, or -runs=1000000). A crash input is a
# bug: fix it, then copy the input into the target's regressions folder
# (tests/fuzz/regressions, png_regressions, obj_regressions) so every build
# replays it.
set -e
target=zar
case "${1:-}" in zar|png|obj) target=$1; shift ;; esac
secs=${1:-60}
work=${2:-build-fuzz}
if [ $# -gt 0 ]; then shift; fi
if [ $# -gt 0 ]; then shift; fi
root=$(cd "$(dirname "$0")/../.." && pwd)
flags="-std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -I$root"
case $target in
zar)
  mkdir -p "$work/corpus"
  clang++ $flags -DZAR_FATAL_LONGJMP "$root/tests/fuzz/zar_fuzz.cpp" "$root/archive/zar.cpp" -lz -o "$work/zar_fuzz"
  exec "$work/zar_fuzz" -max_total_time="$secs" -max_len=4096 -rss_limit_mb=2048 \
      -dict="$root/tests/fuzz/zar.dict" -artifact_prefix="$work/" -print_final_stats=1 "$@" \
      "$work/corpus" "$root/tests/fuzz/corpus" "$root/tests/fuzz/regressions"
  ;;
*)
  mkdir -p "$work/${target}_corpus"
  clang++ $flags "$root/tests/fuzz/${target}_fuzz.cpp" "$root/tools/zartool/import.cpp" \
      "$root/tools/zarwrite/zarwrite.cpp" -lpng16 -lz -o "$work/${target}_fuzz"
  # 64 KiB of PNG inflate to at most about 64 MB of pixels.
  exec "$work/${target}_fuzz" -max_total_time="$secs" -max_len=65536 -rss_limit_mb=2048 \
      -dict="$root/tests/fuzz/$target.dict" -artifact_prefix="$work/$target-" -print_final_stats=1 "$@" \
      "$work/${target}_corpus" "$root/tests/fuzz/${target}_corpus" "$root/tests/fuzz/${target}_regressions"
  ;;
esac

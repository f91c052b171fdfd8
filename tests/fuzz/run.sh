#!/bin/sh
# Builds the archive fuzz target with clang's libFuzzer (ASan + UBSan) and runs it.
#   tests/fuzz/run.sh [SECONDS] [WORK_DIR] [LIBFUZZER_FLAGS...]
# SECONDS defaults to 60 (the CI run); WORK_DIR (default build-fuzz) keeps the
# binary, the growing corpus and any crash inputs (crash-*); further flags go
# to libFuzzer (e.g. -jobs=2 -workers=2). A crash input is a bug: fix it, then
# copy the input into tests/fuzz/regressions/ so every build replays it.
set -e
secs=${1:-60}
work=${2:-build-fuzz}
if [ $# -gt 0 ]; then shift; fi
if [ $# -gt 0 ]; then shift; fi
root=$(cd "$(dirname "$0")/../.." && pwd)
mkdir -p "$work/corpus"
clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -DZAR_FATAL_LONGJMP -I"$root" \
    "$root/tests/fuzz/zar_fuzz.cpp" "$root/archive/zar.cpp" -lz -o "$work/zar_fuzz"
exec "$work/zar_fuzz" -max_total_time="$secs" -max_len=4096 -rss_limit_mb=2048 \
    -dict="$root/tests/fuzz/zar.dict" -artifact_prefix="$work/" -print_final_stats=1 "$@" \
    "$work/corpus" "$root/tests/fuzz/corpus" "$root/tests/fuzz/regressions"

#!/bin/sh
# Line and branch coverage of the archive reader reached by a corpus.
#   tests/fuzz/coverage.sh [WORK_DIR]
# Replays WORK_DIR/corpus (what run.sh grew; default build-fuzz) together with
# the committed seeds and regression inputs through a clang source-coverage
# build of the fuzz target, then prints llvm-cov's report for archive/zar.cpp.
set -e
work=${1:-build-fuzz}
root=$(cd "$(dirname "$0")/../.." && pwd)
mkdir -p "$work/corpus"
clang++ -std=c++17 -O0 -fprofile-instr-generate -fcoverage-mapping -DZAR_FATAL_LONGJMP -I"$root" \
    "$root/tests/fuzz/zar_fuzz.cpp" "$root/tests/fuzz/replay_main.cpp" "$root/archive/zar.cpp" -lz \
    -o "$work/zar_fuzz_cov"
LLVM_PROFILE_FILE="$work/zar_fuzz.profraw" "$work/zar_fuzz_cov" \
    "$work/corpus" "$root/tests/fuzz/corpus" "$root/tests/fuzz/regressions"
llvm-profdata merge -sparse "$work/zar_fuzz.profraw" -o "$work/zar_fuzz.profdata"
llvm-cov report "$work/zar_fuzz_cov" -instr-profile="$work/zar_fuzz.profdata" "$root/archive/zar.cpp"

#!/bin/sh
# Bounded run of the archive fuzzer (seconds, default 60) in build-ci-fuzz.
# Longer runs: tests/fuzz/run.sh 3600 build-fuzz -jobs=2 -workers=2
exec tests/fuzz/run.sh "${1:-60}" build-ci-fuzz

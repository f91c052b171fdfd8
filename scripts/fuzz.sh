#!/bin/sh
# Bounded runs of the fuzzers in build-ci-fuzz: the archive reader for
# SECONDS (default 60), the archive tool's PNG and OBJ importers for half
# of that each.
# Longer runs: tests/fuzz/run.sh [zar|png|obj] 3600 build-fuzz -jobs=2 -workers=2
set -e
secs=${1:-60}
tests/fuzz/run.sh zar "$secs" build-ci-fuzz
tests/fuzz/run.sh png $((secs / 2)) build-ci-fuzz
tests/fuzz/run.sh obj $((secs / 2)) build-ci-fuzz

#!/usr/bin/env bash
# Runs every test: a normal build with warnings as errors, the Windows
# player under wine (its libraries built from Debian's source packages,
# see scripts/build-win32.sh), the browser build in headless Chromium, the
# same tests under
# AddressSanitizer + UndefinedBehaviorSanitizer, the threaded tests under
# ThreadSanitizer, and bounded runs of the fuzzers (the archive reader, the
# archive tool's PNG and OBJ importers).
# Build folders: build-ci, build-win32, build-web, build-ci-asan, build-ci-tsan, build-ci-fuzz.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)
step() { printf '\n== %s (%s)\n' "$1" "$(date +%T)"; }

scripts/install-deps.sh

step "normal build"
cmake -S . -B build-ci -DBT_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build-ci -j"$jobs"

# The two whole-demo runs last about five minutes each however busy the
# machine is (the demo clock keeps real time), so they run beside the steps
# that follow and are waited for at the end; their log (with the run times
# and figures they print) is shown then.
whole_log=$root/build-ci/whole-tests.log
# Listing the tests once first writes the discovered test lists, which two
# ctest runs starting together would otherwise both write at once.
ctest --test-dir build-ci -N >/dev/null
setsid ctest --test-dir build-ci -V -j2 --timeout 900 -L whole >"$whole_log" 2>&1 &
whole_pid=$!
trap 'kill -- -$whole_pid 2>/dev/null || true' EXIT
ctest --test-dir build-ci --output-on-failure -j2 --timeout 600 -LE 'win32|web|whole'

# The Windows player is tested against this build's player-linux and
# capture tool, with its archive and soundtrack.
step "Windows build and its tests under wine"
win32_start=$(date +%s)
BT_CONTENT_FROM="$root/build-ci" scripts/build-win32.sh
cmake -S . -B build-ci -DBT_WIN32_DIR="$root/build-win32" >/dev/null
cmake --build build-ci -j"$jobs" --target win32_tests
xvfb-run -a -s "-screen 0 1024x768x24" \
  ctest --test-dir build-ci --output-on-failure --timeout 600 -L win32
echo "Windows step: $(($(date +%s) - win32_start)) s"

# The browser build in headless Chromium, against this build's player-linux
# and capture tool, with its archive and soundtrack.
step "browser build and its tests in headless Chromium"
web_start=$(date +%s)
BT_CONTENT_FROM="$root/build-ci" BT_WERROR=1 scripts/build-web.sh
cmake -S . -B build-ci -DBT_WEB_DIR="$root/build-web" >/dev/null
ctest --test-dir build-ci --output-on-failure --timeout 900 -L web
echo "Web step: $(($(date +%s) - web_start)) s"

# The sanitizer builds take the generated archive and soundtrack from the
# normal build instead of generating them again, slowly.
step "ASan + UBSan"
cmake -S . -B build-ci-asan -DBT_WERROR=ON -DBT_SANITIZE=address -DBT_BUILD_BENCH=OFF \
  -DBT_CONTENT_FROM="$root/build-ci"
cmake --build build-ci-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-ci-asan --output-on-failure -j2 --timeout 900 -LE no-asan

# The loader thread is never joined, by design: no thread-leak reports.
step "TSan (threaded and end-to-end tests)"
cmake -S . -B build-ci-tsan -DBT_WERROR=ON -DBT_SANITIZE=thread -DBT_BUILD_BENCH=OFF \
  -DBT_CONTENT_FROM="$root/build-ci"
cmake --build build-ci-tsan -j"$jobs" --target core_thread_tests sound_tests e2e_tests bt_content
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:report_thread_leaks=0:suppressions="$root/tests/tsan.supp" \
  ctest --test-dir build-ci-tsan --output-on-failure -j2 --timeout 900 -L 'thread|e2e'

if [ -x scripts/fuzz.sh ]; then
  step "fuzzers (bounded)"
  scripts/fuzz.sh 60
fi

step "whole-demo tests (started after the normal build)"
whole_status=0
wait $whole_pid || whole_status=$?
trap - EXIT
cat "$whole_log"
[ $whole_status -eq 0 ] || exit $whole_status
step "all tests passed"

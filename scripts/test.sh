#!/usr/bin/env bash
# Every test: install what is needed, build the normal tree and the
# sanitizer tree, run all tests in both, then the fuzz targets briefly.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

export QTWEBENGINE_DISABLE_SANDBOX=1
export QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox --disable-gpu --disable-background-networking --disable-component-update"
status=0

run_ctest() {
  # A virtual display for the few tests that want a real X server.
  xvfb-run -a -s "-screen 0 1280x1024x24" ctest --test-dir "$@" --output-on-failure --no-tests=error -j2 || status=1
}

bash scripts/build.sh build
run_ctest build

bash scripts/build.sh build-asan -DTWL_SANITIZE=ON
ASAN_OPTIONS="detect_leaks=1:abort_on_error=0" \
LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  run_ctest build-asan -LE nosan

if [[ -x logger/core/fuzz/run.sh ]]; then
  bash logger/core/fuzz/run.sh build-fuzz || status=1
fi

if ((status)); then
  echo "TESTS FAILED"
else
  echo "ALL TESTS PASSED"
fi
exit $status

#!/usr/bin/env bash
# Every test: install what is needed, check the formatting, build the normal
# tree and the sanitizer tree, run all tests in both, then each fuzz target
# for 20 s (the normal, asan and fuzz presets of CMakePresets.json).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

# The tests run as root: the web engine's sandbox is off, which is also the
# switch that lets TwinlaneAdmin run as root (README, "Running as an operator").
export QTWEBENGINE_DISABLE_SANDBOX=1
export QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox --disable-gpu --disable-background-networking --disable-component-update"
status=0
steps_failed=0 # steps outside CTest (format check, package test, fuzz build)
summary=$(mktemp)

# Windows run on the offscreen platform; no display is needed. (With one
# set, the X and GL libraries that Qt then loads leak under the sanitizer.)
unset DISPLAY WAYLAND_DISPLAY
# A failing run is noted and the next steps still run (set -e would end here).
run_ctest() {
  ctest --test-dir "$@" --output-on-failure --no-tests=error -j2 | tee -a "$summary" || status=1
}

# Every tracked source as clang-format makes it (.clang-format).
bash scripts/format-check.sh || { status=1; steps_failed=$((steps_failed + 1)); }

bash scripts/build.sh build
run_ctest build
# The Debian package from that tree: installed, used as an operator, purged.
bash scripts/package-test.sh build || { status=1; steps_failed=$((steps_failed + 1)); }

bash scripts/build.sh build-asan
ASAN_OPTIONS="detect_leaks=1:abort_on_error=0" \
LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  run_ctest build-asan -LE nosan

# The fuzz targets, built by clang: each runs 20 s (tests labelled "fuzz").
if bash scripts/build.sh build-fuzz; then
  run_ctest build-fuzz -L fuzz
else
  status=1
  steps_failed=$((steps_failed + 1))
fi

# One closing line over both runs: "N passed, N failed, N skipped". A test
# that could not run here ends with 77 and is listed by CTest as "(Skipped)"
# under "The following tests did not run"; it counts apart, not as passed.
# A failed step outside CTest counts as one failure, so that the line never
# reads "0 failed" on a failing run.
read -r total failed skipped < <(awk '/tests failed out of/ {f += $4; t += $NF}
  /^[[:space:]]*[0-9]+ - .* \(Skipped\)$/ {s++} END {print t+0, f+0, s+0}' "$summary")
rm -f "$summary"
echo "$((total - failed - skipped)) passed, $((failed + steps_failed)) failed, $skipped skipped"
exit $status

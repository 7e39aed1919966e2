#!/usr/bin/env bash
# Configures and builds one build tree from its preset (CMakePresets.json):
#   scripts/build.sh [BUILD_DIR] [cmake options...]
# build-asan takes the "asan" preset, build-fuzz the "fuzz" preset (only the
# fuzz targets are built there), any other folder the "normal" one.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
shift || true
case "$(basename "$dir")" in
  build-asan) preset=asan ;;
  build-fuzz) preset=fuzz ;;
  *) preset=normal ;;
esac
cmake --preset "$preset" -B "$dir" "$@"
if [[ $preset == fuzz ]]; then
  cmake --build "$dir" -j"$(nproc)" --target fuzz
else
  cmake --build "$dir" -j"$(nproc)"
fi

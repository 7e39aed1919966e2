#!/usr/bin/env bash
# Builds the package reader's fuzz target with clang's libFuzzer straight
# from the sources (the project compiler is g++) and runs it briefly.
#   bash admin/maintenance/firmware/fuzz/run.sh [build-dir] [seconds]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../../../.." && pwd)"
out="${1:-build-fuzz}"
secs="${2:-20}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"
CXX="${CXX_FUZZ:-clang++}"
lib="$root/admin/maintenance/firmware"

"$CXX" -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$lib" -I"$root/admin/comm" -o "$out/fuzz_skp" \
  "$here/fuzz_skp.cpp" "$lib/skpPackage.cpp" "$lib/skpSource.cpp"

# Seeds: a valid package of two records, one of them odd.
mkdir -p "$out/corpus_skp"
printf 'XRT!\x35\0\0\0\x02\0\0\0\x03\0\0\0\x03\0\0\0\x06\0\x06\0\0\0\x02\0\0\0\x00\x01\x01\x02\x03\x7f\x81' \
  > "$out/corpus_skp/example"

echo "== fuzz_skp: ${secs}s"
status=0
"$out/fuzz_skp" -max_total_time="$secs" -max_len=4096 -print_final_stats=1 "$out/corpus_skp" > "$out/fuzz_skp.log" 2>&1 || status=1
tail -n 12 "$out/fuzz_skp.log"
exit $status

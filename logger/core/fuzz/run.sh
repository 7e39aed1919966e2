#!/usr/bin/env bash
# Builds the two fuzz targets with clang's libFuzzer straight from the
# sources (the project compiler is g++) and runs each briefly.
#   bash logger/core/fuzz/run.sh [build-dir] [seconds]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../../.." && pwd)"
out="${1:-build-fuzz}"
secs="${2:-20}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"
CXX="${CXX_FUZZ:-clang++}"

flags=(-std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -I"$root/logger/core" -I"$root/common" $(pkg-config --cflags Qt6Gui))
libs=($(pkg-config --libs Qt6Gui))
core="$root/logger/core"

"$CXX" "${flags[@]}" -o "$out/fuzz_alarm" "$here/fuzz_alarm.cpp" "$core/alarmMessage.cpp" \
  "$core/eventTypes.cpp" "$core/logFormat.cpp" "$root/common/formatting.cpp" "${libs[@]}"
"$CXX" "${flags[@]}" -o "$out/fuzz_lines" "$here/fuzz_lines.cpp" "$core/logFormat.cpp" "${libs[@]}"

# Seeds: a good alarm and a small log file.
mkdir -p "$out/corpus_alarm" "$out/corpus_lines"
printf '\x01\x02\xd7\x07\x04\x1e\x08\x05\x03Peer A' > "$out/corpus_alarm/example"
head -c 34 /dev/zero >> "$out/corpus_alarm/example"
printf '\xc0\xa8\x13\x07\xc0\xa8\x13\x09\xfa' >> "$out/corpus_alarm/example"
printf '01,Off-Line,"4/30/2007 8:5:3","Peer A",192.168.19.7,192.168.19.9\r\n02,"Cold Start",x,,"a""b",--\n' \
  > "$out/corpus_lines/example"

status=0
for t in fuzz_alarm fuzz_lines; do
  corpus="$out/corpus_${t#fuzz_}"
  echo "== $t: ${secs}s"
  "$out/$t" -max_total_time="$secs" -print_final_stats=1 "$corpus" > "$out/$t.log" 2>&1 || status=1
  tail -n 12 "$out/$t.log"
done
exit $status

#!/usr/bin/env bash
# Runs every benchmark program in its full mode and writes one table:
# what, this program, the comparison, the ratio.
#
#   scripts/bench.sh [BUILD_DIR, default build]
#
# Needs root (bench_scan and bench_ak_reception make network namespaces of
# their own) and a build (scripts/build.sh). Each program gets at most
# TWL_BENCH_LIMIT seconds (default 600); one that fails or runs out shows so
# in the table. Each program's own output is kept beside the table in
# BUILD_DIR/bench-results/. TWL_BENCH_MODE=--short runs the short modes instead (to
# see the script work).
#
# Ratio: how many times faster this program is than the comparison (above 1:
# faster; for times the comparison's time divided by ours, for rates ours
# divided by the comparison's).
set -uo pipefail
cd "$(dirname "$0")/.." || exit 2
build=$(cd "${1:-build}" && pwd) || { echo "bench.sh: no build folder" >&2; exit 2; }
limit=${TWL_BENCH_LIMIT:-600}
mode=${TWL_BENCH_MODE:-}
out=$build/bench-results
mkdir -p "$out"
table=$out/table.md
export QT_QPA_PLATFORM=offscreen TWL_BIN_DIR=$build/bin TWL_ROUTE_HELPER=$build/bin/twl-route-helper
export QTWEBENGINE_DISABLE_SANDBOX=1
export QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox --disable-gpu --disable-background-networking --disable-component-update"

{
  echo "| What | This program | The comparison | Ratio |"
  echo "|---|---|---|---|"
} >"$table"

# run NAME: runs the program from bin/ of the build, output to NAME.txt.
run() {
  local program
  program=$(find "$build/bin" -maxdepth 1 -name "$1" -type f -executable 2>/dev/null | head -n 1)
  if [[ -z $program ]]; then
    echo "| $1 | not built | | |" >>"$table"
    return 1
  fi
  echo "bench.sh: $1 $mode (at most $limit s)" >&2
  # shellcheck disable=SC2086 # mode is one word or none
  if ! timeout "$limit" "$program" $mode >"$out/$1.txt" 2>"$out/$1.err"; then
    echo "| $1 | failed or over $limit s (see $out/$1.err) | | |" >>"$table"
    return 1
  fi
}

if run bench_modbus; then
  awk '
    /^  ModbusRequest / { ours = $2 }
    /^  libmodbus client / { theirs = $3 }
    / pages \(/ && /total/ {
      match($0, /total +[0-9.]+/); total = substr($0, RSTART + 6, RLENGTH - 6) + 0
      match($0, /[0-9]+ pages/); pages = substr($0, RSTART, RLENGTH)
      what = $0; sub(/^ +/, "", what); sub(/ +[0-9]+ pages.*/, "", what)
      rows = rows sprintf("| Device pages with web consoles, %s (%s), resident MiB | %.0f | | |\n", pages, what, total)
    }
    END {
      if (ours > 0 && theirs > 0)
        printf "| Modbus read of 5 registers, requests/s (`bench_modbus`) | %.0f | %.0f (libmodbus client) | %.2f |\n", ours, theirs, ours / theirs
      printf "%s", rows
    }' "$out/bench_modbus.txt" >>"$table"
fi

if run bench_firmware; then
  awk '
    /^run / { head = $0 }
    /^[0-9]+ +[0-9.]+ +[0-9.]+ +[0-9.]+$/ { n++; ours += $2; theirs += $3 }
    /^firmware download of/ { size = $4 " " $5 }
    END {
      if (n > 0)
        printf "| Firmware download of %s, s, mean of %d runs (`bench_firmware`) | %.3f | %.3f (libmodbus client, same writes) | %.2f |\n", size, n, ours / n, theirs / n, theirs / ours
    }' "$out/bench_firmware.txt" >>"$table"
fi

if run bench_ak_reception; then
  awk '
    /^Alarm reception:/ { what = $0; sub(/^Alarm reception: /, "", what) }
    /Alarmkeeper window:/ { for (i = 1; i <= NF; i++) if ($(i + 1) == "alarms/s") ours = $i }
    /minimal receiver:/ { for (i = 1; i <= NF; i++) if ($(i + 1) == "alarms/s") theirs = $i }
    END {
      if (ours > 0 && theirs > 0)
        printf "| Alarms into Alarmkeeper, alarms/s, %s (`bench_ak_reception`) | %d | %d (a receiver that only decodes and appends) | %.2f |\n", what, ours, theirs, ours / theirs
    }' "$out/bench_ak_reception.txt" >>"$table"
fi

if run bench_ak_viewer; then
  awk '
    /^Log viewer:/ { what = $3 " lines" }
    /model:  load/ { load = $3 }
    /sort by date\/time \(text\)/ { sortdate = $6 }
    /beside:/ { wc = $4; sortk = $9 }
    END {
      if (load != "")
        printf "| Log of %s: load, ms (`bench_ak_viewer`) | %d | %d (`wc -l`) | %.2f |\n", what, load, wc, (load > 0 ? wc / load : 0)
      if (sortdate != "")
        printf "| Log of %s: sort by date/time, ms | %d | %d (`sort -t, -k3`) | %.2f |\n", what, sortdate, sortk, (sortdate > 0 ? sortk / sortdate : 0)
    }' "$out/bench_ak_viewer.txt" >>"$table"
fi

if run bench_scan; then
  awk '
    /^ *[0-9]+ +[0-9]+ +[0-9]+ +[0-9]+$/ {
      printf "| Scan of %d servers: search dialog closed to tree ready, ms (`bench_scan`) | %d | | |\n", $1, $2
      printf "| Scan of %d servers: resident MiB, program and web engine helpers | %d | | |\n", $1, $4
    }' "$out/bench_scan.txt" >>"$table"
fi

cat "$table"
echo "bench.sh: table in $table, each program's output beside it" >&2

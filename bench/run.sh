#!/usr/bin/env bash
# Benchmark: converts generated documents of 1, 10 and 50 MB and prints, per
# size, throughput, peak resident memory per input byte, and the time that
# libxml2's HTML parser (xmllint --html --noout, parse only) takes on the same
# input as a reference. Needs python3, xmllint and GNU time (/usr/bin/time).
# usage: [RUNS=N] bench/run.sh [SIZES_MB...]   (default: 5 runs of 1 10 50)
# Last, a 1 MB style sheet (bench/gen_css.py) on the 10 MB page, against the
# same page without it: the cascade must stay within a small factor; then a
# 10 MB page of nested tables (bench/gen_tables.py) with and without the
# print sheet.
set -euo pipefail
cd "$(dirname "$0")/.."
sizes=("$@"); [ ${#sizes[@]} -gt 0 ] || sizes=(1 10 50)
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DPAGESMITH_TESTS=OFF > /dev/null
cmake --build build-bench -j2 --target pagesmith > /dev/null
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
# The machine is shared, so single times vary: each size is timed RUNS times
# (default 5) with the two programs taking turns, so that both meet the same
# conditions, and the best time of each counts (wall clock, and the program's
# user CPU time alone).
runs=${RUNS:-5}
# Before each run the previous output is removed and written back, so that
# no run pays for freeing or flushing the one before it (replacing a 300 MB
# file that is still in the page cache costs the kernel a few tenths of a
# second, which is no part of converting).
timed() {  # timed CMD... : prints the wall and the user CPU seconds of one run
  rm -f "$work/out.fo"; sync
  python3 -c '
import resource, subprocess, sys, time
user = resource.getrusage(resource.RUSAGE_CHILDREN).ru_utime  # a launcher may have had children
start = time.perf_counter()
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
wall = time.perf_counter() - start
print("%.4f %.4f" % (wall, resource.getrusage(resource.RUSAGE_CHILDREN).ru_utime - user))' "$@"; }
min() { if [ -z "$1" ] || [ "$(echo "$2 < $1" | bc -l)" = 1 ]; then echo "$2"; else echo "$1"; fi; }
printf '%6s %10s %10s %10s %12s %12s %10s\n' "MB" "sec" "user sec" "MB/s" "peakRSS/in" "xmllint s" "ratio"
declare -A secs users
for mb in "${sizes[@]}"; do
  in="$work/in$mb.html"
  python3 bench/gen_html.py "$mb" 7 > "$in"
  bytes=$(stat -c %s "$in")
  t=""; u=""; x=""
  for _ in $(seq "$runs"); do
    read -r tw tu < <(timed build-bench/pagesmith "$in" "$work/out.fo")
    t=$(min "$t" "$tw"); u=$(min "$u" "$tu")
    read -r xw _ < <(timed xmllint --html --noout --huge "$in")
    x=$(min "$x" "$xw")
  done
  secs[$mb]=$t; users[$mb]=$u
  rss=$( { /usr/bin/time -f '%M' build-bench/pagesmith "$in" "$work/out.fo" > /dev/null; } 2>&1 | tail -1)
  printf '%6s %10.3f %10.3f %10.1f %12.2f %12.3f %10.2f\n' "$mb" "$t" "$u" "$(echo "$bytes/1048576/$t" | bc -l)" \
    "$(echo "$rss*1024/$bytes" | bc -l)" "$x" "$(echo "$t/$x" | bc -l)"
done
# Linearity: the time of the largest size over that of the one before it,
# and the same for the program's own CPU time (the rest is the kernel's:
# mostly clearing fresh memory, whose cost depends on the machine).
if [ ${#sizes[@]} -ge 2 ]; then
  a=${sizes[-2]}; b=${sizes[-1]}
  printf 'time(%s MB) / time(%s MB) = %.2f (user time: %.2f)\n' "$b" "$a" \
    "$(echo "${secs[$b]} / ${secs[$a]}" | bc -l)" "$(echo "${users[$b]} / ${users[$a]}" | bc -l)"
fi
# A 1 MB user sheet on the 10 MB page: bucketed rules keep matching linear.
in="$work/in10.html"; [ -f "$in" ] || python3 bench/gen_html.py 10 7 > "$in"
python3 bench/gen_css.py 1 7 > "$work/sheet.css"
p=""; s=""
for _ in $(seq "$runs"); do
  read -r tw _ < <(timed build-bench/pagesmith "$in" "$work/out.fo")
  p=$(min "$p" "$tw")
  read -r tw _ < <(timed build-bench/pagesmith --css "$work/sheet.css" "$in" "$work/out.fo")
  s=$(min "$s" "$tw")
done
rss=$( { /usr/bin/time -f '%M' build-bench/pagesmith --css "$work/sheet.css" "$in" "$work/out.fo" > /dev/null; } 2>&1 | tail -1)
printf '10 MB page with a 1 MB sheet: %.3f s (without: %.3f s, ratio %.2f), peakRSS/in %.2f\n' "$s" "$p" \
  "$(echo "$s / $p" | bc -l)" "$(echo "$rss*1024/$(stat -c %s "$in")" | bc -l)"
# The automatic table layout's worst case: 10 MB of tables nested six deep,
# without sheets (the fixed widths) and with the print sheet (automatic
# widths, boxes from the cascade), against xmllint on the same page.
in="$work/tables10.html"
python3 bench/gen_tables.py 10 > "$in"
p=""; s=""; x=""
for _ in $(seq "$runs"); do
  read -r tw _ < <(timed build-bench/pagesmith "$in" "$work/out.fo")
  p=$(min "$p" "$tw")
  read -r tw _ < <(timed build-bench/pagesmith --css data/print.css "$in" "$work/out.fo")
  s=$(min "$s" "$tw")
  read -r tw _ < <(timed xmllint --html --noout --huge "$in")
  x=$(min "$x" "$tw")
done
rss=$( { /usr/bin/time -f '%M' build-bench/pagesmith --css data/print.css "$in" "$work/out.fo" > /dev/null; } 2>&1 | tail -1)
printf '10 MB of nested tables: %.3f s, with the print sheet %.3f s; xmllint %.3f s; ratios %.2f and %.2f; peakRSS/in %.2f\n' \
  "$p" "$s" "$x" "$(echo "$p / $x" | bc -l)" "$(echo "$s / $x" | bc -l)" "$(echo "$rss*1024/$(stat -c %s "$in")" | bc -l)"

#!/usr/bin/env bash
# Times kvsolver on a 1,000,000-line, a 10-line and a one-line solver script
# whose line is 200 MB, against awk doing the same work (echo each line as
# "COMMAND : ...", drop "!" lines, copy the rest to a file), with standard
# output to /dev/null and no converter on PATH. Prints the best of several
# runs, lines per second and peak resident memory.
#
# Beside them, the yardstick: plain_copy.c, the same work in plain C (fgets
# and fputs per line, no character conversion). At 1M lines kvsolver and it
# are timed in turns and the medians compared, and both are run once under
# callgrind, whose instruction counts are the same on every run: kvsolver's
# own instructions (all but those of the library's GetWcStringFromUTF8,
# which is not ours) against all of the plain program's.
#
#   bench/run.sh [path/to/kvsolver] [runs] [path/to/baseline/kvsolver]
#
# With a baseline launcher (another build, say of an earlier commit), it is
# timed on the same scripts, on the same stand-in library, and the ratio
# printed. The stand-in library's own stages are told to do nothing
# (KVS_STANDIN_QUIET=1, KVS_STANDIN_CONVERT_RESULT=0), so the figures are
# the launcher's: reading the script, echoing it and writing the command
# stream; the 200 MB line is also run with the stages at work, to measure
# the stand-in's memory. Every run must end with exit status 0, or the benchmark stops.
# Needs GNU time, a C compiler and valgrind (Debian packages "time", "gcc",
# "valgrind"; scripts/install-deps bench).
set -euo pipefail

kvsolver=$(realpath "${1:-build/bin/kvsolver}")
runs=${2:-9}
baseline=${3:+$(realpath "$3")}
library=$(dirname "$(dirname "$kvsolver")")/lib
here=$(dirname "$(realpath "$0")")
gnu_time=/usr/bin/time
[ -x "$gnu_time" ] || { echo "bench: needs GNU time: apt-get install time" >&2; exit 1; }
valgrind=$(command -v valgrind) && command -v callgrind_annotate >/dev/null ||
  { echo "bench: needs valgrind: apt-get install valgrind" >&2; exit 1; }
compiler=$(command -v "${CC:-cc}") || { echo "bench: needs a C compiler: apt-get install gcc" >&2; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
mkdir no-converter
: > model.kmd
"$compiler" -O2 -o plain_copy "$here/plain_copy.c"

make_script() {  # lines, file
  awk -v n="$1" 'BEGIN {
    for (i = 1; i < n; i++)
      if (i % 10 == 0) print "! comment " i
      else print "LOAD CASE " i " FACTOR 1.25 DIRECTION Z"
    print "stop"
  }' > "$2"
}
make_script 1000000 big.kss
make_script 10 small.kss
# One command line of 200 MB, then the stop line.
awk 'BEGIN { s = "SET LOADS"; while (length(s) < 1000) s = s " 1.25"; printf "%s", "SET"
             for (i = 0; i < 200000; i++) printf "%s", s; print ""; print "stop" }' > wide.kss

# best_of COMMAND...: prints "seconds peak-KiB", the run with the least time.
# A run that does not end with exit status 0 stops the benchmark.
best_of() {
  local best="" line status
  for _ in $(seq "$runs"); do
    line=$("$gnu_time" -f "%e %M %x" "$@" 2>&1 >/dev/null | tail -n 1)
    status=${line##* }
    line=${line% *}
    if [ "$status" != 0 ]; then
      echo "bench: '$*' ended with exit status $status" >&2
      exit 1
    fi
    if [ -z "$best" ] || awk -v a="${line%% *}" -v b="${best%% *}" 'BEGIN { exit !(a < b) }'; then
      best=$line
    fi
  done
  echo "$best"
}

run_launcher() {  # launcher base
  best_of env PATH="$scratch/no-converter" LD_LIBRARY_PATH="$library" KVS_STANDIN_QUIET=1 \
    KVS_STANDIN_CONVERT_RESULT=0 "$1" model.kmd "$2"
}
# The same with the stand-in's stages at work: they read the whole stream.
run_with_stages() {  # launcher base (once: the stages print the line too)
  runs=1 best_of env PATH="$scratch/no-converter" LD_LIBRARY_PATH="$library" "$1" model.kmd "$2"
}
run_awk() {  # base
  best_of awk '{ print "COMMAND : " $0 "\n" } !/^!/ { print > "awk-stream" }' "$1.kss"
}
run_plain() {  # base
  best_of ./plain_copy "$1.kss" plain-stream
}

# seconds COMMAND...: the wall time of one run, to the microsecond; a run
# that does not end with exit status 0 stops the benchmark.
seconds() {
  local start=$EPOCHREALTIME
  "$@" >/dev/null || { echo "bench: '$*' failed" >&2; exit 1; }
  awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.6f\n", b - a }'
}
median() {  # numbers, one a line
  sort -g | awk '{ v[NR] = $1 } END { print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
launcher_env=(env PATH="$scratch/no-converter" LD_LIBRARY_PATH="$library" KVS_STANDIN_QUIET=1
              KVS_STANDIN_CONVERT_RESULT=0)
# Alternates the launcher and the plain program on the 1M-line script, so
# that whatever else the machine does falls on both alike; prints both
# medians.
interleaved() {
  local i kv_times="" plain_times=""
  for i in $(seq "$runs"); do
    kv_times+="$(seconds "${launcher_env[@]}" "$kvsolver" model.kmd big)"$'\n'
    plain_times+="$(seconds ./plain_copy big.kss plain-stream)"$'\n'
  done
  echo "$(printf "%s" "$kv_times" | median) $(printf "%s" "$plain_times" | median)"
}
# instructions OUT COMMAND...: runs COMMAND under callgrind, its profile to
# OUT, and prints the instructions it executed in all.
instructions() {
  local out=$1
  shift
  "$@" >/dev/null 2>"$out.log" || { cat "$out.log" >&2; echo "bench: '$*' failed" >&2; exit 1; }
  callgrind_annotate "$out" | awk '/PROGRAM TOTALS/ { gsub(",", "", $1); print $1 }'
}

report() {  # name lines "seconds kib"
  local seconds=${3%% *} kib=${3##* }
  awk -v name="$1" -v n="$2" -v s="$seconds" -v k="$kib" 'BEGIN {
    rate = s > 0 ? sprintf("%.0f", n / s) : "-"
    printf "%-26s %10d %9.3f %12s %10d\n", name, n, s, rate, k
  }'
}

big_kv=$(run_launcher "$kvsolver" big)
small_kv=$(run_launcher "$kvsolver" small)
wide_kv=$(run_launcher "$kvsolver" wide)
wide_stages=$(run_with_stages "$kvsolver" wide)
big_awk=$(run_awk big)
small_awk=$(run_awk small)
big_plain=$(run_plain big)
medians=$(interleaved)
read -r kv_median plain_median <<< "$medians"
kv_instructions=$(instructions kv.callgrind "${launcher_env[@]}" "$valgrind" --tool=callgrind \
                    --callgrind-out-file=kv.callgrind "$kvsolver" model.kmd big)
conversion_instructions=$(callgrind_annotate --inclusive=yes kv.callgrind |
  awk '/:GetWcStringFromUTF8 / && !n++ { gsub(",", "", $1); print $1 }')
plain_instructions=$(instructions plain.callgrind "$valgrind" --tool=callgrind \
                       --callgrind-out-file=plain.callgrind ./plain_copy big.kss plain-stream)

printf "%-26s %10s %9s %12s %10s\n" "run" "lines" "seconds" "lines/s" "peak KiB"
report "kvsolver 1M lines" 1000000 "$big_kv"
report "kvsolver 10 lines" 10 "$small_kv"
report "kvsolver one 200 MB line" 2 "$wide_kv"
report "  the same, with stages" 2 "$wide_stages"
report "awk 1M lines" 1000000 "$big_awk"
report "awk 10 lines" 10 "$small_awk"
report "plain C 1M lines" 1000000 "$big_plain"
if [ -n "$baseline" ]; then
  big_base=$(run_launcher "$baseline" big)
  small_base=$(run_launcher "$baseline" small)
  report "baseline 1M lines" 1000000 "$big_base"
  report "baseline 10 lines" 10 "$small_base"
fi
awk -v kv="${big_kv%% *}" -v a="${big_awk%% *}" -v m1="${big_kv##* }" -v m0="${small_kv##* }" \
    -v mw="${wide_kv##* }" -v base="${big_base:-}" 'BEGIN {
  printf "kvsolver/awk time at 1M lines: %.2f\n", (a > 0 ? kv / a : 0)
  printf "kvsolver peak memory minus the 10-line run: 1M lines %d KiB, 200 MB line %d KiB\n",
         m1 - m0, mw - m0
  split(base, b, " ")
  if (base != "") printf "kvsolver/baseline time at 1M lines: %.2f\n", (b[1] > 0 ? kv / b[1] : 0)
}'
awk -v runs="$runs" -v kv="$kv_median" -v plain="$plain_median" -v all="$kv_instructions" \
    -v conversion="$conversion_instructions" -v plain_all="$plain_instructions" 'BEGIN {
  printf "\nAt 1M lines, against the plain C program:\n"
  printf "  wall time, medians of %d runs in turns: kvsolver %.3f s, plain C %.3f s\n", runs, kv, plain
  printf "  instructions: kvsolver %.1f M, of which GetWcStringFromUTF8 %.1f M; plain C %.1f M\n",
         all / 1e6, conversion / 1e6, plain_all / 1e6
  printf "kvsolver/plain C own instructions: %.2f (target 0.4 at most)\n", (all - conversion) / plain_all
  printf "kvsolver/plain C time: %.2f (target 1.0 at most)\n", kv / plain
}'
echo
echo "kvsolver's run at 1M lines by function (callgrind, the instructions of each"
echo "function itself; GetWcStringFromUTF8 and what it calls are the library's):"
callgrind_annotate kv.callgrind | awk '/^-+$/ { rule++; next } rule == 6 && NF && n++ < 14 {
  count = $1; sub(/^ *[0-9,]+ +\([ 0-9.]+%\) +/, ""); sub(/ \[[^]]*\]$/, ""); sub(/^[^:]*\//, "")
  printf "  %14s  %s\n", count, substr($0, 1, 90) }'

#!/usr/bin/env bash
# Times kvsolver on a 1,000,000-line and a 10-line solver script against awk
# doing the same work (echo each line as "COMMAND : ...", drop "!" lines,
# copy the rest to a file), with standard output to /dev/null and no
# converter on PATH. Prints the best of several runs, lines per second and
# peak resident memory.
#
#   bench/run.sh [path/to/kvsolver] [runs]
#
# The stand-in library's own stages are told to do nothing
# (KVS_STANDIN_QUIET=1, KVS_STANDIN_CONVERT_RESULT=0), so the figures are
# the launcher's: reading the script, echoing it and writing the command
# stream. Needs GNU time (Debian package "time").
set -euo pipefail

kvsolver=$(realpath "${1:-build/bin/kvsolver}")
runs=${2:-5}
gnu_time=/usr/bin/time
[ -x "$gnu_time" ] || { echo "bench: needs GNU time: apt-get install time" >&2; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
mkdir no-converter
: > model.kmd

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

# best_of COMMAND...: prints "seconds peak-KiB", the run with the least time.
best_of() {
  local best="" line
  for _ in $(seq "$runs"); do
    line=$("$gnu_time" -f "%e %M" "$@" 2>&1 >/dev/null | tail -n 1)
    if [ -z "$best" ] || awk -v a="${line%% *}" -v b="${best%% *}" 'BEGIN { exit !(a < b) }'; then
      best=$line
    fi
  done
  echo "$best"
}

run_kvsolver() {  # base
  best_of env PATH="$scratch/no-converter" KVS_STANDIN_QUIET=1 \
    KVS_STANDIN_CONVERT_RESULT=0 "$kvsolver" model.kmd "$1"
}
run_awk() {  # base
  best_of awk '{ print "COMMAND : " $0 "\n" } !/^!/ { print > "awk-stream" }' "$1.kss"
}

report() {  # name lines "seconds kib"
  local seconds=${3%% *} kib=${3##* }
  awk -v name="$1" -v n="$2" -v s="$seconds" -v k="$kib" 'BEGIN {
    rate = s > 0 ? sprintf("%.0f", n / s) : "-"
    printf "%-22s %10d %9.3f %12s %10d\n", name, n, s, rate, k
  }'
}

big_kv=$(run_kvsolver big)
small_kv=$(run_kvsolver small)
big_awk=$(run_awk big)
small_awk=$(run_awk small)

printf "%-22s %10s %9s %12s %10s\n" "run" "lines" "seconds" "lines/s" "peak KiB"
report "kvsolver 1M lines" 1000000 "$big_kv"
report "kvsolver 10 lines" 10 "$small_kv"
report "awk 1M lines" 1000000 "$big_awk"
report "awk 10 lines" 10 "$small_awk"
awk -v kv="${big_kv%% *}" -v a="${big_awk%% *}" -v m1="${big_kv##* }" -v m0="${small_kv##* }" 'BEGIN {
  printf "kvsolver/awk time at 1M lines: %.2f\n", (a > 0 ? kv / a : 0)
  printf "kvsolver peak memory, 1M lines minus 10 lines: %d KiB\n", m1 - m0
}'

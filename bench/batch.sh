#!/usr/bin/env bash
# Times kvsolver-batch running a study of one-job directories against
# xargs -P starting the same launcher in each directory with its output to
# the job's log, as a user would without kvsolver-batch. The runs are
# interleaved and the median of each is taken; the ratio is printed.
#
#   bench/batch.sh [build dir] [directories] [runs] [parallel]
#
# Defaults: build, 400 directories, 5 runs each, -j 2. The stand-in's
# stages are quiet and no converter is on PATH, so what is timed is the
# starting and watching of the runs. Every run must end with exit status 0.
set -euo pipefail

build=$(realpath "${1:-build}")
count=${2:-400}
runs=${3:-5}
parallel=${4:-2}
batch=$build/bin/kvsolver-batch
kvsolver=$build/bin/kvsolver

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
# The launcher runs the converter on each command file; it finds it on its
# PATH, which is this empty directory alone. The script's own tools keep
# the PATH it was given.
mkdir no-converter
for i in $(seq "$count"); do
  mkdir "c$i"
  : >"c$i/beam.kmd"
  printf 'beam.kmd\nSOLVE CASE %s\nstop\n' "$i" >"c$i/job.kcf"
  echo "c$i/job.kcf"
done >jobs
sed 's#/job.kcf$##' jobs >dirs
export KVS_STANDIN_QUIET=1 KVS_STANDIN_CONVERT_RESULT=0

seconds() {  # command...: its wall time; a run that fails stops the benchmark
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1 || { echo "bench: '$*' failed" >&2; exit 1; }
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
}
run_batch() { PATH=$scratch/no-converter "$batch" -j "$parallel" -a jobs; }
run_xargs() {
  xargs -P "$parallel" -I{} sh -c 'cd "$1" && PATH=$3 exec "$2" job >job.log 2>&1' \
    sh {} "$kvsolver" "$scratch/no-converter" <dirs
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

: >batch.times
: >xargs.times
for _ in $(seq "$runs"); do
  seconds run_batch >>batch.times
  seconds run_xargs >>xargs.times
done
b=$(median <batch.times)
x=$(median <xargs.times)
printf '%d one-job directories, %d at a time, median of %d interleaved runs\n' \
  "$count" "$parallel" "$runs"
printf '  kvsolver-batch -j %d   %.3f s\n' "$parallel" "$b"
printf '  xargs -P %d            %.3f s\n' "$parallel" "$x"
awk -v b="$b" -v x="$x" 'BEGIN { printf "kvsolver-batch/xargs: %.2f\n", b / x }'

#!/usr/bin/env bash
# Times kvsolver-batch running a study of one-job directories against
# xargs -P starting the same launcher in each directory with its output to
# the job's log, as a user would without kvsolver-batch, and, where GNU
# parallel is installed, against parallel -j doing the same. The runs are
# interleaved and the median of each is taken; the ratios to xargs are
# printed, with the median peak memory of each.
#
#   bench/batch.sh [build dir] [directories] [runs] [parallel]
#
# Defaults: build, 400 directories, 5 runs each, -j 2. The directories may
# be a list of sizes, "400 4000 20000", each timed on a study of its own;
# the figures come as a markdown table, a row per size. The stand-in's
# stages are quiet and no converter is on the launcher's PATH, so what is
# timed is the starting and watching of the runs. Every run must end with
# exit status 0.
#
# A peak is GNU time's %M of the command: the largest resident set of it
# and of the processes it waited for. For kvsolver-batch that is its own;
# for xargs and parallel, whose own are small, it may be a launcher's.
# kvsolver-batch's bytes per job are the growth of its peak over that of a
# 100-directory study, measured once, divided by the jobs beyond 100.
#
# With REPORT=1, kvsolver-batch is also timed writing its report page as it
# runs (--report report.html), as a column of its own.
#
# With PEAK_SIZES="100000" (a list too), kvsolver-batch alone runs a study
# of that many directories once more, for its time, peak and bytes per job.
#
# With STATUS_SIZES="100000" (a list too), kvsolver-batch --dry-run,
# --status and --resume are timed on that many one-job directories, each
# holding the files of a finished run: --status must find every job
# finished, and --resume reuse every one.
set -euo pipefail

build=$(realpath "${1:-build}")
sizes=${2:-400}
runs=${3:-5}
parallel=${4:-2}
status_sizes=${STATUS_SIZES:-}
report=${REPORT:-}
peak_sizes=${PEAK_SIZES:-}
batch=$build/bin/kvsolver-batch
kvsolver=$build/bin/kvsolver
gnu_time=/usr/bin/time
base_size=100
[ -x "$gnu_time" ] || { echo "bench: needs GNU time: apt-get install time" >&2; exit 1; }
for n in $sizes $peak_sizes $status_sizes "$runs" "$parallel"; do
  [[ $n =~ ^[1-9][0-9]*$ ]] || { echo "bench: '$n' is not a positive whole number" >&2; exit 2; }
done
gnu_parallel=$(command -v parallel || true)

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
# The launcher runs the converter on each command file; it finds it on its
# PATH, which is this empty directory alone. The script's own tools keep
# the PATH it was given.
mkdir no-converter
quiet=(env PATH="$scratch/no-converter" KVS_STANDIN_QUIET=1 KVS_STANDIN_CONVERT_RESULT=0)

# COUNT one-job directories c1... in the new directory DIR, listed in its
# files dirs and jobs: study DIR COUNT.
study() {
  mkdir "$1"
  awk -v n="$2" 'BEGIN { for (i = 1; i <= n; i++) print "c" i }' >"$1/dirs"
  (cd "$1" && xargs mkdir <dirs && awk '{
    printf "" >($0 "/beam.kmd"); close($0 "/beam.kmd")
    printf "beam.kmd\nSOLVE CASE %d\nstop\n", NR >($0 "/job.kcf"); close($0 "/job.kcf")
    print $0 "/job.kcf" }' dirs >jobs)
}
# Runs COMMAND... in DIR with its output to nowhere, and appends its wall
# time to DIR/NAME.times and its peak KiB to DIR/NAME.peaks: measure DIR
# NAME COMMAND...; a run that fails stops the benchmark.
measure() {
  local dir=$1 name=$2 start end
  shift 2
  start=$(date +%s.%N)
  (cd "$dir" && "$gnu_time" -f %M -o "$name.peak" "$@" >/dev/null 2>&1) ||
    { echo "bench: '$*' failed in $dir" >&2; exit 1; }
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { print b - a }' >>"$dir/$name.times"
  tail -n 1 "$dir/$name.peak" >>"$dir/$name.peaks"
}
median() { sort -g "$@" | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
# Figures as the table shows them: seconds S, KIB as MiB, COUNT with commas.
seconds() { awk -v s="$1" 'BEGIN { printf (s < 10 ? "%.2f s" : s < 100 ? "%.1f s" : "%.0f s"), s }'; }
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
count() { printf '%s' "$1" | sed -E ':a; s/([0-9])([0-9]{3})($|,)/\1,\2\3/; ta'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
# kvsolver-batch's bytes per job at N directories, its peak PEAK KiB:
# per_job PEAK N.
per_job() {
  awk -v p="$1" -v b="$base" -v n="$2" -v m="$base_size" 'BEGIN { printf "%.0f", (p - b) * 1024 / (n - m) }'
}

# The same command in each directory for xargs and parallel: the launcher,
# its output to the job's log.
in_directory=(sh -c 'cd "$1" && PATH=$3 exec "$2" job >job.log 2>&1' sh {} "$kvsolver"
              "$scratch/no-converter")
run_batch=("${quiet[@]}" "$batch" -j "$parallel" -a jobs)
run_report=("${quiet[@]}" "$batch" -j "$parallel" --report report.html -a jobs)
run_xargs=(env KVS_STANDIN_QUIET=1 KVS_STANDIN_CONVERT_RESULT=0
           xargs -P "$parallel" -a dirs -I{} "${in_directory[@]}")
run_parallel=(env KVS_STANDIN_QUIET=1 KVS_STANDIN_CONVERT_RESULT=0
              "$gnu_parallel" -j "$parallel" --joblog joblog -a dirs -q "${in_directory[@]}")

# Measures the run of TOOL (batch, xargs or parallel) in DIR: run DIR TOOL.
run() {
  case $2 in
    batch) measure "$1" batch "${run_batch[@]}" ;;
    report) measure "$1" report "${run_report[@]}" ;;
    xargs) measure "$1" xargs "${run_xargs[@]}" ;;
    parallel) measure "$1" parallel "${run_parallel[@]}" ;;
  esac
}

base=
for n in $sizes $peak_sizes; do
  if (( n != base_size )) && [[ -z $base ]]; then
    study base "$base_size"
    run base batch
    base=$(cat base/batch.peaks)
    rm -rf base
  fi
done
printf 'one-job directories, %d at a time, median of %d interleaved runs' "$parallel" "$runs"
[[ -n $base ]] && printf '; bytes/job above %s MiB at %d directories' "$(mib "$base")" "$base_size"
printf '\n\n'
header="| directories | kvsolver-batch -j $parallel |"
rule='|---|---|'
[[ -n $report ]] && header+=' with --report |' rule+='---|'
header+=" xargs -P $parallel |" rule+='---|'
[[ -n $gnu_parallel ]] && header+=" parallel -j $parallel |" rule+='---|'
header+=' batch/xargs |' rule+='---|'
[[ -n $report ]] && header+=' --report/xargs |' rule+='---|'
[[ -n $gnu_parallel ]] && header+=' parallel/xargs |' rule+='---|'
header+=' batch peak MiB | xargs peak MiB |' rule+='---|---|'
[[ -n $gnu_parallel ]] && header+=' parallel peak MiB |' rule+='---|'
header+=' batch bytes/job |' rule+='---|'
printf '%s\n%s\n' "$header" "$rule"

for n in $sizes; do
  study "s$n" "$n"
  tools=(batch)
  [[ -n $report ]] && tools+=(report)
  tools+=(xargs)
  [[ -n $gnu_parallel ]] && tools+=(parallel)
  for _ in $(seq "$runs"); do
    for tool in "${tools[@]}"; do run "s$n" "$tool"; done
  done
  declare -A secs peak
  for tool in "${tools[@]}"; do
    secs[$tool]=$(median "s$n/$tool.times")
    peak[$tool]=$(median "s$n/$tool.peaks")
  done
  row="| $(count "$n") (median of $runs) | $(seconds "${secs[batch]}") |"
  [[ -n $report ]] && row+=" $(seconds "${secs[report]}") |"
  row+=" $(seconds "${secs[xargs]}") |"
  [[ -n $gnu_parallel ]] && row+=" $(seconds "${secs[parallel]}") |"
  row+=" $(ratio "${secs[batch]}" "${secs[xargs]}") |"
  [[ -n $report ]] && row+=" $(ratio "${secs[report]}" "${secs[xargs]}") |"
  [[ -n $gnu_parallel ]] && row+=" $(ratio "${secs[parallel]}" "${secs[xargs]}") |"
  row+=" $(mib "${peak[batch]}") | $(mib "${peak[xargs]}") |"
  [[ -n $gnu_parallel ]] && row+=" $(mib "${peak[parallel]}") |"
  if (( n == base_size )); then
    row+=' - |'
  else
    row+=" $(per_job "${peak[batch]}" "$n") |"
  fi
  printf '%s\n' "$row"
  rm -rf "s$n"
done

for n in $peak_sizes; do
  study "p$n" "$n"
  run "p$n" batch
  printf '\nkvsolver-batch -j %d -a jobs, %s one-job directories, run once: %s, peak %s MiB, %s bytes/job\n' \
    "$parallel" "$(count "$n")" "$(seconds "$(cat "p$n/batch.times")")" \
    "$(mib "$(cat "p$n/batch.peaks")")" "$(per_job "$(cat "p$n/batch.peaks")" "$n")"
  rm -rf "p$n"
done

# COUNT directories c1... in the new directory DIR, each with the files of
# one finished run, listed in DIR/jobs: finished_study DIR COUNT. The run
# is made in its own directory, so that its result names its log as
# job.log, wherever it is copied; every copy is a file of its own.
finished_study() {
  mkdir -p "$1/template"
  : >"$1/template/beam.kmd"
  printf 'beam.kmd\nSOLVE CASE\nstop\n' >"$1/template/job.kcf"
  (cd "$1/template" && "${quiet[@]}" "$batch" job.kcf >/dev/null 2>&1) ||
    { echo "bench: the run to copy failed" >&2; exit 1; }
  awk -v n="$2" 'BEGIN { for (i = 1; i <= n; i++) print "c" i }' >"$1/dirs"
  (cd "$1" && xargs mkdir <dirs && sed 's#$#/job.kcf#' dirs >jobs && perl -e '
    my @names = qw(job.kcf beam.kmd job.log job.result);
    my %text;
    for my $name (@names) {
      open my $in, "<:raw", "template/$name" or die "template/$name: $!";
      local $/;
      $text{$name} = <$in>;
    }
    while (my $dir = <STDIN>) {
      chomp $dir;
      for my $name (@names) {
        open my $out, ">:raw", "$dir/$name" or die "$dir/$name: $!";
        print $out $text{$name};
        close $out or die "$dir/$name: $!";
      }
    }' <dirs)
}

for n in $status_sizes; do
  finished_study "f$n" "$n"
  for _ in $(seq "$runs"); do
    measure "f$n" dry-run "${quiet[@]}" "$batch" --dry-run -a jobs
    measure "f$n" status "${quiet[@]}" "$batch" --status -a jobs
    measure "f$n" resume "${quiet[@]}" "$batch" -j "$parallel" --resume -a jobs
  done
  printf '\n'
  for what in dry-run status resume; do
    printf 'kvsolver-batch --%s -a jobs, %s one-job directories: %s, peak %s MiB (median of %d)\n' \
      "$what" "$(count "$n")" "$(seconds "$(median "f$n/$what.times")")" \
      "$(mib "$(median "f$n/$what.peaks")")" "$runs"
  done
  rm -rf "f$n"
done

#!/usr/bin/env bash
# Runs kvsolver-batch over small studies and checks its table, summary,
# logs, results and exit status, for every way a job can end.
#   batch_test.sh local BUILD_DIR   on this machine
#   batch_test.sh slurm BUILD_DIR   as Slurm job arrays on a three-node
#                                   cluster this script starts and stops
#                                   (root and Slurm needed; else skipped)
set -u
mode=$1
build=$(realpath "$2")
batch=$build/bin/kvsolver-batch
here=$(dirname "$(realpath "$0")")
scratch=$(mktemp -d)
passed=0 failed=0
export LC_ALL=C
unset LD_LIBRARY_PATH KVSOLVER KVS_STANDIN_SOLVE_WAIT

cleanup() {
    [[ $mode == slurm ]] && slurm_stop
    rm -rf "$scratch"
}
trap cleanup EXIT

if [[ $mode == slurm ]]; then
    for program in munged slurmctld slurmd sbatch sinfo scancel; do
        if ! command -v "$program" >/dev/null && [[ ! -x /usr/sbin/$program ]]; then
            echo "SKIP: $program is not installed (Debian's munge, slurmctld, slurmd, slurm-client)"
            exit 77
        fi
    done
    [[ $(id -u) -eq 0 ]] || { echo "SKIP: starting a Slurm cluster needs root"; exit 77; }
    source "$here/slurm_cluster.sh"
    slurm_start "$scratch/cluster" 3 || { echo "FAIL: the Slurm cluster did not start"; exit 1; }
fi

check() {  # description command...
    local what=$1
    shift
    if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $what"; fi
}
same() {  # description want got
    if [[ $2 == "$3" ]]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        printf 'FAIL: %s\n--- want\n%s\n--- got\n%s\n' "$1" "$2" "$3"
    fi
}
# The table with its seconds, peak memory and cpu seconds made constant.
steady() {
    sed -E 's/  +[0-9]+\.[0-9]{2}  +[0-9.]+ [KMG]iB  +[0-9]+\.[0-9]{2}$/  S  M  C/
            s/ +seconds  peak memory  cpu seconds$/  seconds  memory  cpu/'
}
# A table row's state column: row PATTERN FILE.
state_of() { grep -E "^$1 " "$2" | awk -F'  +' '{print $3}'; }
# Each row's KEY in JSON Lines FILE, "-" where it has none: json_key FILE KEY.
json_key() { key=$2 perl -CO -MJSON::PP -ne 'print decode_json($_)->{$ENV{key}} // "-", "\n"' "$1"; }
# NAME's bytes in lowercase hexadecimal: hex NAME.
hex() { printf '%s' "$1" | od -An -tx1 | tr -d ' \n'; }
# Waits until FILE exists (at most 30 s).
await() { for _ in $(seq 300); do [[ -e $1 ]] && return 0; sleep 0.1; done; return 1; }
# Waits until the .result FILE holds a final result, not "running" (at most 30 s).
settled() {
    for _ in $(seq 300); do
        [[ -e $1 ]] && ! grep -q '"state":"running"' "$1" && return 0
        sleep 0.1
    done
    return 1
}
# A directory of one job that finishes: fresh DIR [NAME].
fresh() {
    rm -rf "$1"
    mkdir -p "$1"
    : >"$1/beam.kmd"
    printf 'beam.kmd\nSOLVE %s\nstop\n' "$1" >"$1/${2:-job}.kcf"
}
# A launcher that misbehaves on purpose: wrapper NAME SCRIPT-BODY; the real
# launcher is "$real".
real=$build/bin/kvsolver
wrapper() {
    printf '#!/bin/sh\n%s\n' "$2" >"$scratch/$1"
    chmod +x "$scratch/$1"
}
# The launcher of the stories that run thousands of jobs to check the batch:
# the real one, or, in a sanitizer build, where each start of the sanitized
# launcher costs some 80 ms (most of it its leak check at exit), a script
# that ends as a finished run does. Every other story runs the real one.
bulk_launcher=$real
if grep -q '^KVSOLVER_SANITIZE:BOOL=ON$' "$build/CMakeCache.txt" 2>/dev/null; then
    wrapper finished-run "printf ' Return Value of KV Solver = 0 \\n\\n'"
    bulk_launcher=$scratch/finished-run
fi

# The study: four directories, six jobs.
study=$scratch/study
mkdir -p "$study"/{case1,case2,case3,case4}
cd "$study"
for d in case1 case2 case3; do : >"$d/beam.kmd"; done
printf 'beam.kmd\nSOLVE ONE\nstop\n' >case1/job.kcf
printf 'beam.kmd\nSOLVE TWO\nstop\n' >case1/second.kcf
printf 'beam.kmd\nSOLVE ACF\nstop\n' >case2/job.acf
printf 'LOAD\nSOLVE\nstop\n' >case3/job.kss
printf '\nSOLVE\nstop\n' >case3/nomodel.kcf
printf 'missing.kmd\nSOLVE\nstop\n' >case4/job.kcf
jobs=(case1/job.kcf case1/second.kcf case2/job.acf case3/job.kss case3/nomodel.kcf case4/job.kcf)

if [[ $mode == slurm ]]; then
    run=("$batch" --slurm -j 2 --sbatch-option=--partition=batch)
else
    run=("$batch" -j 2)
fi
KVS_STANDIN_LOG=calls.log "${run[@]}" --model beam.kmd --summary summary.tsv "${jobs[@]}" \
    >table 2>progress
status=$?
echo "kvsolver-batch ${run[*]:1} --model beam.kmd ... (exit status $status):"
cat table
check "exit status 1: a job did not finish" test "$status" -eq 1
same "the table" "directory  job          state     return value  meaning                                   attempts  seconds  memory  cpu
case1      job.kcf      finished             0  finished                                         1  S  M  C
case1      second.kcf   finished             0  finished                                         1  S  M  C
case2      job.acf      finished             0  finished                                         1  S  M  C
case3      job.kss      finished             0  finished                                         1  S  M  C
case3      nomodel.kcf  failed              -3  There is no KMD file name in nomodel.kcf         1  S  M  C
case4      job.kcf      failed             -10  convert failed                                   1  S  M  C
case3/nomodel.log: failed: There is no KMD file name in nomodel.kcf
    There is no KMD file name in nomodel.kcf
case4/job.log: failed: convert failed
    KV stand-in: cannot read the model file missing.kmd
    CONVERT-PROCESSING IS FAILED
6 jobs: 4 finished, 2 failed" "$(steady <table | sed '/^    dos2unix: /d')"
same "the summary" "directory	job	state	return_value	meaning	attempts	seconds	started	host	log	max_rss_kib	user_seconds	system_seconds
case1	job.kcf	finished	0	finished	1	S	T	H	case1/job.log	M	U	Y
case1	second.kcf	finished	0	finished	1	S	T	H	case1/second.log	M	U	Y
case2	job.acf	finished	0	finished	1	S	T	H	case2/job.log	M	U	Y
case3	job.kss	finished	0	finished	1	S	T	H	case3/job.log	M	U	Y
case3	nomodel.kcf	failed	-3	There is no KMD file name in nomodel.kcf	1	S	T	H	case3/nomodel.log	M	U	Y
case4	job.kcf	failed	-10	convert failed	1	S	T	H	case4/job.log	M	U	Y" \
    "$(sed -E 's/\t[0-9.]+\t[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:]{8}Z\t[^\t]+\t/\tS\tT\tH\t/
               s/\t[0-9]+\t[0-9]+\.[0-9]{6}\t[0-9]+\.[0-9]{6}$/\tM\tU\tY/' summary.tsv)"
check "each job's output is in its log" grep -q '^COMMAND : SOLVE TWO' case1/second.log
check "a log holds its report line" grep -q '^ Return Value of KV Solver = -10 $' case4/job.log
check "the .kss job ran with the model" grep -q '^KMD : beam.kmd' case3/job.log
check "one progress line per job" test "$(grep -c '^kvsolver-batch: case' progress)" -eq 6
same "the jobs that would fail, named before they run" \
"kvsolver-batch: would fail: case3/nomodel.kcf: nomodel.kcf names no model
kvsolver-batch: would fail: case4/job.kcf: its model missing.kmd is not there" \
    "$(grep '^kvsolver-batch: would fail: ' progress)"
check "no .part file is left" test -z "$(find . -name '*.part')"
same "the shared directory's jobs ran one after the other" \
    "SetOSCompatibility CloseOSCompatibility SetOSCompatibility CloseOSCompatibility" \
    "$(grep -E -o '^(SetOS|CloseOS)Compatibility' case1/calls.log | paste -sd ' ' -)"

# --status reads what is on disk: the same rows, the same exit status.
"$batch" --status --model beam.kmd "${jobs[@]}" >status 2>/dev/null
check "--status: exit status 1" test $? -eq 1
same "--status: the same rows" "$(steady <table)" "$(steady <status)"

# Usage errors: exit 2, nothing runs.
rm -f case1/*.log
for args in "" "nosuch/job.kcf" "case1/beam.kmd" "case3/job.kss" "-j 0 case1/job.kcf" \
            "--bogus case1/job.kcf" "--sbatch-option=-p case1/job.kcf" "--retries x case1/job.kcf" \
            "--timeout 0 case1/job.kcf" "--summary /nonexistent/s.tsv case1/job.kcf" \
            "-a /nonexistent/list"; do
    # shellcheck disable=SC2086
    "$batch" $args >/dev/null 2>&1
    check "usage error for '$args'" test $? -eq 2
done
"$batch" --model $'beam.kmd\nstop' case3/job.kss >/dev/null 2>&1
check "usage error for a --model with a line end" test $? -eq 2
check "usage errors ran nothing" test -z "$(ls case1/*.log 2>/dev/null)"

# Interrupted: no new job starts, the running one is stopped and the table
# shows every job.
interrupt() {  # signal exit-status
    rm -f case1/*.log case1/*.result case1/calls.log
    # A script starts its background commands with SIGINT ignored, which the
    # batch would keep: start it with SIGINT at its default, as a terminal does.
    KVS_STANDIN_LOG=calls.log KVS_STANDIN_SOLVE_WAIT=$scratch/never \
        env --default-signal=INT "${run[@]}" case1/job.kcf case1/second.kcf >table 2>progress &
    local pid=$! status
    for _ in $(seq 300); do grep -q k_solver case1/calls.log 2>/dev/null && break; sleep 0.1; done
    kill -s "$1" "$pid"
    wait "$pid"
    status=$?
    check "SIG$1: exit status $2" test "$status" -eq "$2"
    check "SIG$1: the running job was stopped" grep -q '^case1  *job.kcf  *killed  .*SIGTERM' table
    check "SIG$1: the other job was not run" grep -q '^case1  *second.kcf  *not run  ' table
    check "SIG$1: no new job started" test ! -e case1/second.log
    [[ $mode == local ]] && same "SIG$1: the jobs counted apart" \
        "kvsolver-batch: stopped: 1 of 2 ended, 1 not finished, 1 never started" "$(tail -n 1 progress)"
}
interrupt INT 130

if [[ $mode == local ]]; then
    interrupt TERM 143
    interrupt HUP 129
    source "$here/batch_stories.sh"
    source "$here/batch_record_stories.sh"
    source "$here/batch_process_stories.sh"
    source "$here/batch_name_stories.sh"
    source "$here/batch_case_stories.sh"
    source "$here/batch_scale_stories.sh"
else
    source "$here/batch_slurm_stories.sh"
    source "$here/batch_slurm_node_stories.sh"
fi

echo "batch ($mode): $passed passed, $failed failed"
[[ $failed -eq 0 ]]

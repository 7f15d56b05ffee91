#!/usr/bin/env bash
# Runs kvsolver-batch over a small study and checks its table, summary,
# logs and exit status.
#   batch_test.sh local BUILD_DIR   on this machine, with -j 2, then a
#                                   40-job batch and interrupted batches
#   batch_test.sh slurm BUILD_DIR   as a Slurm job array on a one-node
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
unset LD_LIBRARY_PATH KVSOLVER

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
    slurm_start "$scratch/cluster" || { echo "FAIL: the Slurm cluster did not start"; exit 1; }
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
# The table with its seconds column made constant.
steady() { sed -E 's/ +[0-9]+\.[0-9]+$/ S/; s/ +seconds$/ seconds/'; }

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
check "exit status 1: a job did not return 0" test "$status" -eq 1
same "the table" "directory  job          return value  meaning seconds
case1      job.kcf      0             finished S
case1      second.kcf   0             finished S
case2      job.acf      0             finished S
case3      job.kss      0             finished S
case3      nomodel.kcf  -3            no auto-command file S
case4      job.kcf      -10           convert failed S" "$(steady <table)"
same "the summary" "directory	job	return_value	meaning	seconds	log
case1	job.kcf	0	finished	S
case1	second.kcf	0	finished	S
case2	job.acf	0	finished	S
case3	job.kss	0	finished	S
case3	nomodel.kcf	-3	no auto-command file	S
case4	job.kcf	-10	convert failed	S" \
    "$(sed -E 's/\t[0-9.]+\t[^\t]*$/\tS/' summary.tsv)"
check "the summary names each log" grep -q $'\tcase3/nomodel.log$' summary.tsv
check "each job's output is in its log" grep -q '^COMMAND : SOLVE TWO' case1/second.log
check "a log holds its report line" grep -q '^ Return Value of KV Solver = -10 $' case4/job.log
check "the .kss job ran with the model" grep -q '^KMD : beam.kmd' case3/job.log
check "one progress line per job" test "$(grep -c '^kvsolver-batch: case' progress)" -eq 6
same "the shared directory's jobs ran one after the other" \
    "SetOSCompatibility CloseOSCompatibility SetOSCompatibility CloseOSCompatibility" \
    "$(grep -E -o '^(SetOS|CloseOS)Compatibility' case1/calls.log | paste -sd ' ' -)"

# Usage errors: nothing runs.
for args in "" "nosuch/job.kcf" "case1/beam.kmd" "case3/job.kss" "-j 0 case1/job.kcf" \
            "--bogus case1/job.kcf" "--sbatch-option=-p case1/job.kcf"; do
    # shellcheck disable=SC2086
    "$batch" $args >/dev/null 2>&1
    check "usage error for '$args'" test $? -eq 2
done

# Interrupted: no new job starts, the running one gets SIGTERM (on Slurm,
# through scancel) and is waited for, and the table shows what ran.
interrupt() {  # signal exit-status
    rm -f case1/*.log case1/*.result case1/calls.log
    KVS_STANDIN_LOG=calls.log KVS_STANDIN_SOLVE_WAIT=$scratch/never "${run[@]}" \
        case1/job.kcf case1/second.kcf >table 2>/dev/null &
    local pid=$! status
    for _ in $(seq 300); do grep -q k_solver case1/calls.log 2>/dev/null && break; sleep 0.1; done
    kill -s "$1" "$pid"
    wait "$pid"
    status=$?
    check "SIG$1: exit status $2" test "$status" -eq "$2"
    check "SIG$1: the running job's row" grep -q '^case1  *job.kcf  *SIGTERM ' table
    check "SIG$1: no new job started" test ! -e case1/second.log
}
interrupt INT 130

if [[ $mode == local ]]; then
    interrupt TERM 143

    # Forty jobs in twenty directories, two to a directory: the lock never
    # fires between a directory's own jobs, and no stream mixes with another.
    many=$scratch/many
    list=()
    for d in $(seq 20); do
        mkdir -p "$many/d$d"
        : >"$many/d$d/beam.kmd"
        for j in 1 2; do
            printf 'beam.kmd\nCASE d%s j%s\nSOLVE d%s j%s\nstop\n' "$d" "$j" "$d" "$j" \
                >"$many/d$d/j$j.kcf"
            list+=("$many/d$d/j$j.kcf")
        done
    done
    "$batch" -j 4 "${list[@]}" >"$scratch/many.table" 2>/dev/null
    check "forty jobs, all returned 0" test $? -eq 0
    check "forty rows" test "$(grep -c ' finished ' "$scratch/many.table")" -eq 40
    mixed=0
    for d in $(seq 20); do
        for j in 1 2; do
            log=$many/d$d/j$j.log
            [[ $(grep -c 'KV stand-in: solving' "$log") -eq 2 ]] || mixed=1
            grep -q "^ KV stand-in: solving CASE d$d j$j\$" "$log" || mixed=1
            grep -q "^ KV stand-in: solving SOLVE d$d j$j\$" "$log" || mixed=1
        done
    done
    check "each job solved its own commands and only them" test $mixed -eq 0

    # KVSOLVER names another launcher; a launcher that dies has no report line.
    printf '#!/bin/sh\necho " Return Value of KV Solver = 7 "\nexit 7\n' >"$scratch/other"
    chmod +x "$scratch/other"
    KVSOLVER=$scratch/other "$batch" case2/job.acf >table 2>/dev/null
    check "KVSOLVER names the launcher" grep -q '^case2  *job.acf  *7  *error raised by the solver library' table
    KVS_STANDIN_THROW=k_convert=boom "$batch" case2/job.acf >table 2>/dev/null
    check "a launcher ended by a signal" grep -q '^case2  *job.acf  *SIGABRT  *no report line' table
fi

echo "batch ($mode): $passed passed, $failed failed"
[[ $failed -eq 0 ]]

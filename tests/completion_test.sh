#!/usr/bin/env bash
# Drives the completion functions of kvsolver and kvsolver-batch over a
# scratch directory.
#   completion_test.sh path/to/kvsolver.bash path/to/kvsolver-batch.bash \
#       path/to/kvsolver-batch
set -u
source "$1"
source "$2"
batch=$(realpath "$3")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
touch job.kcf job.acf other.acf beam.kmd 'two words.kcf' load.kss \
      'x$(touch pwned).kss' notes.txt
mkdir dir.kcf sub sub/deep
touch sub/case.kcf sub/part.kss sub/m.kmd sub/deep/more.acf

passed=0 failed=0
# expect WANT WORD...: completing the last WORD offers WANT (sorted, "|"-joined).
expect() {
    local want=$1 got
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    if [[ $1 == kvsolver-batch ]]; then _kvsolver_batch; else _kvsolver; fi
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort | paste -sd '|' -)
    if [[ $got == "$want" ]]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL: $* -> '$got', want '$want'"
    fi
}

expect 'beam.kmd|dir.kcf|job|other|sub|two words' kvsolver ''
expect 'job' kvsolver j
expect 'two words' kvsolver tw
expect '' kvsolver zz
expect 'sub' kvsolver su
expect 'sub/case|sub/deep|sub/m.kmd' kvsolver sub/
expect 'sub/deep/more' kvsolver sub/deep/m
expect 'dir.kcf|load|sub|x$(touch pwned)' kvsolver beam.kmd ''
expect 'dir.kcf|load|sub|x$(touch pwned)' kvsolver anything ''
expect 'load' kvsolver beam.kmd l
expect 'sub/deep|sub/part' kvsolver sub/m.kmd sub/
expect '' kvsolver beam.kmd load ''
expect 'dir.kcf|job.acf|job.kcf|load.kss|other.acf|sub|two words.kcf|x$(touch pwned).kss' \
    kvsolver-batch ''
expect 'sub/case.kcf|sub/deep|sub/part.kss' kvsolver-batch -j 2 sub/
expect 'beam.kmd|dir.kcf|sub' kvsolver-batch --model ''
expect '--report=|--resume|--retries=|--retry-on=' kvsolver-batch --re
expect '' kvsolver-batch --timeout ''
expect 'notes.txt' kvsolver-batch -a n
expect 'notes.txt' kvsolver-batch --report n
# Directories are offered bare: bash (-o filenames) marks them with one "/".
expect 'sub' kvsolver-batch --model su
expect 'dir.kcf|sub' kvsolver-batch --slurm-output ''
expect 'notes.txt' kvsolver-batch --task-prologue n
# "--summary=" reaches the function as "--summary" "=" and what follows.
expect 'notes.txt' kvsolver-batch --summary = n
expect 'beam.kmd|dir.kcf|job.acf|job.kcf|load.kss|notes.txt|other.acf|sub|two words.kcf|x$(touch pwned).kss' \
    kvsolver-batch --summary =
expect 'sub/case.kcf|sub/deep|sub/m.kmd|sub/part.kss' kvsolver-batch --report = sub/
expect '' kvsolver-batch --per-task = ''

# Every option of --help is offered, and no other.
options=$("$batch" --help | grep -E '^  +-' | grep -oE '(^|[ ,])--?[a-z][a-z-]*' |
          tr -d ' ,' | sort -u | paste -sd '|' -)
offered=$(COMP_WORDS=(kvsolver-batch -); COMP_CWORD=1; _kvsolver_batch
          printf '%s\n' "${COMPREPLY[@]}" | sed 's/=$//' | sort | paste -sd '|' -)
if [[ -n $options && $offered == "$options" ]]; then
    passed=$((passed + 1))
else
    failed=$((failed + 1))
    echo "FAIL: the options offered: '$offered', --help has '$options'"
fi

[[ -e pwned ]] && { echo "FAIL: a file name was run"; failed=$((failed + 1)); }

echo "completion: $passed passed, $failed failed"
[[ $failed -eq 0 ]]

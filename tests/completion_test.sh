#!/usr/bin/env bash
# Drives the kvsolver completion function over a scratch directory.
#   completion_test.sh path/to/kvsolver.bash
set -u
source "$1"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
touch job.kcf job.acf other.acf beam.kmd 'two words.kcf' load.kss \
      'x$(touch pwned).kss' notes.txt
mkdir dir.kcf

passed=0 failed=0
# expect WANT WORD...: completing the last WORD offers WANT (sorted, "|"-joined).
expect() {
    local want=$1 got
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _kvsolver
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort | paste -sd '|' -)
    if [[ $got == "$want" ]]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL: $* -> '$got', want '$want'"
    fi
}

expect 'beam.kmd|job|other|two words' kvsolver ''
expect 'job' kvsolver j
expect 'two words' kvsolver tw
expect '' kvsolver zz
expect 'load|x$(touch pwned)' kvsolver beam.kmd ''
expect 'load' kvsolver beam.kmd l
expect '' kvsolver beam.kmd load ''
[[ -e pwned ]] && { echo "FAIL: a file name was run"; failed=$((failed + 1)); }

echo "completion: $passed passed, $failed failed"
[[ $failed -eq 0 ]]

#!/bin/sh
# Makes the parametric study in study/ (a template and a table of load
# factors) in a scratch directory with kvsolver-batch (given as $1, default
# build/bin/kvsolver-batch) and runs it: each case is a directory of its
# own, run two at a time.
set -eu
examples=$(cd "$(dirname "$0")" && pwd)
batch=$(cd "$(dirname "${1:-build/bin/kvsolver-batch}")" && pwd)/$(basename "${1:-build/bin/kvsolver-batch}")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp -R "$examples/study" "$scratch"
cd "$scratch/study"

echo "\$ kvsolver-batch --make-cases template loads.csv cases"
"$batch" --make-cases template loads.csv cases
echo "\$ kvsolver-batch -j 2 --model beam.kmd --summary study.tsv cases/*/job.kcf cases/*/*.kss"
status=0
"$batch" -j 2 --model beam.kmd --summary study.tsv cases/*/job.kcf cases/*/*.kss || status=$?
echo "(exit status $status)"
echo
echo "study.tsv:"
cat study.tsv
exit "$status"

#!/bin/sh
# Runs the demo job with the launcher given as $1 (default build/bin/kvsolver)
# in a scratch copy of this folder: the converter rewrites command files in
# place and the command stream is written to the working directory, so
# nothing in the source tree is touched.
set -eu
examples=$(cd "$(dirname "$0")" && pwd)
kvsolver=$(cd "$(dirname "${1:-build/bin/kvsolver}")" && pwd)/$(basename "${1:-build/bin/kvsolver}")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp "$examples/job.kcf" "$examples/job.kss" "$examples/beam.kmd" "$scratch"
cd "$scratch"

echo "\$ kvsolver job"
status=0
"$kvsolver" job || status=$?
echo "(exit status $status)"
echo
echo "The command stream z_z_z_z_.___ it wrote:"
cat z_z_z_z_.___
exit "$status"

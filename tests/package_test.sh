#!/usr/bin/env bash
# Builds the Debian package from BUILD_DIR, installs it with dpkg, runs the
# example job with the packaged launcher on the build's stand-in library,
# and removes the package again. Needs root; CI runs it.
#   package_test.sh BUILD_DIR EXAMPLES_DIR
set -eu
build=$(realpath "$1")
examples=$(realpath "$2")
scratch=$(mktemp -d)
cleanup() {
    dpkg -r kvsolver >/dev/null 2>&1 || true
    rm -rf "$scratch"
}
trap cleanup EXIT

(cd "$scratch" && cpack --config "$build/CPackConfig.cmake" -G DEB >/dev/null)
deb=$(ls "$scratch"/kvsolver_*.deb)
dpkg-deb -f "$deb" Depends | grep -q 'dos2unix'
dpkg -i "$deb"

mkdir "$scratch/job"
cp "$examples"/job.kcf "$examples"/beam.kmd "$scratch/job"
cd "$scratch/job"
status=0
LD_LIBRARY_PATH=$build/lib /usr/bin/kvsolver job >out || status=$?
[ "$status" -eq 0 ] || { cat out; echo "package: the packaged launcher ended with $status"; exit 1; }
grep -q '^ Return Value of KV Solver = 0 $' out
grep -q 'CONVERT-PROCESSING IS SUCCESSFULLY FINISHED' out
test -f /usr/share/man/man1/kvsolver.1
test -f /usr/share/bash-completion/completions/kvsolver

dpkg -r kvsolver
test ! -e /usr/bin/kvsolver
echo "package: 1 passed, 0 failed"

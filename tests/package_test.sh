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
# Debian's package checker: no errors. What it still says is shown.
if command -v lintian >/dev/null; then
    # It exits non-zero on an error tag, or when it can't check at all.
    lintian --allow-root -I "$deb" || { echo "package: lintian reports errors"; exit 1; }
else
    echo "package: lintian is not installed: the package is not checked"
fi
dpkg -i "$deb"

mkdir "$scratch/job"
cp "$examples"/job.kcf "$examples"/beam.kmd "$scratch/job"
cd "$scratch/job"
status=0
LD_LIBRARY_PATH=$build/lib /usr/bin/kvsolver job >out || status=$?
[ "$status" -eq 0 ] || { cat out; echo "package: the packaged launcher ended with $status"; exit 1; }
grep -q '^ Return Value of KV Solver = 0 $' out
grep -q 'CONVERT-PROCESSING IS SUCCESSFULLY FINISHED' out
# The packaged batch runs the job with the packaged launcher beside it.
status=0
LD_LIBRARY_PATH=$build/lib /usr/bin/kvsolver-batch job.kcf >table 2>/dev/null || status=$?
[ "$status" -eq 0 ] || { cat table; echo "package: kvsolver-batch ended with $status"; exit 1; }
grep -q '^\. *job.kcf *finished *0 ' table
test -f /usr/share/man/man1/kvsolver.1.gz
test -f /usr/share/man/man1/kvsolver-batch.1.gz
test -f /usr/share/doc/kvsolver/copyright
test -f /usr/share/doc/kvsolver/changelog.gz
man -l /usr/share/man/man1/kvsolver.1.gz >/dev/null 2>&1 || zcat /usr/share/man/man1/kvsolver.1.gz | grep -q '^.TH KVSOLVER'
test -f /usr/share/bash-completion/completions/kvsolver
test -f /usr/share/bash-completion/completions/kvsolver-batch

dpkg -r kvsolver
test ! -e /usr/bin/kvsolver
echo "package: 1 passed, 0 failed"

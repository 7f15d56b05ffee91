#!/usr/bin/env bash
# Installs a build tree into a scratch prefix and runs the installed launcher.
#   install_test.sh BUILD_DIR EXAMPLES_DIR
# Without the stand-in option nothing but the launcher, its manual page and
# its completion is installed, and the launcher finds the solver library
# only through the system's search (here LD_LIBRARY_PATH).
set -u
build=$(realpath "$1")
examples=$(realpath "$2")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
passed=0 failed=0
check() {  # description command...
    local what=$1
    shift
    if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $what"; fi
}

prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
standin=$(grep -c '^KVSOLVER_INSTALL_STANDIN:BOOL=ON' "$build/CMakeCache.txt")

check "launcher installed" test -x "$prefix/bin/kvsolver"
check "manual page installed" test -f "$prefix/share/man/man1/kvsolver.1"
check "completion installed" test -f "$prefix/share/bash-completion/completions/kvsolver"

mkdir "$scratch/job"
cp "$examples"/job.kcf "$examples"/beam.kmd "$scratch/job"
cd "$scratch/job"
if [[ $standin -eq 0 ]]; then
    check "no stand-in installed" test ! -e "$prefix/lib/kvsolver"
    check "no RUNPATH into the build tree" \
        bash -c "! readelf -d '$prefix/bin/kvsolver' | grep -q 'R.*PATH'"
    env -u LD_LIBRARY_PATH "$prefix/bin/kvsolver" job >/dev/null 2>&1
    check "without a solver library the loader refuses to start it" test $? -eq 127
    LD_LIBRARY_PATH=$build/lib "$prefix/bin/kvsolver" job >out 2>/dev/null
    check "runs the job on a library found by LD_LIBRARY_PATH" test $? -eq 0
else
    check "stand-in installed" test -f "$prefix/lib/kvsolver/libkvslvcore.so"
    env -u LD_LIBRARY_PATH "$prefix/bin/kvsolver" job >out 2>/dev/null
    check "runs the job on the installed stand-in" test $? -eq 0
fi
check "the report line" grep -q '^ Return Value of KV Solver = 0 $' out

echo "install: $passed passed, $failed failed"
[[ $failed -eq 0 ]]

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
check "kvsolver-batch installed" test -x "$prefix/bin/kvsolver-batch" -a -f "$prefix/share/man/man1/kvsolver-batch.1.gz"
check "manual page installed" test -f "$prefix/share/man/man1/kvsolver.1.gz"
check "copyright and changelog installed" \
    test -f "$prefix/share/doc/kvsolver/copyright" -a -f "$prefix/share/doc/kvsolver/changelog.gz"
check "completion installed" test -f "$prefix/share/bash-completion/completions/kvsolver"
check "kvsolver-batch completion installed" \
    test -f "$prefix/share/bash-completion/completions/kvsolver-batch"

# runpath_is_safe FILE: every RUNPATH or RPATH entry names a folder by an
# absolute path or relative to the program itself: an empty or relative one
# would make the loader search the working directory.
runpath_is_safe() {
    local entries entry
    entries=$(readelf -d "$1" | sed -n 's/.*(R\(UN\)\{0,1\}PATH).*\[\(.*\)\]$/\2/p')
    [[ -z $entries ]] && return 0
    [[ $entries == :* || $entries == *: || $entries == *::* ]] && return 1
    IFS=: read -ra entries <<<"$entries"
    for entry in "${entries[@]}"; do
        [[ $entry == /* || $entry == '$ORIGIN'* ]] || return 1
    done
}
export -f runpath_is_safe
check "no empty or relative RUNPATH entry in the build tree's launcher" \
    runpath_is_safe "$build/bin/kvsolver"
check "nor in the installed one" runpath_is_safe "$prefix/bin/kvsolver"
if command -v cc >/dev/null; then
    printf 'int main(void) { return 0; }\n' >"$scratch/padded.c"
    cc "$scratch/padded.c" -o "$scratch/padded" -Wl,--enable-new-dtags,-rpath,/lib:
    check "the check finds an empty entry" bash -c "! runpath_is_safe '$scratch/padded'"
fi

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

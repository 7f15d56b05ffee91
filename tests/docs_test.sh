#!/usr/bin/env bash
# Checks that the documents agree with the build and with each other: the
# README's Depends: line is the package's, and the manual pages carry one
# date.
#   docs_test.sh SOURCE_DIR
set -u
source_dir=$1
failed=0
fail() { echo "FAIL: $1"; failed=1; }

packaged=$(sed -n '/^set(CPACK_DEBIAN_PACKAGE_DEPENDS/,/)$/p' "$source_dir/CMakeLists.txt" |
           tr -d '\n' | sed -E 's/^set\(CPACK_DEBIAN_PACKAGE_DEPENDS "//; s/"\)$//; s/\\//g')
readme=$(grep '^Depends: ' "$source_dir/README.md" | sed 's/^Depends: //')
[[ -n $packaged && $readme == "$packaged" ]] ||
    fail "README's Depends: '$readme', the package's '$packaged'"

dates=$(head -qn 1 "$source_dir"/doc/*.1 | sed -E 's/^\.TH [^ ]+ [0-9] ([0-9-]+) .*/\1/' | sort -u)
[[ $(wc -l <<<"$dates") -eq 1 && -n $dates ]] || fail "the manual pages' dates: $(echo $dates)"

echo "docs: $([[ $failed -eq 0 ]] && echo agree || echo disagree)"
exit "$failed"

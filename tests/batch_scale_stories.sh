# The stories of tests/batch_test.sh about a study of many jobs on this
# machine: 20,000 tiny jobs run and read back, every one of them in the
# table, the summary and its directory. Sourced by it, in the study
# directory, with its helpers.

# 20,000 one-job directories scale/d1... and their jobs in scale.list, made
# without a process per file.
jobs_count=20000
rm -rf scale
mkdir scale
awk -v n="$jobs_count" 'BEGIN { for (i = 1; i <= n; i++) print "scale/d" i }' >scale.dirs
xargs mkdir <scale.dirs
awk '{ printf "" >($0 "/beam.kmd"); close($0 "/beam.kmd")
       printf "beam.kmd\nSOLVE %s\nstop\n", $0 >($0 "/job.kcf"); close($0 "/job.kcf")
       print $0 "/job.kcf" }' scale.dirs >scale.list
check "20,000 jobs: made" test "$(wc -l <scale.list)" -eq "$jobs_count"

# The stand-in's stages quiet and no converter on PATH: the launcher runs
# the converter on every command file it finds on PATH, and the jobs are to
# cost no more than their start.
mkdir -p "$scratch/no-converter"
quiet_run=(env PATH="$scratch/no-converter" KVS_STANDIN_QUIET=1 KVS_STANDIN_CONVERT_RESULT=0
           KVSOLVER="$bulk_launcher" "$batch")
"${quiet_run[@]}" -j 2 -a scale.list --summary scale.tsv >scale.table 2>/dev/null
check "20,000 jobs: exit status 0" test $? -eq 0
check "20,000 jobs: a row for each in the table" \
    test "$(grep -c '^scale/d[0-9]*  *job\.kcf  *finished  ' scale.table)" -eq "$jobs_count"
same "20,000 jobs: the table's last line" "20000 jobs: 20000 finished" "$(tail -n 1 scale.table)"
same "20,000 jobs: the summary, a finished row for each job in the list's order" \
    "$(sed 's#/job\.kcf$#	job.kcf	finished#' scale.list)" "$(sed 1d scale.tsv | cut -f 1-3)"
check "20,000 jobs: every directory has its result" \
    test "$(find scale -name job.result | wc -l)" -eq "$jobs_count"
check "20,000 jobs: no .part file is left" test -z "$(find scale -name '*.part')"

"${quiet_run[@]}" --status -a scale.list >scale.status 2>/dev/null
check "20,000 jobs, --status: exit status 0" test $? -eq 0
check "20,000 jobs, --status: a finished row for each" \
    test "$(grep -c '^scale/d[0-9]*  *job\.kcf  *finished  ' scale.status)" -eq "$jobs_count"
same "20,000 jobs, --status: the last line" "20000 jobs: 20000 finished" "$(tail -n 1 scale.status)"

rm -rf scale scale.dirs scale.list scale.tsv scale.table scale.status

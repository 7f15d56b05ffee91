# The stories of tests/batch_test.sh about the processes, signals and
# descriptors of a batch on this machine: sourced by it after
# batch_stories.sh, in the study directory, with its helpers.

# The working directories of the processes that work in DIR or below it:
# left_in DIR.
left_in() {
    find /proc/[0-9]*/cwd -maxdepth 0 -printf '%l/\n' 2>/dev/null | grep -F -e "$1/"
}
# Waits up to 30 s for process PID to end; kills it if it does not. Says
# whether it ended: ends_soon PID.
ends_soon() {
    for _ in $(seq 300); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
    kill -9 "$1"
    return 1
}
# COUNT directories of one job each under PARENT: many_jobs PARENT COUNT;
# their jobs in the file PARENT.list.
many_jobs() {
    rm -rf "$1"
    local i
    for i in $(seq "$2"); do fresh "$1/d$i"; echo "$1/d$i/job.kcf"; done >"$1.list"
}

# A stop at any moment while 150 tasks start ends the batch within seconds,
# and no job it held runs on to finish.
many_jobs stops 150
for stop in "0.01 TERM 143" "0.02 INT 130" "0.03 HUP 129" "0.04 TERM 143" "0.05 INT 130" \
            "0.06 HUP 129" "0.07 TERM 143" "0.08 INT 130" "0.09 TERM 143" "0.2 TERM 143"; do
    read -r delay signal status <<<"$stop"
    rm -f stops/d*/job.log* stops/d*/job.result
    KVS_STANDIN_SOLVE_WAIT=$scratch/never env --default-signal=INT \
        "$batch" -j 150 -a stops.list >table 2>/dev/null &
    pid=$!
    sleep "$delay"
    kill -s "$signal" "$pid"
    check "SIG$signal $delay s after the start: the batch ends within seconds" ends_soon "$pid"
    wait "$pid"
    check "SIG$signal $delay s after the start: exit status $status" test $? -eq "$status"
    check "SIG$signal $delay s after the start: no job finished" \
        test "$(grep -c ' finished ' table)" -eq 0
    # A stop before the batch has set its signals up ends it at once, with
    # no table; after, the table has every job.
    rows=$(grep -c '^stops/d[0-9]*  ' table)
    check "SIG$signal $delay s after the start: every job in the table, or none began" \
        test "$rows" -eq 150 -o -z "$(find stops -name job.log)"
done
check "after the stops: nothing is left running in their directories" \
    test -z "$(left_in "$study/stops")"

# SIGKILL of the batch while its tasks start: they end, and their jobs.
many_jobs killed 60
KVS_STANDIN_SOLVE_WAIT=$scratch/never "$batch" -j 60 -a killed.list >/dev/null 2>&1 &
pid=$!
sleep 0.05
kill -9 "$pid"
wait "$pid" 2>/dev/null
sleep 3
check "SIGKILL while tasks start: no task or launcher is left" \
    test -z "$(left_in "$study/killed")"

# What a job's launcher leaves behind ends with the job, before its row:
# a plain background child, one that ignores SIGTERM and writes the log
# (which then ends in no report line), one in a session of its own; also
# when the job times out.
wrapper leaves-sleep "sleep 1000 & exec $real \"\$@\""
wrapper leaves-writer "(trap '' TERM; while :; do echo tick; sleep 0.1; done) & exec $real \"\$@\""
wrapper leaves-session "setsid sleep 1000 & sleep 0.2; exec $real \"\$@\""
for leftover in "leaves-sleep finished" "leaves-writer failed" "leaves-session finished" \
                "leaves-writer timed out"; do
    read -r name state <<<"$leftover"
    fresh left
    held=() limit=()
    [[ $state == "timed out" ]] && held=("KVS_STANDIN_SOLVE_WAIT=$scratch/never") limit=(--timeout 0.5)
    env "${held[@]}" KVSOLVER="$scratch/$name" "$batch" --kill-after 1 "${limit[@]}" left/job.kcf \
        >table 2>/dev/null
    check "$name ($state): the job's row" test "$(state_of left table)" = "$state"
    check "$name ($state): nothing of the job is left" test -z "$(left_in "$study/left")"
    size=$(stat -c %s left/job.log)
    sleep 0.5
    check "$name ($state): the log is not written after the row" \
        test "$(stat -c %s left/job.log)" -eq "$size"
done

# A batch started with a signal ignored keeps it ignored, and so do its
# jobs: under nohup a hang-up stops neither; without, it stops both.
wrapper hangs-up "kill -HUP \$\$; exec $real \"\$@\""
fresh hup
KVSOLVER=$scratch/hangs-up "$batch" hup/job.kcf >table 2>/dev/null
check "a job that hangs itself up: killed by SIGHUP" grep -q '^hup  *job.kcf  *killed  .*SIGHUP' table
rm -f "$scratch/release-hup"
KVSOLVER=$scratch/hangs-up KVS_STANDIN_SOLVE_WAIT=$scratch/release-hup \
    nohup "$batch" hup/job.kcf >table 2>/dev/null &
pid=$!
await hup/job.log
sleep 0.3
kill -HUP "$pid"
sleep 0.3
touch "$scratch/release-hup"
wait "$pid"
check "nohup and SIGHUP: exit status 0" test $? -eq 0
check "nohup and SIGHUP: the job finished" test "$(state_of hup table)" = finished

# Descriptors run short: no task holds another's, and a task that can't
# have its report pipe waits for one to end instead of losing its jobs.
many_jobs few 300
prlimit --nofile=64 "$batch" -j 300 -a few.list >table 2>err
check "300 tasks in 64 descriptors: exit status 0" test $? -eq 0
check "300 tasks in 64 descriptors: all finished" test "$(grep -c '  finished  ' table)" -eq 300

# Two slots run a study of many directories in two tasks, one a slot,
# however many directories: each launcher's parent is a task.
many_jobs slots 12
wrapper parent '[ "$1" = --version ] || echo $PPID >>"$0.parents"; exec "'"$real"'" "$@"'
rm -f "$scratch/parent.parents"
KVSOLVER=$scratch/parent "$batch" -j 2 -a slots.list >table 2>/dev/null
check "12 directories in 2 slots: exit status 0" test $? -eq 0
check "12 directories in 2 slots: all finished" test "$(grep -c '  finished  ' table)" -eq 12
check "12 directories in 2 slots: two tasks ran them" \
    test "$(sort -u "$scratch/parent.parents" | wc -l)" -eq 2

# A task killed while a job runs loses that job alone: the directories
# after it run in a task started in its place.
many_jobs replaced 3
env "$(hold replaced)" "$batch" -a replaced.list >table 2>/dev/null &
pid=$!
launcher=$(launcher_in replaced/d1)
kill -9 "$(awk '{print $4}' "/proc/$launcher/stat")"
touch "$scratch/release-replaced"
wait "$pid"
check "a task killed: exit status 1" test $? -eq 1
check "a task killed: its job lost" \
    grep -qE '^replaced/d1  *job.kcf  *lost  *its task was ended by SIGKILL' table
check "a task killed: the next directories finished in another" \
    test "$(grep -c '^replaced/d[23]  .*  finished  ' table)" -eq 2

# Standard input and output closed: the table can't be written, and says so.
fresh closed
"$batch" --summary closed.tsv closed/job.kcf <&- >&- 2>err
check "standard output closed: exit status 2" test $? -eq 2
check "standard output closed: a message" grep -q 'cannot write the table' err
check "standard output closed: the job ran" test "$(cut -f3 closed.tsv | tail -1)" = finished

# Jobs whose names look like options run as the jobs they are.
fresh dash --help
cp dash/--help.kcf dash/--version.kcf
"$batch" dash/--help.kcf dash/--version.kcf >table 2>/dev/null
check "jobs named like options: exit status 0" test $? -eq 0
same "jobs named like options: finished" "finished finished" \
    "$(for job in '--help' '--version'; do state_of "dash  *$job.kcf" table; done | paste -sd ' ' -)"
check "jobs named like options: each ran its own file" grep -q '^COMMAND : SOLVE dash' dash/--version.log

# A NUL byte in a list is a usage error that names the line; nothing runs.
fresh nul x
printf 'nul/x.kcf\nnul/x.kcf\0y.kcf\n' >nul.list
before=$(cat nul/x.kcf)
"$batch" -a nul.list >/dev/null 2>err
check "a NUL byte in a list: exit status 2" test $? -eq 2
check "a NUL byte in a list: the message names the list and line" grep -q 'nul.list: line 2' err
same "a NUL byte in a list: the job file is untouched" "$before" "$(cat nul/x.kcf)"
check "a NUL byte in a list: nothing ran" test ! -e nul/x.log

# --summary goes nowhere but to a file the study does not read.
fresh target
echo target/job.kcf >target.txt
"$batch" --summary target.txt -a - <target.txt >/dev/null 2>err
check "--summary on the list read from standard input: exit status 2" test $? -eq 2
mkfifo target-fifo.tsv
ln -f target/job.kcf target-link.tsv
targets=(target-fifo.tsv target/job.kcf target/beam.kmd target.txt target-link.tsv target)
if [[ $(id -u) -eq 0 ]]; then
    mknod target-null.tsv c 1 3
    targets+=(target-null.tsv)
else
    echo "SKIP: --summary on a device node (mknod needs root)"
fi
for summary in "${targets[@]}"; do
    before=$(stat -c '%F %i %s %Y' "$summary")
    "$batch" --summary "$summary" -a target.txt >/dev/null 2>err
    check "--summary $summary: exit status 2" test $? -eq 2
    check "--summary $summary: a message naming it" grep -qF -- "$summary" err
    same "--summary $summary: left as it is" "$before" "$(stat -c '%F %i %s %Y' "$summary")"
done
check "--summary refused: nothing ran" test ! -e target/job.log
"$batch" --status --summary target.txt -a target.txt >/dev/null 2>err
check "--status --summary on the list: exit status 2" test $? -eq 2

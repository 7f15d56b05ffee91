# The stories of tests/batch_test.sh that need the three-node Slurm cluster
# it started: sourced by it, in the study directory, with its helpers. The
# cluster's MaxArraySize is 100.

slurm=("$batch" --slurm --sbatch-option=--partition=batch)
# The value of KEY in the .result file FILE.
field() { sed -E "s/.*\"$2\":\"?([^\",]*)\"?[,}].*/\1/" "$1"; }

# 250 directories, at most 3 tasks at once: split into arrays, all finished.
wrapper timed "echo \"start \$(date +%s%N)\" >>$scratch/times; $real \"\$@\"; s=\$?; echo \"end \$(date +%s%N)\" >>$scratch/times; exit \$s"
list=()
for i in $(seq 250); do fresh "wide/d$i"; list+=("wide/d$i/job.kcf"); done
KVSOLVER=$scratch/timed "${slurm[@]}" -j 3 "${list[@]}" >table 2>err
check "250 directories: exit status 0" test $? -eq 0
check "250 directories: every job finished" test "$(grep -c ' finished  ' table)" -eq 250
check "250 directories: three arrays" test "$(grep -c '^kvsolver-batch: Slurm job ' err)" -eq 3
tail -n 1 table
most=$(sort -k2,2n "$scratch/times" | awk '$1 == "start" { n++; if (n > m) m = n } $1 == "end" { n-- } END { print m }')
echo "250 directories, -j 3: at most $most tasks at once"
check "250 directories: never more than 3 at once" test "$most" -le 3
grep -m1 '^kvsolver-batch: Slurm job ' err

# The same study packed ten directories to a task: 25 tasks.
KVSOLVER=$real "${slurm[@]}" -j 3 --per-task 10 "${list[@]}" >table 2>err
check "--per-task 10: exit status 0" test $? -eq 0
check "--per-task 10: 25 tasks" \
    test "$(for f in wide/d*/job.result; do field "$f" task; done | sort -u | wc -l)" -eq 25
check "--per-task 10: one array" test "$(grep -c '^kvsolver-batch: Slurm job ' err)" -eq 1

# A task killed while its job runs: lost, naming its output and Slurm's
# word; run again with --retries 1, it finishes.
wrapper hold-once "if [ -e held ]; then exec $real \"\$@\"; fi; touch held; KVS_STANDIN_SOLVE_WAIT=$scratch/never exec $real \"\$@\""
run_killed() {  # [option]...: runs killed/job.kcf, killing its task once the job runs
    fresh killed
    KVSOLVER=$scratch/hold-once KVS_STANDIN_LOG=calls.log "${slurm[@]}" "$@" killed/job.kcf \
        >table 2>/dev/null &
    local pid=$!
    await killed/held
    # Its launcher held in its solve, so that it has left its trace in calls.log.
    for _ in $(seq 300); do grep -q '^k_solver' killed/calls.log 2>/dev/null && break; sleep 0.1; done
    scancel --signal=KILL "$(field killed/job.result task)"
    wait "$pid"
}
run_killed
check "a killed task: exit status 1" test $? -eq 1
check "a killed task: lost, naming its output and Slurm's state" \
    grep -qE '^killed  *job.kcf  *lost  .*\(Slurm: [A-Z_]+\); see .*kvsolver-batch-slurm/[0-9]+_0\.out' table
grep '^killed ' table
# However the kill reaches the task and its launcher, the job is run again
# by a task of its own: two attempts, two logs, two runs of the launcher.
for round in 1 2 3 4; do
    run_killed --retries 1
    check "a killed task, --retries 1 ($round): exit status 0" test $? -eq 0
    check "a killed task, --retries 1 ($round): finished in two attempts" \
        grep -qE '^killed  *job.kcf  *finished .* 2  ' table
    same "a killed task, --retries 1 ($round): two logs, two runs" "job.log job.log.1 2" \
        "$(cd killed && echo job.log* "$(grep -c '^SetOSCompatibility' calls.log)")"
done

# Slurm ends a task by signalling each of its processes: when the launcher
# dies of it before the task has caught its own, the task starts no next job.
fresh signalled first
printf 'beam.kmd\nSOLVE second\nstop\n' >signalled/second.kcf
wrapper term-first "case \"\$1\" in first) echo \$SLURM_JOB_ID >$scratch/task.tmp; mv $scratch/task.tmp $scratch/task; kill -TERM \$\$;; esac; exec $real \"\$@\""
rm -f "$scratch/task"
(await "$scratch/task" && sleep 0.3 && scancel --batch --signal=TERM "$(cat "$scratch/task")") &
signaller=$!
KVSOLVER=$scratch/term-first "${slurm[@]}" signalled/first.kcf signalled/second.kcf >table 2>/dev/null
check "the launcher signalled before its task: exit status 1" test $? -eq 1
check "the launcher signalled before its task: the next job never started" \
    test ! -e signalled/second.log
check "the launcher signalled before its task: the next job not finished" \
    test -z "$(grep -E '^signalled  +second\.kcf  +finished ' table)"
grep '^signalled ' table
wait "$signaller"

# Slurm's time limit: lost, TIMEOUT.
fresh limited
KVS_STANDIN_SOLVE_WAIT=$scratch/never "${slurm[@]}" --sbatch-option=--time=0:01 limited/job.kcf \
    >table 2>/dev/null
check "Slurm's time limit: lost, TIMEOUT" grep -q '^limited  *job.kcf  *lost  .*Slurm: TIMEOUT' table

# --detach, then --status while the study runs and after its end.
fresh d1; fresh d2
KVS_STANDIN_SOLVE_WAIT=$scratch/release-d "${slurm[@]}" --detach d1/job.kcf d2/job.kcf \
    >/dev/null 2>err
check "--detach: exit status 0" test $? -eq 0
collect=$(grep -A1 'collect the study with' err | tail -1)
check "--detach: prints the command that collects the study" test -n "$collect"
await d1/job.log
await d2/job.log
bash -c "$collect" >table 2>/dev/null
check "--status while running: exit status 1" test $? -eq 1
check "--status while running: running" test "$(state_of d1 table)" = running
touch "$scratch/release-d"
for _ in $(seq 300); do grep -q finished d2/job.result 2>/dev/null && grep -q finished d1/job.result && break; sleep 0.1; done
bash -c "$collect" >table 2>/dev/null
check "--status after the end: exit status 0" test $? -eq 0
check "--status after the end: both finished" test "$(grep -c ' finished  ' table)" -eq 2

# Ctrl-C while a job runs and another waits: the table and a later
# --status agree on each job.
fresh i1; fresh i2
KVS_STANDIN_SOLVE_WAIT=$scratch/never env --default-signal=INT "${slurm[@]}" -j 1 i1/job.kcf i2/job.kcf >table 2>/dev/null &
pid=$!
for _ in $(seq 300); do grep -q '"state":"running"' i1/job.result 2>/dev/null && break; sleep 0.1; done
kill -INT "$pid"
wait "$pid"
check "Ctrl-C on the cluster: exit status 130" test $? -eq 130
"$batch" --status i1/job.kcf i2/job.kcf >status 2>/dev/null
same "Ctrl-C on the cluster: killed, not run" "killed not run" \
    "$(for d in i1 i2; do state_of "$d" table; done | paste -sd ' ' -)"
same "Ctrl-C, then --status: the same states" \
    "$(for d in i1 i2; do state_of "$d" table; done)" "$(for d in i1 i2; do state_of "$d" status; done)"
same "Ctrl-C, then --status: the same row for the stopped job" \
    "$(grep '^i1 ' table | steady)" "$(grep '^i1 ' status | steady)"

# SIGHUP while following: the arrays run on, and --status collects them.
fresh h1
KVS_STANDIN_SOLVE_WAIT=$scratch/release-h "${slurm[@]}" h1/job.kcf >/dev/null 2>err &
pid=$!
await h1/job.log
kill -HUP "$pid"
wait "$pid"
check "SIGHUP: exit status 129" test $? -eq 129
collect=$(grep -A1 'collect the study with' err | tail -1)
touch "$scratch/release-h"
for _ in $(seq 300); do grep -q finished h1/job.result 2>/dev/null && break; sleep 0.1; done
bash -c "$collect" >table 2>/dev/null
check "SIGHUP: the study completed and is collected" test "$(state_of h1 table)" = finished

# A requeued task runs only the jobs that have no result yet, here on
# another node than the one it started on.
fresh requeue a
printf 'beam.kmd\nSOLVE a\nstop\n' >requeue/a.kcf
printf 'beam.kmd\nSOLVE b\nstop\n' >requeue/b.kcf
wrapper hold-b "case \"\$1\" in b) [ -e $scratch/release-r ] || KVS_STANDIN_SOLVE_WAIT=$scratch/release-r exec $real \"\$@\";; esac; exec $real \"\$@\""
KVSOLVER=$scratch/hold-b KVS_STANDIN_LOG=calls.log "${slurm[@]}" requeue/a.kcf requeue/b.kcf \
    >table 2>/dev/null &
pid=$!
# Requeued once b's launcher is held in its solve, after a's: a launcher cut
# off before it has read its commands would leave no trace of b in calls.log.
for _ in $(seq 300); do
    [[ $(grep -c '^k_solver' requeue/calls.log 2>/dev/null) -ge 2 ]] && break
    sleep 0.1
done
task=$(field requeue/b.result task)
first=$(field requeue/b.result host)
scontrol requeue "$task"
# Slurm holds a requeued job back two minutes; no need to wait for that here.
scontrol update JobId="$task" StartTime=now ExcNodeList="$first"
touch "$scratch/release-r"
wait "$pid"
check "a requeued task: exit status 0" test $? -eq 0
same "a requeued task: a ran once, b twice" "SOLVE a
SOLVE b
SOLVE b" "$(sed -n 's/^GetWcStringFromUTF8 \(SOLVE .\)\\n$/\1/p' requeue/calls.log)"
check "a requeued task: b in two attempts" grep -qE '^requeue  *b.kcf  *finished .* 2  ' table
check "a requeued task: b's first run's log is kept" test -s requeue/b.log.1
check "a requeued task: a finished where the task started" test "$(field requeue/a.result host)" = "$first"
check "a requeued task: b finished on another node" test "$(field requeue/b.result host)" != "$first"

# A directory whose name is not UTF-8 reaches the node as it is.
fresh "bytes"$'\xff'
"${slurm[@]}" --summary bytes.jsonl "bytes"$'\xff'/job.kcf >table 2>/dev/null
check "a name that is not UTF-8: exit status 0" test $? -eq 0
check "a name that is not UTF-8: its job ran there" test -s "bytes"$'\xff'/job.log
same "a name that is not UTF-8: its log in JSON Lines" "$(hex "bytes"$'\xff'/job.log)" \
    "$(json_key bytes.jsonl log_bytes)"


# sbatch missing, or refusing: its message, exit status 2, nothing queued.
fresh refused
PATH=/nonexistent "${slurm[@]}" refused/job.kcf >/dev/null 2>err
check "sbatch missing: exit status 2" test $? -eq 2
check "sbatch missing: says so" grep -q 'cannot start sbatch' err
"${slurm[@]}" --sbatch-option=--partition=nosuch refused/job.kcf >/dev/null 2>err
check "sbatch refusing: exit status 2" test $? -eq 2
check "sbatch refusing: its message" grep -q 'sbatch refused the array: .*nosuch\|sbatch refused the array: .*[Pp]artition' err
check "sbatch refusing: nothing ran" test ! -e refused/job.log

# A site prologue runs first in each task; one that fails loses its jobs.
fresh prologue
printf 'export KVS_STANDIN_LOG=prologue.log\n' >"$scratch/prologue"
"${slurm[@]}" --task-prologue "$scratch/prologue" prologue/job.kcf >/dev/null 2>&1
check "a prologue: its environment reached the job" test -s prologue/prologue.log
printf 'false\n' >"$scratch/prologue"
"${slurm[@]}" --task-prologue "$scratch/prologue" prologue/job.kcf >table 2>/dev/null
check "a failing prologue: lost" grep -q '^prologue  *job.kcf  *lost  .*task prologue failed' table

# --dry-run shows the arrays and the sbatch command lines, and submits nothing.
"${slurm[@]}" --dry-run -j 3 "${list[@]}" >plan 2>/dev/null
check "--dry-run: three arrays" test "$(grep -c '^array ' plan)" -eq 3
check "--dry-run: the sbatch command lines" test "$(grep -c "^  sbatch .*'--array=0-" plan)" -eq 3

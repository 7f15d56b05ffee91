# The stories of tests/batch_test.sh about the cluster's nodes: names,
# a node that dies, results that reach the batch late, and how often the
# batch asks Slurm. Sourced by it after batch_slurm_stories.sh, on the
# three-node cluster, with its helpers and "${slurm[@]}".

# Waits until the launcher in directory DIR is held in its solve, having
# left its trace in DIR/calls.log (at most 30 s).
solving() {
    for _ in $(seq 300); do grep -q '^k_solver' "$1/calls.log" 2>/dev/null && return 0; sleep 0.1; done
    return 1
}
# How many times the launcher ran in directory DIR.
runs() { grep -c '^SetOSCompatibility' "$1/calls.log"; }

# A study of 1,000 directories packed four to a task: three arrays. The
# batch's calls of squeue, scontrol and sacct are counted on the way.
mkdir -p "$scratch/bin"
for command in squeue scontrol sacct; do
    printf '#!/bin/sh\necho "$*" >>%s/%s.calls\nexec %s "$@"\n' \
        "$scratch" "$command" "$(command -v "$command")" >"$scratch/bin/$command"
    chmod +x "$scratch/bin/$command"
    : >"$scratch/$command.calls"
done
list=()
for i in $(seq 1000); do
    mkdir -p "many/d$i"
    : >"many/d$i/beam.kmd"
    printf 'beam.kmd\nSOLVE %s\nstop\n' "$i" >"many/d$i/job.kcf"
    list+=("many/d$i/job.kcf")
done
start=$(date +%s%N)
PATH=$scratch/bin:$PATH KVSOLVER=$bulk_launcher "${slurm[@]}" --per-task 4 --summary many.tsv --report many.html \
    "${list[@]}" >table 2>err
status=$?
elapsed_ms=$((($(date +%s%N) - start) / 1000000))
calls=$(wc -l <"$scratch/squeue.calls")
echo "1,000 directories, --per-task 4: ${elapsed_ms} ms, $calls squeue calls"
check "1,000 directories: exit status 0" test "$status" -eq 0
check "1,000 directories: every job finished" test "$(grep -c ' finished  ' table)" -eq 1000
check "1,000 directories: three arrays" test "$(grep -c '^kvsolver-batch: Slurm job ' err)" -eq 3
arrays=$(sed -n 's/^kvsolver-batch: Slurm job \([0-9]*\):.*/\1/p' err | paste -sd, -)
check "squeue: one call a poll, for all the arrays" \
    test "$(grep -c -- "--jobs=$arrays\$" "$scratch/squeue.calls")" -eq "$calls"
check "squeue: one call every 3 s at most" test "$calls" -le $((elapsed_ms / 3000 + 2))
check "scontrol: once, for the site's array size" test "$(wc -l <"$scratch/scontrol.calls")" -eq 1
check "sacct: never, when every task left its results" test ! -s "$scratch/sacct.calls"
# The node that ran each job is its host, in its record, the summary and
# the report, whose timeline has a lane for each.
same "the nodes are the records' hosts" "n1 n2 n3" \
    "$(for f in many/d*/job.result; do field "$f" host; done | sort -u | paste -sd ' ' -)"
same "the nodes are the summary's hosts" "n1 n2 n3" \
    "$(awk -F'\t' 'NR > 1 {print $9}' many.tsv | sort -u | paste -sd ' ' -)"
check "the report's timeline has lanes by host" grep -q 'lanes, by host' many.html
check "the report names the nodes" grep -q '<text class="host"[^>]*>n3</text>' many.html
rm -rf many

# A study of 5,000 directories, fifty to a task, on the three nodes: its
# submission and its whole run are timed.
awk 'BEGIN { for (i = 1; i <= 5000; i++) print "big/d" i }' >big.dirs
xargs mkdir -p <big.dirs
awk '{ printf "" >($0 "/beam.kmd"); close($0 "/beam.kmd")
       printf "beam.kmd\nSOLVE %d\nstop\n", NR >($0 "/job.kcf"); close($0 "/job.kcf")
       print $0 "/job.kcf" }' big.dirs >big.list
start=$(date +%s%N)
KVSOLVER=$bulk_launcher "${slurm[@]}" --per-task 50 -a big.list >table 2>err &
pid=$!
until grep -q '^kvsolver-batch: Slurm job ' err || ! kill -0 "$pid" 2>/dev/null; do sleep 0.01; done
submitted_ms=$((($(date +%s%N) - start) / 1000000))
wait "$pid"
status=$?
elapsed_ms=$((($(date +%s%N) - start) / 1000000))
echo "5,000 directories, --per-task 50: submitted in ${submitted_ms} ms, done in ${elapsed_ms} ms"
check "5,000 directories: exit status 0" test "$status" -eq 0
check "5,000 directories: 5,000 rows, every job finished" \
    test "$(grep -c '^big/d[0-9]*  .* finished  ' table)" -eq 5000
check "5,000 directories: run on the three nodes" \
    test "$(cat big/d*/job.result | grep -o '"host":"[^"]*"' | sort -u | wc -l)" -eq 3
rm -rf big big.dirs big.list

# Node failures. Each task takes a node of its own (--exclusive), so that
# a node's death takes one task with it. The jobs in d2, d4 and d6 wait
# for a file, the others finish at once; with --per-task 2, d3 and d4 are
# one task, which has finished d3 when its node dies.
wrapper hold-even "case \$(basename \"\$(pwd -P)\") in d2|d4|d6) [ -e \"\$KVS_RELEASE\" ] || KVS_STANDIN_SOLVE_WAIT=\$KVS_RELEASE exec $real \"\$@\";; esac; exec $real \"\$@\""
die_during() {  # STUDY N HELD [option]...: kills HELD's node mid-study; sets pid, victim
    local study=$1 n=$2 held=$3 i
    shift 3
    rm -rf "$study" "$scratch/release-n"
    list=()
    for i in $(seq "$n"); do fresh "$study/d$i"; list+=("$study/d$i/job.kcf"); done
    KVS_RELEASE=$scratch/release-n KVSOLVER=$scratch/hold-even KVS_STANDIN_LOG=calls.log \
        "${slurm[@]}" --sbatch-option=--exclusive "$@" "${list[@]}" >table 2>err &
    pid=$!
    for i in $(seq 2 2 "$n"); do solving "$study/d$i"; done
    victim=$(field "$study/$held/job.result" host)
    slurm_kill_node "$victim"
    touch "$scratch/release-n"
}
# Where each job of STUDY ended, "DIR NODE ATTEMPTS RUNS" a line, NODE
# being "victim" for the dead node and "other" for the nodes left.
where() {  # STUDY VICTIM
    local d node
    for d in "$1"/d*; do
        node=other
        [[ $(field "$d/job.result" host) == "$2" ]] && node=victim
        echo "${d##*/} $node $(field "$d/job.result" attempts) $(runs "$d")"
    done
}

# Requeued (Slurm's default): the task runs again on a node left, and
# runs only the job that had no result.
die_during nodes-a 6 d4 --per-task 2
task=$(field nodes-a/d4/job.result task)
for _ in $(seq 600); do
    [[ $(squeue -h --array -j "$task" -o %T 2>/dev/null) == PENDING ]] && break
    sleep 0.1
done
scontrol update JobId="$task" StartTime=now
wait "$pid"
check "a dead node, requeued: exit status 0" test $? -eq 0
check "a dead node, requeued: every job finished" test "$(grep -c ' finished  ' table)" -eq 6
same "a dead node, requeued: d4 again elsewhere, the rest once" "d1 other 1 1
d2 other 1 1
d3 victim 1 1
d4 other 2 2
d5 other 1 1
d6 other 1 1" "$(where nodes-a "$victim")"
slurm_restart_node "$victim"

# Not requeued: the dead node's job is lost, saying so; the others finish.
die_during nodes-b 4 d2 --sbatch-option=--no-requeue
wait "$pid"
check "a dead node, not requeued: exit status 1" test $? -eq 1
check "a dead node, not requeued: lost, NODE_FAIL and the task's output" \
    grep -qE '^nodes-b/d2  *job.kcf  *lost  .*\(Slurm: NODE_FAIL\); see .*kvsolver-batch-slurm/[0-9]+_[0-9]+\.out' table
grep '^nodes-b/d2 ' table
check "a dead node, not requeued: the others finished" test "$(grep -c ' finished  ' table)" -eq 3
check "a dead node, not requeued: d4 ran on a node left" \
    test "$(field nodes-b/d4/job.result host)" != "$victim"
slurm_restart_node "$victim"

# Not requeued, --retries 1: the lost job runs again on a node left; the
# job its task had finished keeps its result.
die_during nodes-c 6 d4 --per-task 2 --sbatch-option=--no-requeue --retries 1
wait "$pid"
check "a dead node, --retries 1: exit status 0" test $? -eq 0
check "a dead node, --retries 1: every job finished" test "$(grep -c ' finished  ' table)" -eq 6
check "a dead node, --retries 1: submitted again" grep -q '^kvsolver-batch: submitting 1 lost jobs again' err
same "a dead node, --retries 1: d4 again elsewhere, the rest once" "d1 other 1 1
d2 other 1 1
d3 victim 1 1
d4 other 2 2
d5 other 1 1
d6 other 1 1" "$(where nodes-c "$victim")"
slurm_restart_node "$victim"

# Results seen late: the launcher's wrapper takes the job's directory out
# of the batch's sight just before the task writes its result (as a shared
# file system may show a node's writes late); the test puts it back a
# second after Slurm says the task ended. (A process of the task's own
# would end with the task: Slurm reaps them all.)
wrapper late "d=\$(pwd -P); \"$real\" \"\$@\"; s=\$?; mv \"\$d\" \"\$d.away\"; exit \$s"
fresh late
KVSOLVER=$scratch/late "${slurm[@]}" --latency-wait 30 late/job.kcf >table 2>err &
pid=$!
await late.away
array=$(sed -n 's/^kvsolver-batch: Slurm job \([0-9]*\):.*/\1/p' err)
for _ in $(seq 300); do [[ -z $(squeue -h -j "$array" 2>/dev/null) ]] && break; sleep 0.1; done
sleep 1
mv late.away late
wait "$pid"
check "a result seen late: exit status 0" test $? -eq 0
check "a result seen late: finished" test "$(state_of late table)" = finished
fresh never
KVSOLVER=$scratch/late "${slurm[@]}" --latency-wait 1 never/job.kcf >table 2>err
check "a result that never comes: exit status 1" test $? -eq 1
check "a result that never comes: lost" \
    grep -qE '^never  *job.kcf  *lost  .*ended without the job.s result \(Slurm: COMPLETED\)' table
rm -rf never.away

# The stories of tests/batch_test.sh that run on this machine: sourced by
# it, in the study directory, with its helpers.

# Two batches on the same case: the second touches nothing of the first's.
fresh two
KVS_STANDIN_SOLVE_WAIT=$scratch/release-two "$batch" two/job.kcf >first.table 2>/dev/null &
first=$!
await two/job.log
"$batch" two/job.kcf >second.table 2>/dev/null
check "the second batch: exit status 1" test $? -eq 1
check "the second batch: not run, directory in use" \
    grep -q '^two  *job.kcf  *not run  *directory in use by another batch' second.table
touch "$scratch/release-two"
wait "$first"
check "the first batch: exit status 0" test $? -eq 0
check "the first batch: finished" test "$(state_of two first.table)" = finished
check "the first batch's log is whole" grep -q '^ Return Value of KV Solver = 0 $' two/job.log

# A job killed once by a signal from elsewhere is run again with --retries.
fresh retry
wrapper once-killed "[ -e once ] || { touch once; kill -9 \$\$; }; exec $real \"\$@\""
KVSOLVER=$scratch/once-killed "$batch" retry/job.kcf >table 2>/dev/null
check "killed, no retries: exit status 1" test $? -eq 1
check "killed, no retries: killed by SIGKILL" grep -q '^retry  *job.kcf  *killed  .*SIGKILL' table
rm -f retry/once
KVSOLVER=$scratch/once-killed "$batch" --retries 1 retry/job.kcf >table 2>/dev/null
check "--retries 1: exit status 0" test $? -eq 0
check "--retries 1: finished in two attempts" grep -qE '^retry  *job.kcf  *finished .* 2  ' table
check "--retries 1: the first attempt's log is kept" test -e retry/job.log.1
check "--retries 1: the meaning says why the first attempt failed" \
    grep -qE '^retry  *job.kcf  *finished  *0  finished; attempt 1: killed, ended by SIGKILL  ' table
same "--retries 1: the result keeps the first attempt" \
    'killed|ended by SIGKILL|9|retry/job.log.1' \
    "$(perl -MJSON::PP -ne '$a = decode_json($_)->{earlier}[0];
        print join("|", @$a{qw(state meaning signal log)}, ($a->{started} =~ /^\d{4}-.*Z$/ ? () : "no start"))' \
        retry/job.result)"

# A signal after a line that looks like a report line is no report.
fresh forged
wrapper forged-report "echo ' Return Value of KV Solver = 0 '; echo; kill -9 \$\$"
KVSOLVER=$scratch/forged-report "$batch" forged/job.kcf >table 2>/dev/null
check "a forged report line and a signal: exit status 1" test $? -eq 1
check "a forged report line and a signal: killed" test "$(state_of forged table)" = killed
wrapper exit-zero "echo ' Return Value of KV Solver = -3 '; exit 0"
KVSOLVER=$scratch/exit-zero "$batch" forged/job.kcf >table 2>/dev/null
check "a report line that disagrees with the exit status: failed" \
    test "$(state_of forged table)" = failed

# --timeout stops a job that hangs; --retry-on retries a value.
fresh slow
KVS_STANDIN_SOLVE_WAIT=$scratch/never "$batch" --timeout 0.5 --kill-after 1 slow/job.kcf \
    >table 2>/dev/null
check "--timeout: exit status 1" test $? -eq 1
check "--timeout: timed out" grep -q '^slow  *job.kcf  *timed out  .*SIGTERM' table
check "--timeout: said once" grep -qx 'slow/job.log: timed out: ended by SIGTERM' table
fresh again
printf 'missing.kmd\nSOLVE\nstop\n' >again/job.kcf
"$batch" --retries 2 --retry-on -10 again/job.kcf >table 2>/dev/null
check "--retry-on -10: three attempts" grep -qE '^again  *job.kcf  *failed  *-10 .* 3  ' table
check "--retry-on -10: each attempt's log" test -e again/job.log.2
"$batch" --retry-on -10 again/job.kcf >table 2>/dev/null
check "--retry-on -10 alone: two attempts" grep -qE '^again  *job.kcf  *failed  *-10 .* 2  ' table
"$batch" --retries 2 again/job.kcf >table 2>/dev/null
check "-10 is not retried by default" grep -qE '^again  *job.kcf  *failed  *-10 .* 1  ' table

# --max-fails: once reached, no new job starts.
fresh m1; fresh m2; fresh m3
printf 'missing.kmd\nstop\n' >m1/job.kcf
"$batch" -j 1 --max-fails 1 m1/job.kcf m2/job.kcf m3/job.kcf >table 2>/dev/null
check "--max-fails: exit status 1" test $? -eq 1
check "--max-fails: the rest not run" \
    test "$(grep -c ' not run  *--max-fails was reached' table)" -eq 2
check "--max-fails: nothing of the rest ran" test ! -e m2/job.log
same "--max-fails: the jobs not run, one line" "m1/job.log: failed: convert failed
    KV stand-in: cannot read the model file missing.kmd
    CONVERT-PROCESSING IS FAILED
2 jobs: not run: --max-fails was reached (m2, m3)
3 jobs: 1 failed, 2 not run" "$(sed -n '/^m1\/job.log/,$p' table)"
fresh m4; fresh m5
"$batch" -j 1 --max-fails 1 m1/job.kcf m2/job.kcf m3/job.kcf m4/job.kcf m5/job.kcf >table 2>/dev/null
check "--max-fails: the first few directories" \
    grep -qx '4 jobs: not run: --max-fails was reached (m2, m3, m4, ...)' table

# --dry-run creates, changes and deletes nothing.
before=$(find . -printf '%p %s %T@\n' | sort)
"$batch" --dry-run --resume --summary dry.tsv "${jobs[@]:0:3}" >"$scratch/plan" 2>&1
check "--dry-run: exit status 0" test $? -eq 0
same "--dry-run: nothing changed" "$before" "$(find . -printf '%p %s %T@\n' | sort)"
check "--dry-run: the plan names each task" test "$(grep -c '^task ' "$scratch/plan")" -eq 2

# A batch killed with SIGKILL: its task stops the job, and --status shows it.
fresh gone
KVS_STANDIN_SOLVE_WAIT=$scratch/never "$batch" gone/job.kcf >/dev/null 2>&1 &
gone=$!
await gone/job.log
sleep 0.3
kill -9 "$gone"
wait "$gone" 2>/dev/null
settled gone/job.result
"$batch" --status gone/job.kcf >table 2>/dev/null
check "--status after SIGKILL: exit status 1" test $? -eq 1
check "--status after SIGKILL: the job was stopped" test "$(state_of gone table)" = killed
check "--status after SIGKILL: no launcher left running in its directory" \
    test -z "$(for p in /proc/[0-9]*; do readlink "$p/cwd"; done 2>/dev/null | grep -x "$study/gone")"

# The summary is there, and whole, while the batch runs: a row for each job
# that has ended, none for the one that still runs.
fresh s1; fresh s2
wrapper hold-s1 "case \"\$PWD\" in */s1) KVS_STANDIN_SOLVE_WAIT=$scratch/release-s exec $real \"\$@\";; esac; exec $real \"\$@\""
KVSOLVER=$scratch/hold-s1 "$batch" -j 2 --summary live.tsv s1/job.kcf s2/job.kcf >/dev/null 2>&1 &
live=$!
settled s2/job.result
sleep 1.5
same "the summary while the batch runs" "directory job state
s2 job.kcf finished" "$(cut -f1-3 live.tsv | tr '\t' ' ')"
touch "$scratch/release-s"
wait "$live"
check "the summary at the end: a row for each job" test "$(grep -c '	job.kcf	finished	' live.tsv)" -eq 2

# A result that can't be written: lost, never finished; no .part left.
fresh unwritable
mkdir unwritable/job.result
"$batch" unwritable/job.kcf >table 2>/dev/null
check "an unwritable result: exit status 1" test $? -eq 1
check "an unwritable result: lost, naming it" \
    grep -q '^unwritable  *job.kcf  *lost  .*cannot replace unwritable/job.result' table
check "an unwritable result: no .part left" test ! -e unwritable/job.result.part

# Output that can't be written is exit status 2.
fresh full
"$batch" full/job.kcf >/dev/full 2>err
check ">/dev/full: exit status 2" test $? -eq 2
check ">/dev/full: a message" grep -q 'cannot write the table' err

# One directory reached by two paths is one task; a vanished job file is
# lost alone.
fresh same a
printf 'beam.kmd\nSOLVE b\nstop\n' >same/b.kcf
printf 'beam.kmd\nSOLVE c\nstop\n' >same/c.kcf
ln -sfn same alias
KVS_STANDIN_LOG=calls.log "$batch" -j 2 same/a.kcf alias/b.kcf same/c.kcf >table 2>/dev/null
check "two paths to one directory: all finished" test "$(grep -c ' finished ' table)" -eq 3
same "two paths to one directory: one after the other" \
    "SetOSCompatibility CloseOSCompatibility SetOSCompatibility CloseOSCompatibility SetOSCompatibility CloseOSCompatibility" \
    "$(grep -E -o '^(SetOS|CloseOS)Compatibility' same/calls.log | paste -sd ' ' -)"
wrapper remove-b "rm -f b.kcf; exec $real \"\$@\""
KVSOLVER=$scratch/remove-b "$batch" same/a.kcf same/b.kcf same/c.kcf >table 2>/dev/null
check "a vanished job file: lost" grep -q '^same  *b.kcf  *lost  .*vanished' table
check "a vanished job file: the next job still ran" test "$(state_of 'same  *c.kcf' table)" = finished

# Started with SIGCHLD ignored, the batch still ends.
fresh ignored
timeout 30 perl -e '$SIG{CHLD} = "IGNORE"; exec @ARGV' "$batch" ignored/job.kcf >table 2>/dev/null
check "SIGCHLD ignored: exit status 0" test $? -eq 0

# KVSOLVER as a bare name and as a relative path: resolved once, here.
fresh named
PATH=$build/bin:$PATH KVSOLVER=kvsolver "$batch" named/job.kcf >/dev/null 2>&1
check "KVSOLVER=kvsolver through PATH" test $? -eq 0
ln -sfn "$build/bin" bin
KVSOLVER=bin/kvsolver "$batch" named/job.kcf >/dev/null 2>&1
check "KVSOLVER as a relative path" test $? -eq 0
KVSOLVER=no-such-launcher "$batch" named/job.kcf >/dev/null 2>&1
check "KVSOLVER that names nothing: exit status 2" test $? -eq 2

# Names with control characters are shown escaped, never raw.
tabbed=$'tab\tdir'
fresh "$tabbed"
esc=$'esc\033[2Jdir'
fresh "$esc"
"$batch" --summary names.tsv "$tabbed/job.kcf" "$esc/job.kcf" >table 2>progress
check "a tab in a name: escaped in the table" grep -q '^tab\\tdir  ' table
check "an escape in a name: escaped in the table" grep -q '^esc\\033\[2Jdir  ' table
check "nothing raw reaches the terminal" test -z "$(grep -l $'\033' table progress)"
check "a tab in a name: one field in the summary" \
    test "$(grep -c $'^tab\\\\tdir\tjob.kcf\tfinished\t' names.tsv)" -eq 1
"$batch" --summary names.jsonl "$tabbed/job.kcf" >/dev/null 2>&1
check "JSON Lines summary" grep -q '^{"directory":"tab\\tdir","job":"job.kcf","state":"finished"' names.jsonl

# --resume: only what did not finish, or whose files changed, runs again.
fresh r1; fresh r2; fresh r3; fresh r4
printf 'missing.kmd\nstop\n' >r2/job.kcf
printf 'beam.kmd\r\nSOLVE crlf\r\nstop\r\n' >r4/job.kcf
"$batch" --summary study.tsv r1/job.kcf r2/job.kcf r3/job.kcf r4/job.kcf >/dev/null 2>&1
printf 'beam.kmd\nSOLVE fixed\nstop\n' >r2/job.kcf
echo changed >r3/beam.kmd
"$batch" --resume --summary study.tsv r1/job.kcf r2/job.kcf r3/job.kcf r4/job.kcf >table 2>/dev/null
check "--resume: exit status 0" test $? -eq 0
same "--resume: states" "reused finished finished reused" \
    "$(for d in r1 r2 r3 r4; do state_of "$d" table; done | paste -sd ' ' -)"
check "--resume: the summary has every job" test "$(grep -c '	job.kcf	' study.tsv)" -eq 4

# A finished job whose model changed since: --status says so, as --resume
# would run it, and it counts as not done.
echo edited >r1/beam.kmd
"$batch" --status r1/job.kcf r2/job.kcf >table 2>/dev/null
check "--status, a model changed since: exit status 1" test $? -eq 1
same "--status, a model changed since: outdated" \
"directory  job      state     return value  meaning                                                    attempts  seconds  memory  cpu
r1         job.kcf  outdated             0  finished T, but beam.kmd changed since         1  S  M  C
r2         job.kcf  finished             0  finished                                                          1  S  M  C
r1/job.log: outdated: finished T, but beam.kmd changed since
2 jobs: 1 finished, 1 outdated" "$(steady <table | sed -E 's/[0-9]{4}-[0-9-]{5}T[0-9:]{8}Z/T/')"
"$batch" --dry-run --resume r1/job.kcf r2/job.kcf >plan 2>/dev/null
same "--dry-run --resume runs the outdated job" "task 1: r1
  job.kcf  run
task 2: r2
  job.kcf  reuse: finished, files unchanged
2 jobs: 1 to run, 1 to reuse, 0 that would fail" "$(cat plan)"

# --resume says once how many jobs it reused; their lines show no old run time.
"$batch" --resume r2/job.kcf r3/job.kcf >/dev/null 2>progress
same "--resume: the progress" "kvsolver-batch: --resume reused 2 of 2 jobs
kvsolver-batch: r2/job.kcf: reused 0, finished T, files unchanged
kvsolver-batch: r3/job.kcf: reused 0, finished T, files unchanged" \
    "$(sed -E 's/[0-9]{4}-[0-9-]{5}T[0-9:]{8}Z/T/' progress | sort)"

# A launcher that can't load its library: said once, nothing runs, in
# --dry-run too.
mkdir -p "$scratch/nolib/bin"
cp "$real" "$scratch/nolib/bin/"
fresh nolib
cannot="kvsolver-batch: the launcher $scratch/nolib/bin/kvsolver can't start (exit status 127): \
$scratch/nolib/bin/kvsolver: error while loading shared libraries: libkvslvcore.so: cannot open \
shared object file: No such file or directory; every job would fail"
KVSOLVER=$scratch/nolib/bin/kvsolver "$batch" --summary nolib.tsv nolib/job.kcf >table 2>err
check "a launcher without its library: exit status 2" test $? -eq 2
same "a launcher without its library: said once" "$cannot" "$(cat err)"
check "a launcher without its library: nothing ran, nothing written" \
    test ! -e nolib/job.log -a ! -e nolib/job.result -a ! -e nolib.tsv -a ! -s table
KVSOLVER=$scratch/nolib/bin/kvsolver "$batch" --dry-run nolib/job.kcf >plan 2>err
check "--dry-run, a launcher without its library: exit status 2" test $? -eq 2
same "--dry-run, a launcher without its library: the plan" "task 1: nolib
  job.kcf  run: would fail, the launcher can't start
1 job: 0 to run, 0 to reuse, 1 that would fail" "$(cat plan)"
same "--dry-run, a launcher without its library: said" "$cannot" "$(cat err)"

# Jobs that name no model, or a model that is not there: the plan says
# they would fail; a run names them first and runs them all the same.
"$batch" --dry-run --model beam.kmd "${jobs[@]}" >plan 2>/dev/null
same "--dry-run: jobs that would fail" "task 1: case1
  job.kcf  run
  second.kcf  run
task 2: case2
  job.acf  run
task 3: case3
  job.kss  run
  nomodel.kcf  run: would fail, nomodel.kcf names no model
task 4: case4
  job.kcf  run: would fail, its model missing.kmd is not there
6 jobs: 4 to run, 0 to reuse, 2 that would fail" "$(cat plan)"

# 20,000 jobs from a list, planned.
mkdir many
for i in $(seq 20000); do echo "many/j$i.kcf"; done >list
(cd many && for i in $(seq 20000); do : >"j$i.kcf"; done)
"$batch" --dry-run -a list >plan 2>/dev/null
check "-a with 20,000 jobs: exit status 0" test $? -eq 0
check "-a with 20,000 jobs: every job planned" \
    test "$(grep -c '^  j[0-9]*.kcf  run: would fail, j[0-9]*.kcf names no model$' plan)" -eq 20000
check "-a with 20,000 jobs: counted" \
    test "$(tail -n 1 plan)" = "20000 jobs: 0 to run, 0 to reuse, 20000 that would fail"
"$batch" --dry-run -a - <list >plan 2>/dev/null
check "-a - reads standard input" test "$(grep -c '^  j[0-9]*.kcf  run' plan)" -eq 20000

# A directory that turned read-only keeps its old result, and the job is
# lost, never the old result's finished (root mounts a file system).
mkdir readonly
if mount -t tmpfs -o size=1m tmpfs readonly 2>/dev/null; then
    fresh readonly/case
    "$batch" readonly/case/job.kcf >/dev/null 2>&1
    mount -o remount,ro readonly
    "$batch" readonly/case/job.kcf >table 2>/dev/null
    check "a read-only directory: exit status 1" test $? -eq 1
    check "a read-only directory: lost, saying why" \
        grep -q '^readonly/case  *job.kcf  *lost  .*Read-only file system' table
    umount readonly
else
    echo "SKIP: a read-only directory (mounting a file system needs root)"
fi

# Out of processes: the task can't start, its jobs are lost with the reason.
fresh limited
if [[ $(id -u) -eq 0 ]] && command -v setpriv >/dev/null && command -v prlimit >/dev/null; then
    # nobody may not reach the build (a clone under /root): a copy it can.
    mkdir -p "$scratch/nobody"
    cp -r "$build/bin" "$build/lib" "$scratch/nobody/"
    chmod -R a+rX "$scratch/nobody"
    chmod a+rx "$scratch" "$study"
    setpriv --reuid=nobody --regid=nogroup --clear-groups \
        prlimit --nproc=1 "$scratch/nobody/bin/kvsolver-batch" limited/job.kcf >table 2>/dev/null
    check "out of processes: exit status 1" test $? -eq 1
    check "out of processes: lost, saying why" \
        grep -q '^limited  *job.kcf  *lost  .*cannot start its task: Resource temporarily unavailable' table
else
    echo "SKIP: a process limit (needs root, setpriv and prlimit)"
fi

# Usage errors name what is wrong: the value, the file and line, the
# options an abbreviation could be.
printf 'two/job.kcf\n\nnosuch/job.kcf\n' >bad.list
while IFS='|' read -r args message; do
    # shellcheck disable=SC2086
    "$batch" $args >/dev/null 2>err
    check "usage error for '$args': exit status 2" test $? -eq 2
    same "usage error for '$args': the message" "kvsolver-batch: $message
Try 'kvsolver-batch --help'." "$(cat err)"
done <<'END'
--summary out.csv two/job.kcf|--summary writes tab-separated values (.tsv, .txt) or JSON Lines (.jsonl), not .csv: out.csv
--summary s.tsv.gz two/job.kcf|--summary writes tab-separated values (.tsv, .txt) or JSON Lines (.jsonl), not .gz: s.tsv.gz
--re two/job.kcf|option --re is ambiguous: --report, --resume, --retries, --retry-on
--t=1 two/job.kcf|option --t is ambiguous: --timeout, --task-prologue
-jx two/job.kcf|-j needs a number from 1 to 100000, not 'x'
--retries=-1 two/job.kcf|--retries needs a number from 0 to 1000, not '-1'
-a bad.list|bad.list, line 3: nosuch/job.kcf is no file
END
"$batch" --summary s.txt two/job.kcf >/dev/null 2>&1
check "a summary named .txt is tab-separated" test "$(head -c 10 s.txt)" = "directory	"

# --help's descriptions start in one column.
check "--help: one column for the descriptions" \
    test -z "$("$batch" --help | grep -E '^  (-., )?--?[a-z]' | grep -vE '^.{22} [^ ]|^ +-[^ ]+( [^ ]+)?$')"

# sbatch's refusal is shown as its own lines; --slurm --dry-run numbers the
# tasks as Slurm does. Stand-ins for sbatch and scontrol, no cluster.
fake=$scratch/fake-slurm
mkdir -p "$fake"
printf '#!/bin/sh\necho "sbatch: error: Batch job submission failed" >&2\necho "sbatch: error: Invalid partition name specified" >&2\nexit 1\n' \
    >"$fake/sbatch"
printf '#!/bin/sh\nexit 1\n' >"$fake/scontrol"
chmod +x "$fake/sbatch" "$fake/scontrol"
PATH=$fake:$PATH "$batch" --slurm --slurm-output "$scratch/fake-out" two/job.kcf >/dev/null 2>err
check "sbatch refuses: exit status 2" test $? -eq 2
same "sbatch refuses: its lines" "kvsolver-batch: sbatch refused the array: sbatch: error: Batch job submission failed
    sbatch: error: Invalid partition name specified" "$(cat err)"
PATH=$fake:$PATH "$batch" --slurm --dry-run --slurm-output "$scratch/fake-out" \
    two/job.kcf r1/job.kcf >plan 2>/dev/null
same "--slurm --dry-run: one numbering of the tasks" "directory two
  job.kcf  run
directory r1
  job.kcf  run
2 jobs: 2 to run, 0 to reuse, 0 that would fail
array 1: tasks 0-1
  sbatch '--parsable' '--job-name=kvsolver-batch' '--output=$scratch/fake-out/%A_%a.out' '--array=0-1' '$scratch/fake-out/BATCH-1-1.sh'
  task 0: two
  task 1: r1" "$(cat plan)"

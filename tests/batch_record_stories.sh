# The stories of tests/batch_test.sh on what a job's record may claim: a
# job reports finished only for a run that finished on the files it names,
# whatever is edited, cloned or killed meanwhile. Sourced by it, in the
# study directory, with its helpers.

# The launcher of the job running in DIR, once its solve has begun.
launcher_in() {
    local p
    for _ in $(seq 300); do
        for p in /proc/[0-9]*; do
            [[ $(readlink "$p/cwd" 2>/dev/null) == "$study/$1" ]] &&
                [[ $(readlink "$p/exe" 2>/dev/null) == "$real" ]] && { echo "${p#/proc/}"; return 0; }
        done
        sleep 0.1
    done
    return 1
}
# Holds the job of DIR in its solve with a fresh release file: hold DIR.
hold() { rm -f "$scratch/release-$1"; echo "KVS_STANDIN_SOLVE_WAIT=$scratch/release-$1"; }

# A file edited while the job runs: the run read the old text, so the job
# did not finish on the files it names, and --resume runs it again.
while IFS='|' read -r what edit; do
    fresh edited
    env "$(hold edited)" "$batch" edited/job.kcf >table 2>/dev/null &
    pid=$!
    launcher_in edited >/dev/null
    eval "$edit"
    touch "$scratch/release-edited"
    wait "$pid"
    check "$what edited during the run: exit status 1" test $? -eq 1
    check "$what edited during the run: failed, saying so" \
        grep -qE '^edited  *job.kcf  *failed  *0  finished, but [a-z.]+ changed while it ran' table
    "$batch" --resume edited/job.kcf >table 2>/dev/null
    check "$what edited during the run: --resume runs it again" \
        test "$(state_of edited table)" = finished
done <<'CASES'
the job file|printf 'beam.kmd\nSOLVE later\nstop\n' >edited/job.kcf
the model|echo changed >edited/beam.kmd
CASES

# The converter's own rewrite of a CRLF job file is no edit.
fresh crlf
printf 'beam.kmd\r\nSOLVE\r\nstop\r\n' >crlf/job.kcf
if command -v dos2unix >/dev/null; then
    "$batch" crlf/job.kcf >table 2>/dev/null
    check "a CRLF job file: finished" test "$(state_of crlf table)" = finished
    "$batch" --resume crlf/job.kcf >table 2>/dev/null
    check "a CRLF job file: reused" test "$(state_of crlf table)" = reused
else
    echo "SKIP: a CRLF job file converted (dos2unix is not installed)"
fi

# Job files with a byte-order mark, or in UTF-16LE, read with no converter:
# their model is the one the launcher reads, so a changed model runs again.
while IFS='|' read -r what bytes; do
    fresh marked
    printf "$bytes" >marked/job.kcf
    PATH=/nonexistent "$batch" marked/job.kcf >table 2>/dev/null
    check "$what: finished" test "$(state_of marked table)" = finished
    echo changed >marked/beam.kmd
    PATH=/nonexistent "$batch" --resume marked/job.kcf >table 2>/dev/null
    check "$what: a changed model is run again" test "$(state_of marked table)" = finished
    PATH=/nonexistent "$batch" --resume marked/job.kcf >table 2>/dev/null
    check "$what: an unchanged one is reused" test "$(state_of marked table)" = reused
done <<'CASES'
a UTF-8 byte-order mark|\357\273\277beam.kmd\nSOLVE\nstop\n
UTF-16LE|\377\376b\0e\0a\0m\0.\0k\0m\0d\0\n\0S\0O\0L\0V\0E\0\n\0s\0t\0o\0p\0\n\0
CASES

# Clones made with cp -al share every file: the stale part file a killed
# task left, the log and the result. A run in the clone writes its own.
fresh template
"$batch" template/job.kcf >/dev/null 2>&1
: >template/job.result.part
before=$(cat template/job.log template/job.result template/job.result.part | cksum)
rm -rf clone
cp -al template clone
wrapper fail-clone "case \"\$PWD\" in */clone) echo ' Return Value of KV Solver = -3 '; exit 253;; esac; exec $real \"\$@\""
KVSOLVER=$scratch/fail-clone "$batch" clone/job.kcf >table 2>/dev/null
check "a clone: its own run failed" test "$(state_of clone table)" = failed
same "a clone: the template's log, result and part file are untouched" "$before" \
    "$(cat template/job.log template/job.result template/job.result.part | cksum)"
check "a clone: its log is its own" test "$(stat -c %h clone/job.log)" -eq 1
check "a clone: no part file left" test ! -e clone/job.result.part
"$batch" --status template/job.kcf clone/job.kcf >table 2>/dev/null
same "a clone: each directory's state" "finished failed" \
    "$(state_of template table) $(state_of clone table)"
ln -sfn "$scratch/elsewhere" template/job.log
"$batch" template/job.kcf >/dev/null 2>&1
check "a log that is a symbolic link is replaced, never followed" \
    test ! -e "$scratch/elsewhere" -a ! -L template/job.log

# A task killed hard: the earlier finished never stands for the attempt
# that died. While it runs --status says running; once dead, lost.
fresh hard
"$batch" hard/job.kcf >/dev/null 2>&1
env "$(hold hard)" "$batch" hard/job.kcf >table 2>/dev/null &
pid=$!
launcher=$(launcher_in hard)
"$batch" --status hard/job.kcf >status 2>/dev/null
check "--status while the job runs: exit status 1" test $? -eq 1
check "--status while the job runs: running" grep -qE '^hard  *job.kcf  *running  *running since ' status
kill -9 "$(awk '{print $4}' "/proc/$launcher/stat")"
wait "$pid"
check "a task killed hard: exit status 1" test $? -eq 1
check "a task killed hard: lost in the table" test "$(state_of hard table)" = lost
"$batch" --status hard/job.kcf >status 2>/dev/null
check "--status after the task died: exit status 1" test $? -eq 1
check "--status after the task died: lost" \
    grep -qE '^hard  *job.kcf  *lost  *its task ended without the job.s result' status
"$batch" --resume hard/job.kcf >table 2>/dev/null
check "--resume after the task died: run again" test "$(state_of hard table)" = finished
touch "$scratch/release-hard"

# Records that can't be true are no result: --status shows none, --resume
# runs the job again, and the summary has no row a record forged.
fresh forged
"$batch" forged/job.kcf >/dev/null 2>&1
good=$(cat forged/job.result)
while IFS='|' read -r what from to; do
    printf '%s\n' "${good/"$from"/"$to"}" >forged/job.result
    "$batch" --status --summary forged.tsv forged/job.kcf >table 2>/dev/null
    check "a record with $what: exit status 1" test $? -eq 1
    check "a record with $what: no result" test "$(state_of forged table)" = "not run"
    check "a record with $what: one summary row" test "$(wc -l <forged.tsv)" -eq 2
    "$batch" --resume forged/job.kcf >table 2>/dev/null
    check "a record with $what: --resume runs the job" test "$(state_of forged table)" = finished
    good=$(cat forged/job.result)
done <<'CASES'
a reused state|"state":"finished"|"state":"reused"
a return value of 2^32|"return_value":0|"return_value":4294967296
an exit status of 2^32|"exit_status":0|"exit_status":4294967296
a start that is no instant|"started":"|"started":"x\nforged\tfinished\t
CASES

# What a job cost, from the kernel's account of the launcher: a job asked
# to hold 200 MiB, and one asked to burn a second of CPU time.
fresh heavy; fresh busy
KVSOLVER=$real KVS_STANDIN_SOLVE_MEMORY=200 "$batch" --summary cost.tsv heavy/job.kcf >/dev/null 2>&1
KVS_STANDIN_SOLVE_CPU=1 "$batch" --summary cost2.tsv busy/job.kcf >/dev/null 2>&1
kib=$(awk -F'\t' 'NR == 2 {print $11}' cost.tsv)
# A sanitizer's shadow of the 200 MiB, and its own, count too.
most=220
ldd "$real" | grep -q libasan && most=260
check "200 MiB held: the peak is 200 to $most MiB ($kib KiB)" \
    test "$kib" -ge $((200 * 1024)) -a "$kib" -le $((most * 1024))
cpu=$(awk -F'\t' 'NR == 2 {print $12 + $13}' cost2.tsv)
check "a second of CPU burnt: 0.9 to 1.5 s ($cpu s)" \
    awk -v s="$cpu" 'BEGIN {exit !(s >= 0.9 && s <= 1.5)}'
"$batch" --status heavy/job.kcf busy/job.kcf >table 2>/dev/null
check "the table shows the peak in MiB" grep -qE '^heavy .* 2[0-5][0-9]\.[0-9] MiB  +[0-9]+\.[0-9]{2}$' table
check "the table shows the CPU seconds" grep -qE '^busy .* MiB  +1\.[0-4][0-9]$' table
# A study whose results an earlier version wrote still reads, without figures.
sed -E 's/"version":3/"version":1/; s/"max_rss_kib":[0-9]+,//; s/,"system_seconds":[0-9.e-]+//; s/,"user_seconds":[0-9.e-]+//' \
    heavy/job.result >heavy/job.result.old
mv heavy/job.result.old heavy/job.result
"$batch" --status --summary old.jsonl heavy/job.kcf >table 2>/dev/null
check "a first-version result: --status says finished" test "$(state_of heavy table)" = finished
check "a first-version result: no figures" grep -q '"max_rss_kib":null,"user_seconds":null' old.jsonl
"$batch" --resume heavy/job.kcf >table 2>/dev/null
check "a first-version result: --resume reuses it" test "$(state_of heavy table)" = reused

# The lines after the table show the end of each failed job's log, escaped
# and cut to a line's width.
fresh digest
wrapper noisy "printf 'first\\n\\033[2J%0300d\\n'; exit 3"
KVSOLVER=$scratch/noisy "$batch" digest/job.kcf >table 2>/dev/null
check "the digest: the log's last two lines" \
    grep -qx '    first' table
check "the digest: escaped and cut to 120 columns" \
    grep -qxE '    \\033\[2J0{106}\.\.\.' table
check "the digest: nothing raw" test -z "$(grep -l $'\033' table)"

# A directory in a job's result's place: no record can replace it, so the
# run is lost, and --status says so rather than that it never ran.
fresh dirresult
mkdir dirresult/job.result
"$batch" dirresult/job.kcf >table 2>/dev/null
check "a directory as the result: exit status 1" test $? -eq 1
check "a directory as the result: the run is lost" test "$(state_of dirresult table)" = lost
"$batch" --status dirresult/job.kcf >table 2>/dev/null
check "a directory as the result: --status exits 1" test $? -eq 1
check "a directory as the result: --status shows it lost, saying why" \
    grep -q '^dirresult  *job.kcf  *lost  .*its result dirresult/job.result is a directory' table

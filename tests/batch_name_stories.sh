# The stories of tests/batch_test.sh about names that are not plain text:
# sourced by it, in the study directory, with its helpers.

# Directories named with a C1 control (as UTF-8, and as a lone byte), with
# bytes of no UTF-8 character, and with a backslash and a 't' beside one
# with a real tab. One job fails, so that its log's path is shown.
odd=($'c1\xc2\x85' $'raw\x9b' $'a\xff' $'a\xfe' 't\tab' $'t\tab')
odd_jobs=()
for d in "${odd[@]}"; do
    fresh "bytes/$d"
    printf 'beam.kmd\nSOLVE bytes\nstop\n' >"bytes/$d/job.kcf"
    odd_jobs+=("bytes/$d/job.kcf")
done
printf 'missing.kmd\nSOLVE bytes\nstop\n' >"bytes/a"$'\xff'"/bad.kcf"
odd_jobs+=("bytes/a"$'\xff'"/bad.kcf")
"$batch" --summary bytes.tsv "${odd_jobs[@]}" >table 2>progress
check "odd names: exit status 1" test $? -eq 1
odd_table='directory       job      state     return value  meaning         attempts  seconds  memory  cpu
bytes/c1\u0085  job.kcf  finished             0  finished               1  S  M  C
bytes/raw\x9b   job.kcf  finished             0  finished               1  S  M  C
bytes/a\xff     job.kcf  finished             0  finished               1  S  M  C
bytes/a\xfe     job.kcf  finished             0  finished               1  S  M  C
bytes/t\\tab    job.kcf  finished             0  finished               1  S  M  C
bytes/t\tab     job.kcf  finished             0  finished               1  S  M  C
bytes/a\xff     bad.kcf  failed             -10  convert failed         1  S  M  C
bytes/a\xff/bad.log: failed: convert failed
    KV stand-in: cannot read the model file missing.kmd
    CONVERT-PROCESSING IS FAILED
7 jobs: 6 finished, 1 failed'
same "odd names: the table shows each name escaped, and its own log" "$odd_table" "$(steady <table | sed '/^    dos2unix: /d')"
check "odd names: the table and the progress are printable ASCII" \
    test -z "$(grep -l '[^[:print:]]' table progress)"
same "odd names: the progress shows each name escaped" 'bytes/a\xfe/job.kcf
bytes/a\xff/bad.kcf
bytes/a\xff/job.kcf
bytes/c1\u0085/job.kcf
bytes/raw\x9b/job.kcf
bytes/t\\tab/job.kcf
bytes/t\tab/job.kcf' "$(sed -n 's/^kvsolver-batch: \(bytes\/.*\): [a-z]* .*/\1/p' progress | sort)"
"$batch" --status "${odd_jobs[@]}" >status 2>/dev/null
same "odd names: --status shows the same rows and log" "$odd_table" "$(steady <status | sed '/^    dos2unix: /d')"

# The summary's TSV keeps each name's bytes; only \ tab newline and
# carriage return are escaped.
tsv_names=''
for d in "${odd[@]}" "a"$'\xff'; do tsv_names+="bytes/${d//\\/\\\\}"; tsv_names+=$'\n'; done
tsv_names=${tsv_names//$'\t'/\\t}
same "odd names: the TSV's directories are the names' bytes" "${tsv_names%$'\n'}" \
    "$(tail -n +2 bytes.tsv | cut -f1)"
check "odd names: the TSV's logs name the logs" \
    test "$(tail -n +2 bytes.tsv | cut -f10 |
            while IFS= read -r log; do [[ -e $(printf '%b' "$log") ]] && echo; done | wc -l)" -eq 7

# JSON Lines: a name that is UTF-8 is a plain string; any other has U+FFFD
# for its stray bytes and its bytes in hexadecimal beside it.
"$batch" --status --summary bytes.jsonl "${odd_jobs[@]}" >/dev/null 2>&1
same "odd names: JSON Lines' directories" "bytes/c1"$'\xc2\x85'"
bytes/raw"$'\xef\xbf\xbd'"
bytes/a"$'\xef\xbf\xbd'"
bytes/a"$'\xef\xbf\xbd'"
bytes/t\\tab
bytes/t"$'\t'"ab
bytes/a"$'\xef\xbf\xbd' "$(json_key bytes.jsonl directory)"
same "odd names: JSON Lines keeps the bytes of each name that is not UTF-8" "-
$(hex "bytes/raw"$'\x9b')
$(hex "bytes/a"$'\xff')
$(hex "bytes/a"$'\xfe')
-
-
$(hex "bytes/a"$'\xff')" "$(json_key bytes.jsonl directory_bytes)"
same "odd names: JSON Lines keeps each log apart" "7" \
    "$(paste <(json_key bytes.jsonl log) <(json_key bytes.jsonl log_bytes) | sort -u | wc -l)"
check "odd names: JSON Lines' logs name the logs" \
    test "$(json_key bytes.jsonl log_bytes | grep -v '^-$' | while read -r h; do
                [[ -e $(printf "$(sed 's/../\\x&/g' <<<"$h")") ]] && echo; done | wc -l)" -eq 4

# Names of wide and combining characters line up by the columns a terminal
# gives them; one that would turn the line round, or break it, is escaped.
wide=($'\xe6\xa2\x81\xe5\x88\x86' $'e\xcc\x81' $'rlo\xe2\x80\xae''exe' $'ls\xe2\x80\xa8')
wide_jobs=()
for d in "${wide[@]}"; do
    fresh "wide/$d"
    wide_jobs+=("wide/$d/job.kcf")
done
"$batch" "${wide_jobs[@]}" >table 2>/dev/null
same "wide names: the table lines up by columns, the turning and breaking ones escaped" \
"directory          job      state     return value  meaning   attempts  seconds  memory  cpu
wide/"$'\xe6\xa2\x81\xe5\x88\x86'"          job.kcf  finished             0  finished         1  S  M  C
wide/"$'e\xcc\x81'"             job.kcf  finished             0  finished         1  S  M  C
wide/rlo\\u202eexe  job.kcf  finished             0  finished         1  S  M  C
wide/ls\\u2028      job.kcf  finished             0  finished         1  S  M  C
4 jobs: 4 finished" "$(steady <table)"

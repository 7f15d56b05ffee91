# The stories of tests/batch_test.sh on --make-cases: a study's case
# directories made from a template and a table, made again from an edited
# table, and run with their parameters in every output. Sourced by it, in
# the study directory, with its helpers.

# The template: a job file and a model with placeholders, a file copied as
# it is.
rm -rf tpl && mkdir tpl
printf 'beam.kmd\n! factor {factor}, {{literal}}\nLOAD CASE 2 WIND FACTOR {factor}\nSOLVE\nstop\n' \
    >tpl/job.kcf
printf 'beam, thickness {t}\n' >tpl/beam.kmd
printf 'notes {kept as is}\n' >tpl/notes.txt
chmod 0640 tpl/notes.txt
printf 'case,factor,t\nc1,1.25,3\r\n"c2","1,50",4\n' >params.csv
rm -rf out
"$batch" --make-cases tpl params.csv out >made 2>made.err
check "--make-cases: exit status 0" test $? -eq 0
same "--make-cases: each case is listed" "made        out/c1
made        out/c2" "$(cat made)"
check "--make-cases: nothing on standard error" test ! -s made.err
same "--make-cases: placeholders replaced, braces doubled kept" "beam.kmd
! factor 1,50, {literal}
LOAD CASE 2 WIND FACTOR 1,50
SOLVE
stop" "$(cat out/c2/job.kcf)"
same "--make-cases: the model's placeholder replaced" "beam, thickness 3" "$(cat out/c1/beam.kmd)"
check "--make-cases: other files copied as they are" cmp tpl/notes.txt out/c1/notes.txt
same "--make-cases: a copy keeps its mode" 640 "$(stat -c %a out/c1/notes.txt)"
same "--make-cases: cases.tsv maps directories to parameters" "case	factor	t
c1	1.25	3
c2	1,50	4" "$(cat out/cases.tsv)"

# Tables that are refused: nothing is written, and the message names the
# file, line and column.
while IFS='|' read -r what table want; do
    rm -rf refused
    printf "$table" >bad.csv
    "$batch" --make-cases tpl bad.csv refused >/dev/null 2>refused.err
    check "refused, $what: exit status 2" test $? -eq 2
    check "refused, $what: nothing written" test ! -e refused
    same "refused, $what: the message" "kvsolver-batch: $want" "$(head -n 1 refused.err)"
done <<'CASES'
a placeholder with no column|case,factor\nc1,1\n|tpl/beam.kmd: line 1: no column names {t}
duplicate case names|case,factor,t\nc1,1,2\nc1,2,3\n|bad.csv:3: column 1 (case): the case c1 is also on line 2
a ragged row|case,factor,t\nc1,1,2\nc2,1\n|bad.csv:3: the row has 2 fields, the header 3
a value with a line end|case,factor,t\nc1,"1\nSOLVE",2\n|bad.csv:2: column 2 (factor) holds a line end
a value with a NUL|case,factor,t\nc1,1\0,2\n|bad.csv:2: column 2 (factor) holds a NUL byte
a case name ..|case,factor,t\n..,1,2\n|bad.csv:2: column 1 (case): a case name begins with '.'
a case name with /|case,factor,t\na/b,1,2\n|bad.csv:2: column 1 (case): a case name holds a '/'
an empty case name|case,factor,t\n,1,2\n|bad.csv:2: column 1 (case): an empty case name
a quote inside a field|case,factor,t\nc1,1"5,2\n|bad.csv:2: error parsing data while strict checking enabled
CASES

# A column no template file uses is a warning only.
printf 'factor,t,unused\n1,2,3\n' >warn.csv
rm -rf warned
"$batch" --make-cases tpl warn.csv warned >/dev/null 2>warned.err
check "an unused column: exit status 0" test $? -eq 0
same "an unused column: warned" \
    "kvsolver-batch: warning: warn.csv: column 3 (unused) is used by no template file" \
    "$(cat warned.err)"
check "without a case column, directories are named by the parameters" \
    test -f "warned/factor=1,t=2,unused=3/job.kcf"

# Made again from an edited table: only the changed row's case is written.
"$batch" -j 2 out/c1/job.kcf out/c2/job.kcf >/dev/null 2>&1
before=$(stat -c '%n %y' out/c1 out/c1/* out/c2/beam.kmd)
printf 'case,factor,t\nc1,1.25,3\nc2,1.75,4\n' >params.csv
"$batch" --make-cases tpl params.csv out >made 2>&1
check "made again: exit status 0" test $? -eq 0
same "made again: one case changed" "unchanged   out/c1
changed     out/c2" "$(cat made)"
same "made again: the unchanged case and file keep their times" "$before" \
    "$(stat -c '%n %y' out/c1 out/c1/* out/c2/beam.kmd)"
check "made again: the changed row's file is rewritten" grep -qx 'LOAD CASE 2 WIND FACTOR 1.75' out/c2/job.kcf
"$batch" --resume out/c1/job.kcf out/c2/job.kcf >table 2>/dev/null
check "made again: --resume reuses the unchanged case" grep -qE '^out/c1 .* 3  reused ' table
check "made again: --resume runs the changed case" grep -qE '^out/c2 .* 4  finished ' table

# A case edited by hand is not overwritten without --force.
printf 'beam.kmd\nSOLVE BY HAND\nstop\n' >out/c1/job.kcf
printf 'case,factor,t\nc1,2.00,3\nc2,1.75,4\n' >params.csv
"$batch" --make-cases tpl params.csv out >made 2>made.err
check "edited by hand: exit status 2" test $? -eq 2
same "edited by hand: the message names the files" \
    "kvsolver-batch: out/c1: edited by hand: job.kcf not as made (--force overwrites)
kvsolver-batch: no case was written" "$(cat made.err)"
check "edited by hand: the edit is kept" grep -qx 'SOLVE BY HAND' out/c1/job.kcf
"$batch" --make-cases --force tpl params.csv out >made 2>&1
check "edited by hand, --force: exit status 0" test $? -eq 0
check "edited by hand, --force: overwritten" grep -qx 'LOAD CASE 2 WIND FACTOR 2.00' out/c1/job.kcf

# A file removed by hand, or a link in a file's place, is an edit too; with
# --force the link is replaced, and the file it names keeps its bytes.
rm out/c2/beam.kmd
printf 'outside\n' >outside.kcf
ln -sf ../../outside.kcf out/c1/job.kcf
"$batch" --make-cases tpl params.csv out >made 2>made.err
check "a file removed, a link in place: exit status 2" test $? -eq 2
same "a file removed, a link in place: both named" \
    "kvsolver-batch: out/c1: edited by hand: job.kcf not as made (--force overwrites)
kvsolver-batch: out/c2: edited by hand: beam.kmd not as made (--force overwrites)
kvsolver-batch: no case was written" "$(cat made.err)"
"$batch" --make-cases --force tpl params.csv out >/dev/null 2>&1
check "--force over a link: the case has a file of its own" test ! -L out/c1/job.kcf
check "--force over a link: the file it named is untouched" grep -qx outside outside.kcf
check "--force: the removed file is made again" test -f out/c2/beam.kmd

# A directory in a case's place that --make-cases did not make.
mkdir -p own && printf 'x\n' >own/job.kcf
printf 'case,factor,t\nown,1,1\n' >own.csv
"$batch" --make-cases tpl own.csv . >made 2>made.err
check "a directory not made: exit status 2" test $? -eq 2
check "a directory not made: refused" \
    grep -qx "kvsolver-batch: ./own: not made by --make-cases (--force writes it)" made.err
check "a directory not made: nothing written" test ! -e cases.tsv -a "$(cat own/job.kcf)" = x

# A removed row's case is listed, and left as it is; a link in a case's
# place is never written through.
mkdir -p elsewhere
ln -s ../elsewhere out/c3
printf 'case,factor,t\nc1,2.00,3\nc3,1,1\n' >params.csv
"$batch" --make-cases tpl params.csv out >made 2>made.err
check "a link in a case's place: exit status 2" test $? -eq 2
check "a link in a case's place: refused" \
    grep -qx "kvsolver-batch: out/c3: not a directory of its own (a link or a file is in its way)" made.err
check "a link in a case's place: nothing written through it" test -z "$(ls elsewhere)"
rm out/c3
printf 'case,factor,t\nc1,2.00,3\n' >params.csv
"$batch" --make-cases tpl params.csv out >made 2>&1
same "a removed row: listed, not deleted" "unchanged   out/c1
removed     out/c2 (its row is gone; left as it is)" "$(cat made)"
check "a removed row: its case is still there" test -f out/c2/job.kcf

# A study of 1,000 cases made and run, its parameters in every output.
{
    echo 'factor,t'
    for i in $(seq 1000); do echo "$i.5,$((i % 7))"; done
} >big.csv
"$batch" --make-cases tpl big.csv big >/dev/null 2>&1
check "1,000 cases: made" test "$(ls big | wc -l)" -eq 1001
KVS_STANDIN_QUIET=1 "$batch" -j 2 --summary big.tsv big/*/job.kcf >big.table 2>/dev/null
check "1,000 cases: exit status 0" test $? -eq 0
same "1,000 cases: the summary's head and a row" \
    "directory	job	factor	t	state	return_value
big/factor=7.5,t=0	job.kcf	7.5	0	finished	0" \
    "$(sed -n '1p; /^big\/factor=7.5,t=0	/p' big.tsv | cut -f 1-6)"
check "1,000 cases: every job in the summary" test "$(grep -c '	finished	' big.tsv)" -eq 1000
"$batch" --status --summary big.jsonl big/factor=7.5,t=0/job.kcf >/dev/null 2>&1
same "1,000 cases: the JSON Lines summary has the parameters" '{"factor":"7.5","t":"0"}' \
    "$(perl -MJSON::PP -ne 'print JSON::PP->new->canonical->encode(decode_json($_)->{parameters})' big.jsonl)"
"$batch" --status --parameters out/cases.tsv --report big.html out/c1/job.kcf >status 2>&1
same "--parameters: the table has the columns" \
    "directory|job|factor|t|state|return value" \
    "$(head -n 1 status | awk -F'  +' '{print $1"|"$2"|"$3"|"$4"|"$5"|"$6}')"
check "--parameters: the report has the columns, numbers sorted as such" \
    grep -q '<th class="n">factor</th><th class="n">t</th><th>state</th>' big.html

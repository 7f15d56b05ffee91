#!/usr/bin/env bash
# Runs a study in which jobs end every way they can, one of them in a
# directory whose name is markup, writes its --report, and opens the page
# in headless Chromium with no network: its counts, its timeline, the jobs
# that did not finish with their logs, its table sorted and filtered by its
# own script, the hostile name shown as text, and no script error.
#   report_browser_test.sh BUILD_DIR
# The page, the browser's DOM and a screenshot stay in
# BUILD_DIR/report_browser_test for a person to look at.
set -u
build=$(realpath "$1")
batch=$build/bin/kvsolver-batch
real=$build/bin/kvsolver
kept=$build/report_browser_test
scratch=$(mktemp -d)
profile=$(mktemp -d)
passed=0 failed=0
export LC_ALL=C
unset LD_LIBRARY_PATH KVSOLVER KVS_STANDIN_SOLVE_WAIT KVS_STANDIN_SOLVE_CPU

# Ends every browser this script started, by the profile only it uses.
stop_browsers() {
    local pid
    for pid in $(pgrep -f -- "--user-data-dir=$profile"); do kill -9 "$pid" 2>/dev/null; done
}
cleanup() {
    stop_browsers
    rm -rf "$scratch" "$profile"
}
trap cleanup EXIT

check() {  # description command...
    local what=$1
    shift
    if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $what"; fi
}
# Whether FILE holds the fixed TEXT.
holds() { grep -qF -- "$2" "$1"; }
lacks() { ! grep -qF -- "$2" "$1"; }
# How many times the fixed TEXT stands in FILE.
times_in() { grep -oF -- "$2" "$1" | wc -l; }
await() { for _ in $(seq 300); do [[ -e $1 ]] && return 0; sleep 0.1; done; return 1; }

rm -rf "$kept"
mkdir -p "$kept" || { echo "FAIL: cannot create $kept"; exit 1; }

# The study: jobs that finish, each burning a little CPU time; one that
# fails (its model is missing), one killed by SIGKILL, one that hangs until
# --timeout, one whose result can't be written (lost), and one in a
# directory named as markup.
study=$scratch/study
hostile='<script>alert(1)</script>'
nonutf8=$'bad\xff\xfename'
mkdir -p "$study" && cd "$study" || exit 1
dirs=(ok1 ok2 ok3 ok4 failed killed slow lost "$hostile" "$nonutf8")
for d in "${dirs[@]}"; do
    mkdir -p "$d"
    : >"$d/beam.kmd"
    printf 'beam.kmd\nSOLVE\nstop\n' >"$d/job.kcf"
done
printf 'missing.kmd\nSOLVE\nstop\n' >failed/job.kcf
mkdir lost/job.result
cat >"$scratch/launcher" <<EOF
#!/bin/sh
case \$PWD in
    */killed) kill -9 \$\$ ;;
    */slow) export KVS_STANDIN_SOLVE_WAIT=$scratch/never ;;
    */ok*) export KVS_STANDIN_SOLVE_CPU=0.\${PWD##*ok} ;;
esac
exec $real "\$@"
EOF
chmod +x "$scratch/launcher"
jobs=()
for d in "${dirs[@]}"; do jobs+=("$d/job.kcf"); done

# A report path that is no regular file is a usage error, and nothing runs.
mkdir taken.html
"$batch" --report taken.html ok1/job.kcf >/dev/null 2>err
check "--report to a directory: exit status 2" test $? -eq 2
check "--report to a directory: says why" holds err "cannot write taken.html: not a regular file"
check "--report to a directory: nothing ran" test ! -e ok1/job.log

# While the batch runs the page says so and reloads itself; at the end it
# does neither.
# The job that hangs holds the batch for 7 s: long enough for the page to
# be written again, with the jobs that ended by then.
KVSOLVER=$scratch/launcher "$batch" -j 2 --timeout 7 --kill-after 1 --report report.html \
    "${jobs[@]}" >table 2>/dev/null &
run=$!
await report.html
cp report.html "$kept/started.html"
for _ in $(seq 150); do
    grep -qF 'data-state="s-finished"><span class="dot"></span><b>6</b>' report.html && break
    sleep 0.1
done
cp report.html "$kept/running.html"
wait "$run"
status=$?
cp report.html "$kept/report.html"
check "the batch: exit status 1" test "$status" -eq 1
check "the page at the start: every job waiting" \
    holds "$kept/started.html" "data-state=\"s-waiting\"><span class=\"dot\"></span><b>${#dirs[@]}</b>"
check "the page written again while it runs: the jobs ended by then" \
    holds "$kept/running.html" 'data-state="s-finished"><span class="dot"></span><b>6</b>'
check "the page while it runs: still running" holds "$kept/running.html" "Still running:"
check "the page while it runs: reloads itself" holds "$kept/running.html" 'http-equiv="refresh"'
check "the final page: when it ended" holds report.html '<dt>ended</dt><dd>20'
check "the final page: does not reload" lacks report.html 'http-equiv="refresh"'
check "the final page: not still running" lacks report.html "Still running"
check "the final page: the command line" holds report.html "--report report.html"
check "the page needs nothing from elsewhere" \
    test -z "$(grep -oE '(src|href)=|url\(|@import|https?:' report.html)"
check "no temporary file is left beside the page" \
    test -z "$(find . -maxdepth 1 -name '.kvsolver-batch-report-*')"
for state in "finished" "failed" "killed" "timed out" "lost"; do
    check "the table has a $state job" grep -q "  $state  " table
done

# --status makes the same page from the results on disk.
"$batch" --status --report status.html "${jobs[@]}" >/dev/null 2>&1
check "--status --report: exit status 1" test $? -eq 1
check "--status --report: made from the results" holds status.html ", from the results on disk"
check "--status --report: final" lacks status.html 'http-equiv="refresh"'

if ! command -v chromium >/dev/null; then
    echo "report: $passed passed, $failed failed"
    [[ $failed -eq 0 ]] || exit 1
    echo "SKIP: chromium is not installed (Debian's chromium): the page was not opened"
    exit 77
fi
# The browser runs with no network: in a network namespace of its own where
# one can be made, and always through a proxy on a port nobody serves.
isolate=()
unshare -n true 2>/dev/null && isolate=(unshare -n --)
browse() {  # URL OUTPUT ERRORS chromium-options...
    local url=$1 output=$2 errors=$3
    shift 3
    timeout 120 "${isolate[@]}" chromium --headless --no-sandbox --disable-gpu \
        --user-data-dir="$profile" --proxy-server=127.0.0.1:9 --proxy-bypass-list='<-loopback>' \
        --no-first-run --enable-logging=stderr --v=0 "$@" "$url" >"$output" 2>"$errors"
}
page=file://$study/report.html
dom=$kept/report.dom.html
browse "$page" "$dom" "$kept/chromium.log" --dump-dom
check "the browser read the page" holds "$dom" "</html>"
check "the page's script ran without error" holds "$dom" '<body data-ready="1">'
check "no message on the browser's console" \
    test -z "$(grep -F ':CONSOLE' "$kept/chromium.log" | tee /dev/stderr)"

# Counts per state, as buttons that filter the table.
count_of() { grep -oE "data-state=\"s-$1\"><span class=\"dot\"></span><b>[0-9]+</b>" "$dom" |
             grep -oE '[0-9]+</b>' | grep -oE '[0-9]+'; }
check "the count of finished jobs" test "$(count_of finished)" = 6
for state in failed killed timed-out lost; do
    check "the count of $state jobs" test "$(count_of "$state")" = 1
done

# A row for each job that did not finish: its meaning, its log and the
# log's last lines.
unfinished() {  # STATE PATH TEXT...
    local state=$1 path=$2 text article
    shift 2
    article=$(grep -oF "<article class=\"job s-${state// /-}\"><h3><span class=\"state\">$state</span> $path</h3>" "$dom")
    check "$path: listed as $state" test -n "$article"
    for text in "$@"; do check "$path: shows '$text'" holds "$dom" "$text"; done
}
unfinished failed failed/job.kcf "convert failed" "log: <code>failed/job.log</code>" \
    "Return Value of KV Solver = -10"
unfinished killed killed/job.kcf "ended by SIGKILL" "log: <code>killed/job.log</code>"
unfinished "timed out" slow/job.kcf "SIGTERM" "log: <code>slow/job.log</code>" \
    "COMMAND : SOLVE"
unfinished lost lost/job.kcf "cannot replace lost/job.result: Is a directory"
check "only the jobs that did not finish are listed" test "$(times_in "$dom" '<article class="job')" -eq 4

# The timeline: a bar for each state that ran, each with its title.
timeline=$(sed -n 's/.*<svg class="timeline"\(.*\)<\/svg>.*/\1/p' "$dom" | head -1)
printf '%s' "$timeline" >"$kept/timeline.svg"
for state in finished failed killed timed-out lost; do
    check "the timeline has a $state bar" holds "$kept/timeline.svg" "<rect class=\"s-$state\""
done
check "every bar has a title" \
    test "$(times_in "$kept/timeline.svg" '<rect ')" -eq "$(times_in "$kept/timeline.svg" '<title>')"
check "a bar's title names its job" holds "$kept/timeline.svg" "<title>slow/job.kcf: timed out, "

# The hostile name is text; the page has its own script only; the name that
# is no UTF-8 shows its bytes escaped, as the table does.
check "the hostile name is shown as text" holds "$dom" "&lt;script&gt;alert(1)&lt;/script&gt;"
check "the page holds one script, its own" test "$(times_in "$dom" '<script')" -eq 1
check "the name that is no UTF-8 shows its bytes escaped" holds "$dom" '<td>bad\xff\xfename</td>'
check "the whole table" test "$(times_in "$dom" '<tr class="s-')" -eq "${#dirs[@]}"

# Its script sorts the table and shows one state: asked through the
# address's fragment, as a click leaves it.
browse "$page#sort=6d" "$kept/sorted.dom.html" "$kept/chromium-sorted.log" --dump-dom
first_row=$(grep -oE '<tr class="s-[a-z-]+"><td>[^<]*</td>' "$kept/sorted.dom.html" | head -1)
check "sorted by seconds, longest first: the job that timed out" \
    test "$first_row" = '<tr class="s-timed-out"><td>slow</td>'
browse "$page#state=s-failed" "$kept/filtered.dom.html" "$kept/chromium-filtered.log" --dump-dom
check "filtered: the failed job shown" holds "$kept/filtered.dom.html" '<tr class="s-failed"><td>'
check "filtered: no other row" test "$(times_in "$kept/filtered.dom.html" '<tr class="s-')" -eq 1
check "filtered: says how many are shown" holds "$kept/filtered.dom.html" "1 of ${#dirs[@]} jobs shown"

# Records that hold the launcher's peak memory and CPU time: their
# distribution, the largest jobs, and the table sorted by memory.
for k in 1 2 3 4; do
    sed -i -E "s/\"max_rss_kib\":[^,}]*/\"max_rss_kib\":$((k * 40960))/; s/\"user_seconds\":[^,}]*/\"user_seconds\":0.$k/; s/\"system_seconds\":[^,}]*/\"system_seconds\":0.0$k/" \
        "ok$k/job.result"
done
measured=$(for j in "${jobs[@]}"; do grep -l '"max_rss_kib":[0-9]' "${j%.*}.result"; done 2>/dev/null | wc -l)
"$batch" --status --report figures.html "${jobs[@]}" >/dev/null 2>&1
browse "file://$study/figures.html#sort=7d" "$kept/figures.dom.html" "$kept/chromium-figures.log" \
    --dump-dom
check "figures: the distribution of peak memory" holds "$kept/figures.dom.html" "Peak memory of $measured jobs"
check "figures: the largest jobs" holds "$kept/figures.dom.html" "Largest jobs, by peak memory"
first_row=$(grep -oE '<tr class="s-[a-z-]+"><td>[^<]*</td>' "$kept/figures.dom.html" | head -1)
check "figures: sorted by peak memory, largest first" test "$first_row" = '<tr class="s-finished"><td>ok4</td>'
check "figures: the CPU time" holds "$kept/figures.dom.html" '<td data-v="163840">160.0 MiB</td><td>0.44</td>'
browse "file://$study/figures.html" /dev/null "$kept/chromium-figures-screenshot.log" \
    --screenshot="$kept/figures.png" --window-size=1400,1800 --hide-scrollbars

browse "$page" /dev/null "$kept/chromium-screenshot.log" \
    --screenshot="$kept/report.png" --window-size=1400,1800 --hide-scrollbars
check "a screenshot" test "$(head -c 4 "$kept/report.png" 2>/dev/null | od -An -c | tr -d ' ')" = '211PNG'

for _ in $(seq 100); do
    left=$(pgrep -af -- "--user-data-dir=$profile")
    [[ -z $left ]] && break
    sleep 0.1
done
check "no browser outlives its page" test -z "$left"

echo "report: $passed passed, $failed failed"
[[ $failed -eq 0 ]]

#include "batch/html_report.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "batch/command_line.h"
#include "batch/histogram.h"
#include "batch/histogram_chart.h"
#include "batch/html_text.h"
#include "batch/job_figures.h"
#include "batch/job_table.h"
#include "batch/lanes.h"
#include "batch/log_tail.h"
#include "batch/replace_file.h"
#include "batch/timeline.h"
#include "batch/utf8.h"
#include "tests/test_dir.h"

namespace {

const std::string kFffd = "\xEF\xBF\xBD";

/// How often `part` stands in `text`.
size_t Occurrences(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

/// A job of `directory` named `file`, as a batch is given it.
Job NamedJob(const std::string& directory, const std::string& file = "job.kcf") {
  Job job;
  EXPECT_TRUE(NameJob(directory, file, &job)) << file;
  return job;
}

/// A record that ran: `state`, started `started`, for `seconds`.
Result Ran(State state, const std::string& started, double seconds,
           const std::string& host = "node1") {
  Result r;
  r.state = state;
  r.meaning = StateName(state);
  r.attempts = 1;
  r.started = started;
  r.seconds = seconds;
  r.host = host;
  return r;
}

/// A study of `jobs` whose every job ended as `results` say.
Study Ended(std::vector<Job> jobs, const std::vector<Result>& results) {
  Study study(std::move(jobs));
  for (size_t i = 0; i < results.size(); ++i) study.End(i, results[i]);
  return study;
}

/// A context of a batch that is over.
ReportContext Over() {
  ReportContext context;
  context.command = "kvsolver-batch -j 2 case1/job.kcf";
  context.started = "2026-12-09T08:00:00Z";
  context.ended = "2026-12-09T08:10:00Z";
  context.written = context.ended;
  return context;
}

TEST(HtmlTextTest, AnyBytesBecomeValidUtf8) {
  struct Case {
    std::string bytes, want;
  } cases[] = {
      {"plain", "plain"},
      {"caf\xC3\xA9", "caf\xC3\xA9"},
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
      {"a\xFFz", "a" + kFffd + "z"},
      {"\xC0\xAF", kFffd + kFffd},                          // an overlong '/'
      {"\xED\xA0\x80", kFffd + kFffd + kFffd},              // a surrogate
      {"\xF4\x90\x80\x80", kFffd + kFffd + kFffd + kFffd},  // past U+10FFFF
      {"end\xE2\x82", "end" + kFffd + kFffd},               // a character cut short
      {"\x80lead", kFffd + "lead"},
  };
  for (const Case& c : cases) EXPECT_EQ(ValidUtf8(c.bytes), c.want) << c.bytes;
}

TEST(HtmlTextTest, NamesReachThePageAsText) {
  struct Case {
    std::string name, want;
  } cases[] = {
      {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;"},
      {"a&b\"c'd", "a&amp;b&quot;c&#39;d"},
      {"tab\tdir", "tab\\tdir"},
      {"esc\033[2J", "esc\\033[2J"},
      {"\xFF<", "\\xff&lt;"},
      {"</style><!--", "&lt;/style&gt;&lt;!--"},
  };
  for (const Case& c : cases) EXPECT_EQ(HtmlName(c.name), c.want) << c.name;
  EXPECT_EQ(HtmlText("line\r\n\ttab\a<b>\n"), "line\n\ttab" + kFffd + "&lt;b&gt;\n");
}

TEST(HtmlReportTest, HostileNamesRunNothing) {
  Result failed = Ran(State::kFailed, "2026-12-09T08:00:00Z", 2);
  failed.meaning = "There is no KMD file name in <b>x</b>";
  failed.host = "<img src=x onerror=alert(2)>";
  Study study = Ended({NamedJob("<script>alert(1)</script>"),
                       NamedJob(std::string("bad\xFF\xFE") + "dir"),
                       NamedJob("q\"uote's")},
                      {failed, Ran(State::kFinished, "2026-12-09T08:00:01Z", 1),
                       Ran(State::kFinished, "2026-12-09T08:00:01Z", 1)});
  ReportContext context = Over();
  context.command = "kvsolver-batch '<script>alert(4)</script>/job.kcf'";
  std::string page = HtmlReport(study, context);
  EXPECT_EQ(Occurrences(page, "<script"), 1u) << "only the page's own script";
  EXPECT_EQ(Occurrences(page, "<img"), 0u);
  EXPECT_EQ(Occurrences(page, "<b>x"), 0u);
  EXPECT_NE(page.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
  EXPECT_NE(page.find("bad\\xff\\xfedir"), std::string::npos);
  EXPECT_NE(page.find("q&quot;uote&#39;s"), std::string::npos);
  EXPECT_EQ(ValidUtf8(page), page) << "the page is valid UTF-8";
}

TEST(HtmlReportTest, StillRunningOrFinal) {
  struct Case {
    const char* what;
    bool from_disk;
    const char* ended;
    State last;
    bool running;
  } cases[] = {
      {"a batch that runs", false, "", State::kFinished, true},
      {"a batch that ended", false, "2026-12-09T08:10:00Z", State::kFailed, false},
      {"records, one running", true, "", State::kRunning, true},
      {"records, all ended", true, "", State::kFailed, false},
  };
  for (const Case& c : cases) {
    Study study = Ended(
        {NamedJob("a"), NamedJob("b")},
        {Ran(State::kFinished, "2026-12-09T08:00:00Z", 3), Ran(c.last, "2026-12-09T08:00:02Z", 4)});
    ReportContext context = Over();
    context.from_disk = c.from_disk;
    context.ended = c.ended;
    std::string page = HtmlReport(study, context);
    EXPECT_EQ(StillRunning(study, context), c.running) << c.what;
    EXPECT_EQ(page.find("http-equiv=\"refresh\"") != std::string::npos, c.running) << c.what;
    EXPECT_EQ(page.find("Still running") != std::string::npos, c.running) << c.what;
    EXPECT_EQ(page.find("<dd>still running</dd>") != std::string::npos, c.running) << c.what;
    EXPECT_EQ(page.find("Ended: ") != std::string::npos, !c.running) << c.what;
  }
}

TEST(HtmlReportTest, RecordsGiveTheTimesOfAStudyFromDisk) {
  Study study =
      Ended({NamedJob("a"), NamedJob("b")}, {Ran(State::kFinished, "2026-12-09T08:00:10Z", 5),
                                             Ran(State::kFinished, "2026-12-09T08:00:00Z", 70)});
  ReportContext context = Over();
  context.from_disk = true;
  std::string page = HtmlReport(study, context);
  EXPECT_NE(page.find("<dt>started</dt><dd>2026-12-09 08:00:00 UTC</dd>"), std::string::npos);
  EXPECT_NE(page.find("<dt>ended</dt><dd>2026-12-09 08:01:10 UTC (1 min 10 s)</dd>"),
            std::string::npos);
}

TEST(HtmlReportTest, JobsOfABatchThatRunsAreRunningOrWaiting) {
  Study study({NamedJob("a"), NamedJob("b"), NamedJob("c")});
  study.Start(0);
  study.Start(1);
  study.End(1, Ran(State::kFailed, "2026-12-09T08:00:00Z", 1));
  ReportContext context = Over();
  context.ended = "";
  std::string page = HtmlReport(study, context);
  for (const char* count : {"data-state=\"s-running\"><span class=\"dot\"></span><b>1</b>",
                            "data-state=\"s-failed\"><span class=\"dot\"></span><b>1</b>",
                            "data-state=\"s-waiting\"><span class=\"dot\"></span><b>1</b>"})
    EXPECT_NE(page.find(count), std::string::npos) << count;
  EXPECT_NE(page.find("Still running: 1 of 3 jobs ended"), std::string::npos);
}

TEST(HtmlReportTest, FiguresThatAreMissingAreBlank) {
  Result small = Ran(State::kFinished, "2026-12-09T08:00:00Z", 1);
  small.max_rss_kib = 2048;
  small.user_seconds = 0.75;
  small.system_seconds = 0.25;
  Result large = small;
  large.max_rss_kib = 3 * 1024 * 1024;
  Study study = Ended({NamedJob("small"), NamedJob("large"), NamedJob("old")},
                      {small, large, Ran(State::kFinished, "2026-12-09T08:00:00Z", 2)});
  std::string page = HtmlReport(study, Over());
  EXPECT_NE(page.find("Peak memory of 2 jobs"), std::string::npos);
  EXPECT_NE(page.find("Run time of 3 jobs"), std::string::npos);
  EXPECT_NE(page.find("<td data-v=\"2048\">2.0 MiB</td><td>1.00</td>"), std::string::npos);
  EXPECT_NE(page.find("<td data-v=\"3145728\">3.00 GiB</td>"), std::string::npos);
  EXPECT_NE(page.find("<td>2.00</td><td></td><td></td><td>2026-12-09 08:00:00</td>"),
            std::string::npos)
      << "a record without figures";
  Study none = Ended({NamedJob("old")}, {Ran(State::kFinished, "2026-12-09T08:00:00Z", 2)});
  EXPECT_NE(HtmlReport(none, Over()).find("No record holds a job's peak memory."),
            std::string::npos);
}

TEST(HtmlReportTest, UnfinishedJobsShowTheirLogsLastLines) {
  ScratchDir scratch;
  std::filesystem::create_directory("bad");
  std::string log;
  for (int line = 1; line <= 30; ++line) log += "line " + std::to_string(line) + "\n";
  WriteFile("bad/job.log", log + " Return Value of KV Solver = -10 \n");
  Result failed = Ran(State::kFailed, "2026-12-09T08:00:00Z", 1);
  failed.meaning = "convert failed";
  Result lost =
      Unrun(State::kLost, "cannot replace gone/job.result: Is a directory", "gone/job.log");
  lost.started = "2026-12-09T08:00:01Z";
  Study study = Ended({NamedJob("bad"), NamedJob("gone"), NamedJob("later"), NamedJob("good")},
                      {failed, lost, Unrun(State::kNotRun, "--max-fails was reached", ""),
                       Ran(State::kFinished, "2026-12-09T08:00:00Z", 1)});
  std::string page = HtmlReport(study, Over());
  EXPECT_NE(page.find("Jobs that did not finish (3)"), std::string::npos);
  EXPECT_NE(page.find("<p>log: <code>bad/job.log</code>, its last lines:</p><pre class=\"tail\">"
                      "line 22\n"),
            std::string::npos);
  EXPECT_NE(page.find("line 30\n Return Value of KV Solver = -10 \n</pre>"), std::string::npos);
  EXPECT_EQ(page.find("line 21\n"), std::string::npos);
  EXPECT_NE(page.find("(cannot read gone/job.log: No such file or directory)"), std::string::npos);
  EXPECT_NE(page.find("<span class=\"state\">not run</span> later/job.kcf</h3><p>--max-fails was "
                      "reached</p></article>"),
            std::string::npos);
  EXPECT_EQ(page.find("good/job.kcf</h3>"), std::string::npos);
}

TEST(HtmlReportTest, TheTableShowsAPageOfRowsAtOnce) {
  struct Case {
    size_t jobs;
    bool pager;
  } cases[] = {{kPageRows, false}, {kPageRows + 1, true}};
  for (const Case& c : cases) {
    std::vector<Job> jobs;
    for (size_t i = 0; i < c.jobs; ++i) jobs.push_back(NamedJob("d" + std::to_string(i)));
    std::string page = HtmlReport(Study(jobs), Over());
    EXPECT_EQ(Occurrences(page, "<tr class=\"s-waiting\">"), kPageRows) << c.jobs;
    EXPECT_EQ(Occurrences(page, "<tr class=\"s-waiting\" hidden>"), c.jobs - kPageRows) << c.jobs;
    EXPECT_EQ(page.find("<span id=\"pager\">") != std::string::npos, c.pager) << c.jobs;
  }
}

TEST(LogTailTest, LastLinesWithinBounds) {
  struct Case {
    const char* what;
    std::string text;
    size_t lines, bytes;
    std::string want;
    bool cut;
  } cases[] = {
      {"short", "a\nb\n", 10, 4096, "a\nb\n", false},
      {"no last line end", "a\nb", 10, 4096, "a\nb\n", false},
      {"more lines", "1\n2\n3\n4\n", 2, 4096, "3\n4\n", true},
      {"a line cut by the bytes is left out", "first\nsecond\nthird\n", 10, 10, "third\n", true},
      {"one long line", std::string(100, 'x') + "\n", 10, 10, "", true},
      {"empty", "", 10, 4096, "", false},
  };
  ScratchDir scratch;
  for (const Case& c : cases) {
    WriteFile("log", c.text);
    LogTail tail = ReadLogTail("log", c.lines, c.bytes);
    EXPECT_EQ(tail.problem, "") << c.what;
    EXPECT_EQ(tail.text, c.want) << c.what;
    EXPECT_EQ(tail.cut, c.cut) << c.what;
  }
  ASSERT_EQ(mkfifo("fifo", 0600), 0);
  std::filesystem::create_symlink("/etc/passwd", "link");
  for (const char* other : {"fifo", "link"})
    EXPECT_EQ(ReadLogTail(other, 10, 4096).problem,
              std::string("cannot read ") + other + ": not a regular file");
}

TEST(LanesTest, FirstFreeLane) {
  struct Case {
    const char* what;
    std::vector<Span> spans;
    std::vector<size_t> lanes;
    size_t count;
    std::vector<double> starts = {};  // as drawn, when they are not as given
  } cases[] = {
      {"one after the other", {{0, 5, 0}, {5, 9, 0}, {9, 10, 0}}, {0, 0, 0}, 1},
      {"side by side", {{0, 5, 0}, {1, 6, 0}, {2, 7, 0}}, {0, 1, 2}, 3},
      {"the first free lane again",
       {{0, 10, 0}, {0, 3, 0}, {4, 8, 0}, {11, 12, 0}},
       {0, 1, 1, 0},
       2},
      {"in order of start, whatever the order given", {{6, 9, 0}, {0, 5, 0}}, {0, 0}, 1},
      {"a start within the slack of an end, drawn from it",
       {{0, 5.5, 0}, {5, 6, 0}, {6, 8, 0}},
       {0, 0, 0},
       1,
       {0, 5.5, 6.5}},
      {"past the slack", {{0, 7, 0}, {5, 8, 0}}, {0, 1}, 2},
      {"hosts on lanes of their own",
       {{0, 5, 1}, {0, 5, 0}, {6, 7, 1}, {1, 2, 1}},
       {1, 0, 1, 2},
       3},
  };
  for (const Case& c : cases) {
    Lanes lanes = LayOutLanes(c.spans, 1.0);
    EXPECT_EQ(lanes.lane, c.lanes) << c.what;
    EXPECT_EQ(lanes.count, c.count) << c.what;
    std::vector<double> starts;
    for (const Span& span : c.spans) starts.push_back(span.start);
    EXPECT_EQ(lanes.start, c.starts.empty() ? starts : c.starts) << c.what;
  }
  Lanes grouped = LayOutLanes({{0, 1, 2}, {0, 1, 0}, {0, 1, 0}}, 0);
  EXPECT_EQ(grouped.first, (std::vector<size_t>{0, 2, 2})) << "a host without runs has no lane";
}

TEST(HistogramTest, NiceBins) {
  struct Case {
    const char* what;
    std::vector<double> values;
    size_t most;
    double start, width;
    std::vector<size_t> counts;
  } cases[] = {
      {"none", {}, 10, 0, 1, {}},
      {"seconds", {0.1, 0.4, 0.45, 1.9}, 10, 0, 0.2, {1, 0, 2, 0, 0, 0, 0, 0, 0, 1}},
      {"an edge counts in the bin it starts", {0, 1, 2, 3}, 3, 0, 2, {2, 2}},
      {"the start a multiple of the width", {103, 117, 130}, 5, 100, 10, {1, 1, 0, 1}},
      {"all alike", {0.02, 0.02}, 10, 0, 1, {2}},
      {"no figure below zero or not finite", {-1, 1.0 / 0.0, 3}, 10, 0, 5, {1}},
      {"0.3 falls in the bin from 0.3", {0, 0.3, 0.9}, 10, 0, 0.1, {1, 0, 0, 1, 0, 0, 0, 0, 0, 1}},
  };
  for (const Case& c : cases) {
    Histogram h = Bin(c.values, c.most);
    EXPECT_EQ(h.counts, c.counts) << c.what;
    if (c.counts.empty()) continue;
    EXPECT_DOUBLE_EQ(h.start, c.start) << c.what;
    EXPECT_DOUBLE_EQ(h.width, c.width) << c.what;
    EXPECT_LE(h.counts.size(), c.most) << c.what;
  }
}

TEST(HistogramTest, DrawnBinsSayTheirRangeAndCount) {
  std::string svg = DrawHistogram(Bin({0.1, 0.4, 0.45, 1.9}, 10), "s");
  EXPECT_EQ(Occurrences(svg, "<rect "), 3u) << "no bar for an empty bin";
  EXPECT_NE(svg.find("<title>0.0 to 0.2 s: 1 job</title>"), std::string::npos);
  EXPECT_NE(svg.find("<title>0.4 to 0.6 s: 2 jobs</title>"), std::string::npos);
  EXPECT_NE(svg.find("<title>1.8 to 2.0 s: 1 job</title>"), std::string::npos);
  EXPECT_EQ(DrawHistogram(Bin({}, 10), "MiB"), "");
}

TEST(TimelineTest, BarsAPersonCanRead) {
  std::vector<Job> jobs;
  std::vector<Result> results;
  for (int i = 0; i < 20000; ++i) {
    jobs.push_back(NamedJob("many", "j" + std::to_string(i) + ".kcf"));
    std::string started = InstantText(*InstantSeconds("2026-12-09T08:00:00Z") + i / 2);
    results.push_back(Ran(i == 5000 ? State::kFailed : State::kFinished, started, 0.9,
                          i % 2 == 0 ? "node1" : "node2"));
  }
  Timeline t = DrawTimeline(Ended(jobs, results));
  EXPECT_EQ(t.runs, 20000u);
  EXPECT_EQ(t.hosts, 2u);
  EXPECT_EQ(t.lanes, 2u) << "one lane per host: each runs one job at a time";
  EXPECT_LE(t.bars, 20u) << "runs closer than a pixel share a bar";
  EXPECT_EQ(Occurrences(t.svg, "class=\"s-failed\""), 1u) << "the failed job keeps its own bar";
  EXPECT_NE(t.svg.find(">node2</text>"), std::string::npos);
  Timeline one =
      DrawTimeline(Ended({NamedJob("a")}, {Ran(State::kFinished, "2026-12-09T08:00:00Z", 2)}));
  EXPECT_NE(one.svg.find("<title>a/job.kcf: finished, 2.00 s, started 2026-12-09 08:00:00 UTC on "
                         "node1</title>"),
            std::string::npos);
  EXPECT_EQ(DrawTimeline(Study({NamedJob("a")})).svg, "") << "no job started";
}

TEST(CommandLineTest, ShellWords) {
  struct Case {
    std::vector<std::string> words;
    size_t most;
    std::string want;
  } cases[] = {
      {{"kvsolver-batch", "-j", "2", "--report=r.html", "case1/job.kcf"},
       100,
       "kvsolver-batch -j 2 --report=r.html case1/job.kcf"},
      {{"kvsolver-batch", "two words/job.kcf", "it's", ""},
       100,
       "kvsolver-batch 'two words/job.kcf' 'it'\\''s' ''"},
      {{"kvsolver-batch", "a/job.kcf", "b/job.kcf", "c/job.kcf"},
       30,
       "kvsolver-batch a/job.kcf ... (2 more words)"},
  };
  for (const Case& c : cases) {
    std::vector<char*> argv;
    for (const std::string& word : c.words) argv.push_back(const_cast<char*>(word.c_str()));
    EXPECT_EQ(CommandLine(static_cast<int>(argv.size()), argv.data(), c.most), c.want);
  }
}

TEST(ReplaceFileTest, WholeOrNotAtAll) {
  ScratchDir scratch;
  EXPECT_EQ(ReplaceFile("page.html", "one", ".tmp-"), "");
  EXPECT_EQ(ReplaceFile("page.html", "two", ".tmp-"), "");
  EXPECT_EQ(ReadFile("page.html"), "two");
  std::filesystem::create_directory("dir.html");
  EXPECT_EQ(ReplaceFile("dir.html", "x", ".tmp-"), "cannot write dir.html: not a regular file");
  std::filesystem::create_symlink("page.html", "link.html");
  EXPECT_EQ(NotReplaceable("link.html"), "link.html: not a regular file");
  EXPECT_EQ(ReplaceFile("missing/page.html", "x", ".tmp-"),
            "cannot write missing/page.html: No such file or directory");
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(".")) files += !entry.is_directory();
  EXPECT_EQ(files, 2u) << "no temporary file is left";
}

}  // namespace

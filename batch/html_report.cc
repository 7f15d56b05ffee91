#include "batch/html_report.h"

#include <algorithm>
#include <ctime>
#include <map>
#include <vector>

#include "batch/command_line.h"
#include "batch/histogram.h"
#include "batch/histogram_chart.h"
#include "batch/html_text.h"
#include "batch/job_figures.h"
#include "batch/job_table.h"
#include "batch/log_tail.h"
#include "batch/replace_file.h"
#include "batch/report_assets.h"
#include "batch/timeline.h"

namespace {

constexpr size_t kListed = 200;        // jobs that did not finish, listed with their logs
constexpr size_t kTailLines = 10;      // of each one's log, at most
constexpr size_t kTailBytes = 4096;
constexpr size_t kTop = 10;            // slowest and largest jobs shown
constexpr size_t kBins = 24;
constexpr size_t kNamesShown = 12;     // hosts and cluster jobs named
constexpr size_t kCommandBytes = 4096;  // of the command line, at most
constexpr double kShortStudy = 600;     // seconds: the timeline's lanes are approximate

/// Whether a job in `state` is listed as one that did not finish.
bool Unfinished(const std::string& state) {
  return state == "failed" || state == "killed" || state == "timed out" || state == "lost" ||
         state == "not run" || state == "outdated";
}

/// The study's start and end as the page tells them.
struct Times {
  std::string started;
  std::string ended;  // empty: still running
};

/// The start and end from the records: the first start, and the last end
/// once none runs.
Times RecordTimes(const Study& study, bool running) {
  std::optional<std::time_t> first, last;
  for (const Row& r : study.rows) {
    std::optional<std::time_t> t = r.started;
    if (!t) continue;
    std::time_t end = *t + static_cast<std::time_t>(r.seconds + 0.5);
    first = first ? std::min(*first, *t) : *t;
    last = last ? std::max(*last, end) : end;
  }
  if (!first) return {};
  return {InstantText(*first), running ? "" : InstantText(*last)};
}

/// The distinct non-empty `names`, at most kNamesShown of them, then how
/// many more.
std::string NameList(const std::vector<std::string>& names) {
  std::vector<std::string> seen;
  for (const std::string& name : names)
    if (!name.empty() && std::find(seen.begin(), seen.end(), name) == seen.end())
      seen.push_back(name);
  std::string list;
  for (size_t k = 0; k < seen.size() && k < kNamesShown; ++k)
    list += (k > 0 ? ", " : "") + HtmlName(seen[k]);
  if (seen.size() > kNamesShown)
    list += " and " + std::to_string(seen.size() - kNamesShown) + " more";
  return list;
}

/// How many jobs are shown in each state.
std::map<std::string, size_t> CountStates(const Study& study) {
  std::map<std::string, size_t> count;
  for (size_t i = 0; i < study.jobs.size(); ++i) ++count[ShownState(study, i)];
  return count;
}

/// The document's head, with a reload for a study that still runs.
std::string Head(const std::string& title, bool running) {
  return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">" +
         std::string(running ? "<meta http-equiv=\"refresh\" content=\"" +
                                   std::to_string(kReportSeconds) + "\">"
                             : "") +
         "<meta name=\"viewport\" content=\"width=device-width\"><title>" + title +
         "</title><style>" + kReportStyle + "</style></head>\n";
}

/// The line under the title: still running, or how it ended.
std::string StatusLine(const Study& study, const std::map<std::string, size_t>& count,
                       bool running) {
  auto of = [&](const char* state) { return count.count(state) ? count.at(state) : 0; };
  std::string all = std::to_string(study.jobs.size());
  if (running)
    return "<p class=\"status running\">Still running: " +
           std::to_string(study.jobs.size() - of("running") - of("waiting")) + " of " + all +
           " jobs ended. This page reloads every " + std::to_string(kReportSeconds) + " s.</p>";
  size_t succeeded = of("finished") + of("reused");
  bool good = succeeded == study.jobs.size();
  return "<p class=\"status ended" + std::string(good ? "" : " bad") +
         "\">Ended: " + std::to_string(succeeded) + " of " + all + " jobs finished" +
         (good ? "" : "; " + std::to_string(study.jobs.size() - succeeded) + " did not") + ".</p>";
}

/// When and how the study ran.
std::string Facts(const Study& study, const ReportContext& context, const Times& times) {
  auto fact = [](const std::string& name, const std::string& html) {
    return html.empty() ? "" : "<dt>" + name + "</dt><dd>" + html + "</dd>";
  };
  std::string took;
  std::optional<std::time_t> from = InstantSeconds(times.started), to = InstantSeconds(times.ended);
  if (from && to) took = " (" + DurationText(std::difftime(*to, *from)) + ")";
  std::vector<std::string> hosts, arrays;
  for (const Row& r : study.rows) {
    hosts.push_back(r.host);
    arrays.push_back(r.task.substr(0, r.task.find('_')));
  }
  return "<dl class=\"facts\">" +
         fact(context.from_disk ? "made by" : "command",
              "<code>" + HtmlName(context.command) + "</code>") +
         fact("started",
              times.started.empty() ? "no job has started" : ShownInstant(times.started)) +
         fact("ended", times.ended.empty() ? "still running" : ShownInstant(times.ended) + took) +
         fact("hosts", NameList(hosts)) + fact("Slurm jobs", NameList(arrays)) +
         fact("page written", ShownInstant(context.written) +
                                  (context.from_disk ? ", from the results on disk" : "")) +
         "</dl>\n";
}

/// A button for each state that jobs are in, with its count.
std::string Counts(const std::map<std::string, size_t>& count) {
  std::string html = "<section id=\"states\"><h2>Jobs by state</h2><ul class=\"counts\">";
  for (const char* state : kShownStates) {
    auto found = count.find(state);
    if (found == count.end()) continue;
    html += "<li class=\"" + StateClass(state) + "\"><button data-state=\"" + StateClass(state) +
            "\"><span class=\"dot\"></span><b>" + std::to_string(found->second) + "</b> " + state +
            "</button></li>";
  }
  return html + "</ul></section>\n";
}

/// The timeline, and what it shows.
std::string TimelineSection(const Study& study) {
  Timeline t = DrawTimeline(study);
  std::string html = "<section id=\"timeline\"><h2>Timeline</h2>";
  if (t.runs == 0) return html + "<p class=\"note\">No job has started yet.</p></section>\n";
  std::string note = std::to_string(t.runs) + " runs on " + std::to_string(t.lanes) +
                     (t.lanes == 1 ? " lane" : " lanes") + (t.hosts > 1 ? ", by host" : "") +
                     ": each job's last attempt, from its start for its run time; hover over "
                     "a bar for its job.";
  if (t.seconds < kShortStudy)
    note += " Starts are recorded to the second, so the lanes of a study this short are "
            "approximate.";
  if (t.bars < t.runs)
    note += " Runs of one state less than a pixel apart on a lane are drawn as one bar (" +
            std::to_string(t.bars) + " bars); hover over it for how many.";
  return html + "<p class=\"note\">" + note + "</p>" + t.svg + "</section>\n";
}

/// The jobs whose figures count: those that ran and ended.
std::vector<size_t> RanJobs(const Study& study) {
  std::vector<size_t> ran;
  for (size_t i = 0; i < study.jobs.size(); ++i)
    if (study.ended[i] && study.rows[i].started && study.rows[i].state != State::kRunning)
      ran.push_back(i);
  return ran;
}

/// The run times' and peak memories' distributions.
std::string Distributions(const Study& study, const std::vector<size_t>& ran) {
  std::vector<double> seconds, mib;
  for (size_t i : ran) {
    seconds.push_back(study.rows[i].seconds);
    if (study.rows[i].max_rss_kib)
      mib.push_back(static_cast<double>(*study.rows[i].max_rss_kib) / 1024);
  }
  auto figure = [](const std::string& caption, const std::string& svg, const std::string& none) {
    return "<figure><figcaption>" + caption + "</figcaption>" +
           (svg.empty() ? "<p class=\"note\">" + none + "</p>" : svg) + "</figure>";
  };
  return "<div class=\"charts\">" +
         figure("Run time of " + std::to_string(seconds.size()) + " jobs",
                DrawHistogram(Bin(seconds, kBins), "s"), "No job has run.") +
         figure(
             mib.empty() ? "Peak memory" : "Peak memory of " + std::to_string(mib.size()) + " jobs",
             DrawHistogram(Bin(mib, kBins), "MiB"), "No record holds a job's peak memory.") +
         "</div>\n";
}

/// A small table of the jobs `picked`, with their figures.
std::string TopTable(const Study& study, const std::string& caption,
                     const std::vector<size_t>& picked) {
  std::string html = "<table><caption>" + caption +
                     "</caption><thead><tr><th>job</th>"
                     "<th>state</th><th class=\"n\">run time</th><th class=\"n\">peak memory</th>"
                     "<th class=\"n\">CPU s</th></tr></thead><tbody>";
  for (size_t i : picked) {
    const Row& r = study.rows[i];
    html += "<tr><td>" + HtmlName(study.jobs[i].path) + "</td><td class=\"st " +
            StateClass(ShownState(study, i)) + "\">" + ShownState(study, i) +
            "</td><td class=\"n\">" + DurationText(r.seconds) + "</td><td class=\"n\">" +
            MemoryText(r.max_rss_kib) + "</td><td class=\"n\">" + CpuText(r) + "</td></tr>";
  }
  return html + "</tbody></table>";
}

/// The kTop jobs of `ran` greatest by `figure`, for those that have it.
template <typename Figure>
std::vector<size_t> Greatest(const Study& study, std::vector<size_t> ran, Figure figure) {
  std::erase_if(ran, [&](size_t i) { return !figure(study.rows[i]).has_value(); });
  size_t n = std::min(kTop, ran.size());
  std::partial_sort(
      ran.begin(), ran.begin() + static_cast<long>(n), ran.end(),
      [&](size_t a, size_t b) { return *figure(study.rows[a]) > *figure(study.rows[b]); });
  ran.resize(n);
  return ran;
}

/// The slowest and the largest jobs.
std::string Tops(const Study& study, const std::vector<size_t>& ran) {
  auto slowest = Greatest(study, ran, [](const Row& r) { return std::optional(r.seconds); });
  auto largest = Greatest(study, ran, [](const Row& r) { return r.max_rss_kib; });
  return "<div class=\"tops\">" + TopTable(study, "Slowest jobs", slowest) +
         (largest.empty() ? "" : TopTable(study, "Largest jobs, by peak memory", largest)) +
         "</div>\n";
}

/// One job that did not finish: what happened, where its log is, and the
/// log's last lines, read now.
std::string UnfinishedJob(const Study& study, size_t i) {
  const Row& r = study.rows[i];
  std::string log = LogPath(study.jobs[i]);
  std::string state = ShownState(study, i);
  std::string html = "<article class=\"job " + StateClass(state) + "\"><h3><span class=\"state\">" +
                     state + "</span> " + HtmlName(study.jobs[i].path) + "</h3><p>" +
                     HtmlName(r.meaning) + "</p>";
  if (state == "not run") return html + "</article>";
  LogTail tail = ReadLogTail(log, kTailLines, kTailBytes);
  html += "<p>log: <code>" + HtmlName(log) + "</code>";
  if (!tail.problem.empty()) return html + " (" + HtmlName(tail.problem) + ")</p></article>";
  if (tail.text.empty()) return html + " (empty)</p></article>";
  return html + (tail.cut ? ", its last lines:" : "") + "</p><pre class=\"tail\">" +
         HtmlText(tail.text) + "</pre></article>";
}

/// Every job that did not finish, the first kListed with their logs.
std::string UnfinishedJobs(const Study& study) {
  std::vector<size_t> jobs;
  for (size_t i = 0; i < study.jobs.size(); ++i)
    if (Unfinished(ShownState(study, i))) jobs.push_back(i);
  std::string html = "<section id=\"unfinished\"><h2>Jobs that did not finish (" +
                     std::to_string(jobs.size()) + ")</h2>";
  if (jobs.empty()) return html + "<p class=\"note\">None.</p></section>\n";
  if (jobs.size() > kListed)
    html += "<p class=\"note\">The first " + std::to_string(kListed) + " of " +
            std::to_string(jobs.size()) + "; the table below has them all.</p>";
  for (size_t k = 0; k < jobs.size() && k < kListed; ++k) html += UnfinishedJob(study, jobs[k]);
  return html + "</section>\n";
}

}  // namespace

ReportContext ContextNow(int argc, char** argv, bool from_disk) {
  ReportContext context;
  context.command = CommandLine(argc, argv, kCommandBytes);
  context.started = context.written = InstantText(std::time(nullptr));
  context.from_disk = from_disk;
  return context;
}

bool StillRunning(const Study& study, const ReportContext& context) {
  if (!context.from_disk) return context.ended.empty();
  for (size_t i = 0; i < study.jobs.size(); ++i) {
    std::string state = ShownState(study, i);
    if (state == "running" || state == "waiting") return true;
  }
  return false;
}

std::string HtmlReport(const Study& study, const ReportContext& context) {
  bool running = StillRunning(study, context);
  Times times =
      context.from_disk ? RecordTimes(study, running) : Times{context.started, context.ended};
  std::map<std::string, size_t> count = CountStates(study);
  std::string jobs =
      std::to_string(study.jobs.size()) + (study.jobs.size() == 1 ? " job" : " jobs");
  std::vector<size_t> ran = RanJobs(study);
  return Head("kvsolver-batch: " + jobs + (running ? ", still running" : ""), running) +
         "<body><header><h1>kvsolver-batch study: " + jobs + "</h1>" +
         StatusLine(study, count, running) + Facts(study, context, times) + "</header>\n" +
         Counts(count) + TimelineSection(study) +
         "<section id=\"figures\"><h2>Run time and peak memory</h2>" + Distributions(study, ran) +
         Tops(study, ran) + "</section>\n" + UnfinishedJobs(study) + JobTable(study, count) +
         "<script>" + kReportScript + "</script></body></html>\n";
}

std::string WriteHtmlReport(const std::string& path, const Study& study,
                            const ReportContext& context) {
  return ReplaceFile(path, HtmlReport(study, context), ".kvsolver-batch-report-");
}

#include "batch/timeline.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <map>
#include <vector>

#include "batch/html_text.h"
#include "batch/job_figures.h"
#include "batch/lanes.h"

namespace {

constexpr double kWidth = 1300;  // the drawing's own units, scaled to the page
constexpr double kLeft = 130;    // room for the hosts' names
constexpr double kRight = 14;
constexpr double kTop = 4;
constexpr double kAxis = 24;
constexpr double kLanesHeight = 420;  // what the lanes share, at most
constexpr double kUnsuccessfulWidth = 4;  // pixels at least, to be seen among the others

/// A job's last attempt, in seconds since the study's first start.
struct Run {
  size_t job;
  double start;
  double end;
  size_t group;
};

/// The runs of the jobs of `study` that have a start, their hosts in the
/// order first seen, and the first start.
std::vector<Run> Runs(const Study& study, std::vector<std::string>* hosts, std::time_t* origin) {
  std::vector<std::pair<size_t, std::time_t>> started;
  for (size_t i = 0; i < study.jobs.size(); ++i)
    if (std::optional<std::time_t> t = study.rows[i].started)
      started.emplace_back(i, *t);
  *origin = started.empty() ? 0 : started.front().second;
  for (const auto& [i, t] : started) *origin = std::min(*origin, t);
  std::map<std::string, size_t> group;
  std::vector<Run> runs;
  for (const auto& [i, t] : started) {
    const Row& r = study.rows[i];
    auto [place, added] = group.try_emplace(r.host, hosts->size());
    if (added) hosts->push_back(r.host);
    double start = static_cast<double>(t - *origin);
    runs.push_back({i, start, start + std::max(r.seconds, 0.0), place->second});
  }
  if (hosts->size() == 1)
    for (Run& run : runs) run.group = 0;
  return runs;
}

/// Whether a job in `state` did well, so its bar may be as thin as a pixel.
bool Good(const std::string& state) {
  return state == "finished" || state == "reused";
}

/// One bar: the runs of one state next to each other on a lane.
struct Bar {
  size_t lane;
  std::string state;
  double x0, x1;  // in the drawing's units
  size_t first;   // the first run's job
  size_t count = 1;
  double from, to;  // seconds since the first start
  double shortest, longest;
};

/// The runs' bars, a lane's runs of one state less than a pixel apart
/// made one; the unsuccessful at least a few pixels wide, beside the bar
/// before them, and last, so they are drawn on top.
std::vector<Bar> Bars(const Study& study, const std::vector<Run>& runs, const Lanes& lanes,
                      double span, double pixel) {
  std::vector<size_t> order(runs.size());
  for (size_t k = 0; k < runs.size(); ++k) order[k] = k;
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return std::pair(lanes.lane[a], lanes.start[a]) < std::pair(lanes.lane[b], lanes.start[b]);
  });
  double scale = (kWidth - kLeft - kRight) / span;
  std::vector<Bar> bars;
  for (size_t k : order) {
    std::string state = ShownState(study, runs[k].job);
    double seconds = runs[k].end - runs[k].start;
    double start = lanes.start[k], end = start + seconds;
    Bar* last = bars.empty() || bars.back().lane != lanes.lane[k] ? nullptr : &bars.back();
    double x0 = kLeft + start * scale;
    if (!Good(state) && last != nullptr) x0 = std::max(x0, last->x1);  // beside, not under
    double least = Good(state) ? pixel : kUnsuccessfulWidth * pixel;
    double x1 = std::max(kLeft + end * scale, x0 + least);
    if (last != nullptr && last->state == state && x0 <= last->x1 + pixel) {
      last->x1 = std::max(last->x1, x1);
      last->to = std::max(last->to, end);
      last->shortest = std::min(last->shortest, seconds);
      last->longest = std::max(last->longest, seconds);
      ++last->count;
      continue;
    }
    bars.push_back({lanes.lane[k], state, x0, x1, runs[k].job, 1, start, end, seconds, seconds});
  }
  std::stable_partition(bars.begin(), bars.end(), [](const Bar& bar) { return Good(bar.state); });
  return bars;
}

/// What hovering over `bar` tells.
std::string BarTitle(const Study& study, const Bar& bar, std::time_t origin) {
  auto at = [&](double t) { return ShownInstant(InstantText(origin + std::time_t(t))); };
  if (bar.count > 1)
    return std::to_string(bar.count) + " jobs " + bar.state + ", " + at(bar.from) + " to " +
           at(bar.to) + ", run times " + DurationText(bar.shortest) + " to " +
           DurationText(bar.longest);
  const Row& r = study.rows[bar.first];
  std::string memory = MemoryText(r.max_rss_kib);
  return HtmlName(study.jobs[bar.first].path) + ": " + bar.state + ", " + DurationText(r.seconds) +
         (memory.empty() ? "" : ", peak " + memory) + ", started " + ShownInstant(r.StartedText()) +
         (r.host.empty() ? "" : " on " + HtmlName(r.host));
}

/// The time since the first start, as the axis labels it: "2:05", "1:02:05".
std::string ElapsedText(double seconds) {
  long t = std::lround(seconds);
  char text[48];
  if (t < 3600)
    std::snprintf(text, sizeof text, "%ld:%02ld", t / 60, t % 60);
  else
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", t / 3600, t / 60 % 60, t % 60);
  return text;
}

/// The time axis under lanes `height` high for `span` seconds, with at
/// most about ten labelled ticks at a step that reads well.
std::string Axis(double span, double height) {
  double step = 1;
  for (double s : {1,   2,    5,    10,   15,    30,    60,    120,   300,    600,
                   900, 1800, 3600, 7200, 10800, 21600, 43200, 86400, 172800, 604800}) {
    step = s;
    if (span / s <= 10) break;
  }
  double scale = (kWidth - kLeft - kRight) / span;
  std::string svg;
  for (double t = 0; t <= span + 1e-9; t += step) {
    std::string x = Fixed(kLeft + t * scale, 1);
    svg += "<line class=\"grid\" x1=\"" + x + "\" x2=\"" + x + "\" y1=\"" + Fixed(kTop, 0) +
           "\" y2=\"" + Fixed(kTop + height + 4, 0) + "\"/><text class=\"tick\" x=\"" + x +
           "\" y=\"" + Fixed(kTop + height + 17, 0) + "\">" + ElapsedText(t) + "</text>";
  }
  return svg;
}

/// The hosts' names beside their lanes, and a line between two hosts.
std::string HostLabels(const std::vector<std::string>& hosts, const Lanes& lanes, double lane) {
  std::string svg;
  for (size_t g = 0; g < lanes.first.size(); ++g) {
    size_t end = g + 1 < lanes.first.size() ? lanes.first[g + 1] : lanes.count;
    if (end == lanes.first[g]) continue;
    double top = kTop + static_cast<double>(lanes.first[g]) * lane;
    double middle = top + static_cast<double>(end - lanes.first[g]) * lane / 2;
    svg += "<text class=\"host\" x=\"" + Fixed(kLeft - 8, 0) + "\" y=\"" + Fixed(middle + 4, 1) +
           "\">" + HtmlName(hosts[g].empty() ? "(no host)" : hosts[g]) + "</text>";
    if (g > 0)
      svg += "<line class=\"split\" x1=\"0\" x2=\"" + Fixed(kWidth, 0) + "\" y1=\"" +
             Fixed(top, 1) + "\" y2=\"" + Fixed(top, 1) + "\"/>";
  }
  return svg;
}

}  // namespace

Timeline DrawTimeline(const Study& study) {
  Timeline timeline;
  std::vector<std::string> hosts;
  std::time_t origin = 0;
  std::vector<Run> runs = Runs(study, &hosts, &origin);
  if (runs.empty()) return timeline;
  std::vector<Span> spans;
  for (const Run& run : runs) spans.push_back({run.start, run.end, run.group});
  Lanes lanes = LayOutLanes(spans, 1.0);
  double span = 1;
  for (size_t k = 0; k < runs.size(); ++k)
    span = std::max(span, lanes.start[k] + runs[k].end - runs[k].start);
  double lane = std::clamp(std::floor(kLanesHeight / static_cast<double>(lanes.count)), 2.0, 18.0);
  double height = lane * static_cast<double>(lanes.count);
  double gap = lane >= 8 ? 2 : 0;
  std::vector<Bar> bars = Bars(study, runs, lanes, span, 1.0);
  std::string svg = "<svg class=\"timeline\" viewBox=\"0 0 " + Fixed(kWidth, 0) + " " +
                    Fixed(kTop + height + kAxis, 0) + "\" role=\"img\">" + Axis(span, height) +
                    HostLabels(hosts, lanes, lane);
  for (const Bar& bar : bars)
    svg += "<rect class=\"" + StateClass(bar.state) + "\" x=\"" + Fixed(bar.x0, 1) + "\" y=\"" +
           Fixed(kTop + static_cast<double>(bar.lane) * lane + gap / 2, 1) + "\" width=\"" +
           Fixed(bar.x1 - bar.x0, 1) + "\" height=\"" + Fixed(lane - gap, 1) + "\"><title>" +
           BarTitle(study, bar, origin) + "</title></rect>";
  timeline.svg = svg + "</svg>";
  timeline.runs = runs.size();
  timeline.bars = bars.size();
  timeline.lanes = lanes.count;
  timeline.hosts = hosts.size();
  timeline.seconds = span;
  return timeline;
}

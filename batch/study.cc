#include "batch/study.h"

#include <unistd.h>

#include <utility>

#include "batch/job_figures.h"

std::optional<Result> ReadJobResult(const Job& job) {
  int dirfd = OpenDirectory(job);
  if (dirfd < 0) return std::nullopt;
  std::optional<Result> result = ReadResult(dirfd, job.result());
  close(dirfd);
  return result;
}

Row Row::Of(const Result& result) {
  Row row;
  row.state = result.state;
  row.attempts = result.attempts;
  row.return_value = result.return_value;
  row.seconds = result.seconds;
  row.started = InstantSeconds(result.started);
  row.max_rss_kib = result.max_rss_kib;
  row.user_seconds = result.user_seconds;
  row.system_seconds = result.system_seconds;
  row.meaning = result.meaning;
  row.host = SharedText(result.host);
  row.task = result.task;
  return row;
}

std::string Row::StartedText() const { return started ? InstantText(*started) : ""; }

Study::Study(std::vector<Job> all)
    : jobs(std::move(all)),
      rows(jobs.size()),
      started(jobs.size(), false),
      ended(jobs.size(), false) {}

const std::vector<std::string>& Study::ParametersOf(size_t i) const {
  static const std::vector<std::string> kNone;
  return i < parameters.size() ? parameters[i] : kNone;
}

void Study::Start(size_t i) {
  if (started[i] || ended[i]) return;
  started[i] = true;
  ++running;
}

void Study::End(size_t i, const Result& result) {
  if (ended[i]) return;
  if (started[i]) --running;
  ended[i] = true;
  ++ended_count;
  if (!Succeeded(result.state)) ++unsuccessful;
  if (result.state != State::kNotRun && result.state != State::kReused && result.seconds > 0) {
    run_seconds += result.seconds;
    ++run_count;
  }
  rows[i] = Row::Of(result);
}

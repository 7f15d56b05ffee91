#include "batch/study.h"

#include <unistd.h>

#include <utility>

std::optional<Result> ReadJobResult(const Job& job) {
  int dirfd = OpenDirectory(job);
  if (dirfd < 0) return std::nullopt;
  std::optional<Result> result = ReadResult(dirfd, job.result());
  close(dirfd);
  return result;
}

Study::Study(std::vector<Job> all)
    : jobs(std::move(all)),
      results(jobs.size()),
      started(jobs.size(), false),
      ended(jobs.size(), false),
      parameters(jobs.size()) {
  for (size_t i = 0; i < jobs.size(); ++i) results[i].log = LogPath(jobs[i]);
}

void Study::Start(size_t i) {
  if (started[i] || ended[i]) return;
  started[i] = true;
  ++running;
}

void Study::End(size_t i, Result result) {
  if (ended[i]) return;
  if (started[i]) --running;
  ended[i] = true;
  ++ended_count;
  if (!Succeeded(result.state)) ++unsuccessful;
  // The log is the study's own: a record read back may name it lossily.
  result.log = results[i].log;
  if (result.state != State::kNotRun && result.state != State::kReused && result.seconds > 0) {
    run_seconds += result.seconds;
    ++run_count;
  }
  results[i] = std::move(result);
}

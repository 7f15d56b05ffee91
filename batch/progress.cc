#include "batch/progress.h"

#include <unistd.h>

#include <cstdio>

#include "batch/outcome.h"

void InitProgress(Progress* progress, const std::vector<Job>& jobs) {
  progress->terminal = isatty(STDERR_FILENO) != 0;
  progress->start = std::chrono::steady_clock::now();
  progress->ended.assign(jobs.size(), false);
  progress->failed = 0;
}

void UpdateProgress(Progress* progress, const std::vector<Job>& jobs) {
  size_t ended = 0, running = 0;
  for (size_t i = 0; i < jobs.size(); ++i) {
    if (!progress->ended[i] && HasResult(jobs[i])) {
      std::optional<Outcome> outcome = ReadOutcome(jobs[i]);
      if (!outcome) continue;
      progress->ended[i] = true;
      if (!Succeeded(*outcome)) ++progress->failed;
      if (!progress->terminal)
        std::fprintf(stderr, "kvsolver-batch: %s: %s, %s (%.1f s)\n", jobs[i].path.c_str(),
                     ReturnValueText(*outcome).c_str(), Meaning(*outcome).c_str(),
                     outcome->seconds);
    }
    if (progress->ended[i])
      ++ended;
    else if (access(jobs[i].log.c_str(), F_OK) == 0)
      ++running;
  }
  if (progress->terminal) {
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - progress->start;
    std::fprintf(stderr, "\r\033[Kkvsolver-batch: %zu done, %zu failed, %zu running, of %zu; %.0f s",
                 ended, progress->failed, running, jobs.size(), elapsed.count());
  }
  std::fflush(stderr);
}

void EndProgress(Progress* progress, const std::vector<Job>& jobs) {
  UpdateProgress(progress, jobs);
  if (progress->terminal) std::fputc('\n', stderr);
}

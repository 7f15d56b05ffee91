// The batch's progress on standard error: one live line on a terminal,
// otherwise a line for each job as it ends.
#ifndef KVSOLVER_BATCH_PROGRESS_H_
#define KVSOLVER_BATCH_PROGRESS_H_

#include <chrono>
#include <vector>

#include "batch/jobs.h"

/// What has been shown so far.
struct Progress {
  bool terminal;
  std::chrono::steady_clock::time_point start;
  std::vector<bool> ended;  ///< by job: its end was counted
  size_t failed;
};

/// Starts the progress of `jobs`.
void InitProgress(Progress* progress, const std::vector<Job>& jobs);

/// Looks at the jobs' files and shows what changed.
void UpdateProgress(Progress* progress, const std::vector<Job>& jobs);

/// Ends the live line, if there is one.
void EndProgress(Progress* progress, const std::vector<Job>& jobs);

#endif  // KVSOLVER_BATCH_PROGRESS_H_

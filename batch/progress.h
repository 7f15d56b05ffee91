// The batch's progress on standard error: on a terminal one live line with
// an estimate of the time left, otherwise a line for each job as it ends.
#ifndef KVSOLVER_BATCH_PROGRESS_H_
#define KVSOLVER_BATCH_PROGRESS_H_

#include <chrono>

#include "batch/study.h"

/// What has been shown so far.
class Progress {
 public:
  /// Shows the progress of `study`, run `parallel` jobs at a time.
  Progress(const Study& study, size_t parallel);

  /// Shows that job `i` has ended.
  void JobEnded(size_t i);

  /// Redraws the live line, if there is one.
  void Tick();

  /// Ends the live line, if there is one, with the counts of the jobs that
  /// ended, did not finish and never started; says them also when the
  /// batch was stopped.
  void End();

 private:
  const Study& study_;
  size_t parallel_;
  bool terminal_;
  std::chrono::steady_clock::time_point start_;
};

#endif  // KVSOLVER_BATCH_PROGRESS_H_

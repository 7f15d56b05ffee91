// A batch's jobs and what has become of each: the records that the engine
// fills in as tasks report, and that the progress line, the summary and
// the table read.
#ifndef KVSOLVER_BATCH_STUDY_H_
#define KVSOLVER_BATCH_STUDY_H_

#include <string>
#include <vector>

#include "batch/jobs.h"
#include "batch/result.h"

/// The .result file in `job`'s directory; nothing when there is none, it
/// does not parse, or the directory can't be opened.
std::optional<Result> ReadJobResult(const Job& job);

/// The jobs of a batch and their results so far.
struct Study {
  std::vector<Job> jobs;
  std::vector<Result> results;  ///< by job; final once it has ended
  std::vector<bool> started;    ///< an attempt of it has begun
  std::vector<bool> ended;      ///< its result is final
  size_t ended_count = 0;
  size_t unsuccessful = 0;      ///< ended in a state other than finished or reused
  double run_seconds = 0;       ///< run time of the ended jobs that ran
  size_t run_count = 0;
  size_t running = 0;           ///< started and not ended
  /// The study's parameter columns, and by job its values (empty ones for
  /// a job no case table names); JoinParameters fills them in.
  std::vector<std::string> parameter_columns;
  std::vector<std::vector<std::string>> parameters;

  /// Starts the study of `jobs`, none of them run.
  explicit Study(std::vector<Job> all);

  /// Records that an attempt of job `i` began.
  void Start(size_t i);

  /// Records job `i`'s final result with the job's own log path, whatever
  /// log the result names; a second one for the same job is ignored.
  void End(size_t i, Result result);

  /// Whether every job ended finished or reused.
  bool AllSucceeded() const { return ended_count == jobs.size() && unsuccessful == 0; }
};

#endif  // KVSOLVER_BATCH_STUDY_H_

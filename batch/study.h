// A batch's jobs and what has become of each: the records that the engine
// fills in as tasks report, and that the progress line, the summary and
// the table read.
#ifndef KVSOLVER_BATCH_STUDY_H_
#define KVSOLVER_BATCH_STUDY_H_

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "batch/jobs.h"
#include "batch/result.h"
#include "batch/shared_text.h"

/// The .result file in `job`'s directory; nothing when there is none, it
/// does not parse, or the directory can't be opened.
std::optional<Result> ReadJobResult(const Job& job);

/// What a study keeps of a job's result: what the table, the summaries,
/// the progress line and the report show, in few bytes. The rest of the
/// record (its hashes, token and earlier attempts) stays in the .result
/// file, and the log's path is the job's own (LogPath).
struct Row {
  State state = State::kNotRun;
  int attempts = 0;
  std::optional<int> return_value;
  double seconds = 0;                  ///< the last attempt's run time
  std::optional<std::time_t> started;  ///< its start; none: not run
  std::optional<long long> max_rss_kib;
  std::optional<double> user_seconds;
  std::optional<double> system_seconds;
  std::string meaning;
  SharedText host;   ///< one of few, kept once
  std::string task;  ///< the cluster task that ran it, if one did

  /// Its start as results write an instant, or empty when it did not run.
  std::string StartedText() const;

  /// The row of `result`.
  static Row Of(const Result& result);
};

/// The jobs of a batch and their results so far.
struct Study {
  std::vector<Job> jobs;
  std::vector<Row> rows;        ///< by job; final once it has ended
  std::vector<bool> started;    ///< an attempt of it has begun
  std::vector<bool> ended;      ///< its result is final
  size_t ended_count = 0;
  size_t unsuccessful = 0;      ///< ended in a state other than finished or reused
  double run_seconds = 0;       ///< run time of the ended jobs that ran
  size_t run_count = 0;
  size_t running = 0;           ///< started and not ended
  /// The study's parameter columns, and by job its values (empty ones for
  /// a job no case table names); JoinParameters fills them in. A study
  /// with no columns holds no values either.
  std::vector<std::string> parameter_columns;
  std::vector<std::vector<std::string>> parameters;

  /// Job `i`'s parameter values, one for each column.
  const std::vector<std::string>& ParametersOf(size_t i) const;

  /// Starts the study of `jobs`, none of them run.
  explicit Study(std::vector<Job> all);

  /// Records that an attempt of job `i` began.
  void Start(size_t i);

  /// Records job `i`'s final result; a second one for the same job is
  /// ignored.
  void End(size_t i, const Result& result);

  /// Whether every job ended finished or reused.
  bool AllSucceeded() const { return ended_count == jobs.size() && unsuccessful == 0; }
};

#endif  // KVSOLVER_BATCH_STUDY_H_

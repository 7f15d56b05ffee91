// One task of a batch: a directory's jobs, run one after the other, since
// they share the directory's command stream, under a lock on the directory
// that keeps any other batch out of it meanwhile.
#ifndef KVSOLVER_BATCH_TASK_H_
#define KVSOLVER_BATCH_TASK_H_

#include <string>
#include <vector>

#include "batch/jobs.h"
#include "batch/spawn.h"

/// What every task of a batch is told.
struct TaskSettings {
  std::string launcher;         ///< the launcher's absolute path
  std::string model;            ///< the model for solver scripts
  std::string batch;            ///< the batch's token, kept in each result
  std::string host;             ///< this machine's short name
  bool resume = false;          ///< keep finished results whose files are unchanged
  int retries = 0;              ///< further attempts of a job that may pass next time
  std::vector<int> retry_on;    ///< return values that are retried too
  Limits limits;                ///< --timeout and --kill-after
  // On a cluster's node only.
  std::string task;             ///< the cluster task ("JOBID_INDEX"), kept in results
  std::string output;           ///< that task's output file, kept in results
  /// A job stopped by a signal leaves its result saying "running", for the
  /// batch to ask Slurm what became of it.
  bool mark_running = false;
};

/// Runs the jobs `indexes` of `jobs` (all of one directory) in order, each
/// with its output in its .log and its Result in its .result, and reports
/// to `report` (-1 for nowhere) as they go: "S INDEX\n" when an attempt
/// starts, "R INDEX JSON\n" when a job has its result. While an attempt
/// runs, the job's .result says "running" and its log is a file of its own,
/// created anew; the hashes kept are those of its files as the run read them. After a stop signal
/// the running job is stopped and no other starts; after SIGUSR1 the
/// running job ends as it will and no other starts. A job that already has
/// a result of this batch (its task was started again) is not run again.
/// Returns false when a report could not be written.
bool RunTask(const TaskSettings& settings, const std::vector<Job>& jobs,
             const std::vector<size_t>& indexes, int report);

/// This machine's name, up to its first dot, as results name it.
std::string ShortHostName();

/// The meaning of the jobs of a directory another batch holds.
constexpr char kDirectoryInUse[] = "directory in use by another batch";

#endif  // KVSOLVER_BATCH_TASK_H_

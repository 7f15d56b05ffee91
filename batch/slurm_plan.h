// How a study becomes Slurm job arrays: directories packed into tasks,
// tasks split into arrays within the site's limit, the task list the
// nodes read, and each array's script and sbatch command line.
#ifndef KVSOLVER_BATCH_SLURM_PLAN_H_
#define KVSOLVER_BATCH_SLURM_PLAN_H_

#include <string>
#include <vector>

#include "batch/study.h"
#include "batch/task.h"

/// How a study is submitted.
struct SlurmSettings {
  std::string self;                  ///< this program, as the nodes run it
  std::string folder;                ///< the batch's folder: task lists, scripts, outputs
  std::string job_name = "kvsolver-batch";
  size_t throttle = 0;               ///< tasks of the study at once; 0: as Slurm allows
  size_t per_task = 1;               ///< directories one task runs
  std::string prologue;              ///< shell lines each task runs first
  std::vector<std::string> options;  ///< passed on to sbatch
  double latency_wait = 5;           ///< seconds to look for a result after its task ended
};

/// One array: the tasks [first, first + count) of a round.
struct ArrayPlan {
  size_t first = 0;
  size_t count = 0;
};

/// The tasks of a round: each the directories (indexes into `groups`) it
/// runs, `per_task` of them in order.
std::vector<std::vector<size_t>> PackTasks(size_t groups, size_t per_task);

/// `tasks` tasks split into arrays of at most `max_array_size` each.
std::vector<ArrayPlan> SplitArrays(size_t tasks, size_t max_array_size);

/// The task list of a round: what every task is told, and each task's
/// directories (absolute, as the nodes see them) with their jobs and the
/// attempts earlier rounds made of each.
std::string TaskList(const TaskSettings& settings, const std::string& folder,
                     const Study& study, const std::vector<std::vector<size_t>>& groups,
                     const std::vector<int>& attempts_made,
                     const std::vector<std::vector<size_t>>& tasks);

/// The batch script of an array whose first task is `first` of list `list`.
std::string ArrayScript(const SlurmSettings& slurm, const std::string& list, size_t first);

/// sbatch's arguments for array `plan`, run after the array `after` (a job
/// id, or empty) when the study is throttled.
std::vector<std::string> SbatchArguments(const SlurmSettings& slurm, const ArrayPlan& plan,
                                         const std::string& after, const std::string& script);

/// `text` as one word of a shell command, whatever it holds.
std::string ShellWord(const std::string& text);

#endif  // KVSOLVER_BATCH_SLURM_PLAN_H_

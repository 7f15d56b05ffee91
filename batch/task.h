// One task of a batch: a directory's jobs, run one after the other, since
// they share the directory's command stream. Locally and on a cluster
// alike, a task is a kvsolver-batch of its own, started with --task.
#ifndef KVSOLVER_BATCH_TASK_H_
#define KVSOLVER_BATCH_TASK_H_

#include <string>
#include <vector>

#include "batch/jobs.h"

/// Runs `jobs` (all in one directory) in order with `launcher`, each with
/// its output in its .log and how it ended in its .result. After a stop
/// signal, the running job is sent SIGTERM and waited for, and no other
/// starts.
void RunTask(const std::string& launcher, const std::string& model,
             const std::vector<Job>& jobs);

/// The arguments that start the task for `jobs` as a kvsolver-batch of its
/// own: `self` --task [--model MODEL] -- JOB...
std::vector<std::string> TaskArguments(const std::string& self, const std::string& model,
                                       const std::vector<Job>& jobs);

#endif  // KVSOLVER_BATCH_TASK_H_

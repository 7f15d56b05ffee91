// One array task on a cluster's node: the directories its task list gives
// it, each run as a task of its own, one after the other.
#ifndef KVSOLVER_BATCH_CLUSTER_TASK_H_
#define KVSOLVER_BATCH_CLUSTER_TASK_H_

#include <string>

/// Runs task `offset` + SLURM_ARRAY_TASK_ID of task list `path`. When the
/// site's prologue failed with `prologue_status` (not 0), runs nothing and
/// leaves each job a lost result that says so. Returns the exit status.
int RunClusterTask(const std::string& path, size_t offset, int prologue_status);

#endif  // KVSOLVER_BATCH_CLUSTER_TASK_H_

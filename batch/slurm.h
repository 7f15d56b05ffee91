// Running a batch's tasks as a Slurm job array. The job directories must
// be on a file system that the cluster's nodes share: each task runs where
// its jobs lie and leaves their results there, where they are collected.
#ifndef KVSOLVER_BATCH_SLURM_H_
#define KVSOLVER_BATCH_SLURM_H_

#include <string>
#include <vector>

#include "batch/monitor.h"
#include "batch/task.h"

/// How the array is submitted.
struct SlurmSettings {
  std::string self;                  ///< this program, as the nodes run it
  std::string folder;                ///< the batch's folder: task lists and outputs
  size_t throttle = 0;               ///< tasks at once; 0: as Slurm allows
  std::vector<std::string> options;  ///< passed on to sbatch
};

/// Submits one array task per directory (`groups`) with sbatch and waits
/// for the array, handing each job's result to `monitor`; after a stop
/// signal the array is cancelled. Returns an empty text, or why the array
/// could not be submitted.
std::string RunOnSlurm(const TaskSettings& settings, const SlurmSettings& slurm,
                       const std::vector<std::vector<size_t>>& groups, Monitor* monitor);

/// Runs, on a node, array task SLURM_ARRAY_TASK_ID of the task list
/// `path`. Returns the exit status for the task.
int RunClusterTask(const std::string& path);

#endif  // KVSOLVER_BATCH_SLURM_H_

// Running a batch's tasks as one Slurm job array. The job directories must
// be on a file system that the cluster's nodes share: each task runs where
// its jobs lie and leaves their results there, where they are collected.
#ifndef KVSOLVER_BATCH_SLURM_H_
#define KVSOLVER_BATCH_SLURM_H_

#include <string>
#include <vector>

#include "batch/jobs.h"

/// Submits one array task per directory with sbatch (throttled to
/// `throttle` at once when it is not 0, with `options` passed on) and
/// waits for the array, showing the progress; after a stop signal the
/// array is cancelled with scancel. Returns false when it could not be
/// submitted.
bool RunOnSlurm(const std::string& self, const std::string& launcher, const std::string& model,
                const std::vector<Job>& jobs, const std::vector<std::vector<size_t>>& groups,
                size_t throttle, const std::vector<std::string>& options);

#endif  // KVSOLVER_BATCH_SLURM_H_

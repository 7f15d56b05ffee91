// Running a batch's tasks as Slurm job arrays, and following them. The job
// directories must be on a file system that the cluster's nodes share:
// each task runs where its jobs lie and leaves their results there, where
// they are collected.
#ifndef KVSOLVER_BATCH_SLURM_H_
#define KVSOLVER_BATCH_SLURM_H_

#include <cstdio>
#include <string>
#include <vector>

#include "batch/monitor.h"
#include "batch/slurm_plan.h"
#include "batch/task.h"

/// How a study on the cluster ended for this program.
enum class SlurmEnd {
  kDone,      ///< every job has its result
  kDetached,  ///< submitted, and left to run (--detach, or SIGHUP)
  kFailed,    ///< could not be submitted; nothing of it is left queued
};

/// Submits the directories `groups` as array tasks and follows them to
/// their end, handing each job's result to `monitor`, submitting again
/// the jobs whose tasks died while --retries allows. SIGINT and SIGTERM
/// cancel the arrays; SIGHUP, or `detach`, leaves them running and prints
/// the command that collects the study. `*why` says why it failed.
SlurmEnd RunOnSlurm(const TaskSettings& settings, const SlurmSettings& slurm,
                    const std::vector<std::vector<size_t>>& groups, bool detach,
                    Monitor* monitor, std::string* why);

/// Prints the arrays a run would submit: each one's index range, each
/// task's directories and the sbatch command line.
bool PrintSlurmPlan(const SlurmSettings& slurm, const Study& study,
                    const std::vector<std::vector<size_t>>& groups, FILE* out);

#endif  // KVSOLVER_BATCH_SLURM_H_

// Looking at a batch without running it: the plan of what a run would do,
// and the results that earlier runs left on disk.
#ifndef KVSOLVER_BATCH_PLAN_H_
#define KVSOLVER_BATCH_PLAN_H_

#include <cstdio>
#include <string>
#include <vector>

#include "batch/study.h"

/// What a plan is printed with.
struct PlanView {
  std::string model;            ///< --model
  bool resume = false;          ///< --resume: a job whose result is kept is reused
  bool launcher_starts = true;  ///< false: every job run would fail
  bool tasks_numbered = true;   ///< false: Slurm's plan numbers the tasks
};

/// Prints each directory's jobs in order, as a numbered task or under the
/// directory's name, and whether a run would keep a job's result or run
/// it, and why a job run would fail, then the counts: to run, to reuse,
/// that would fail. Reads only.
bool PrintPlan(const Study& study, const std::vector<std::vector<size_t>>& groups,
               const PlanView& view, FILE* out);

/// Fills `*study` with the results on disk: each job's latest result, or
/// not run when it has none; a finished one whose files (with `model` for
/// solver scripts) changed since is outdated.
void ReadResults(Study* study, const std::string& model);

#endif  // KVSOLVER_BATCH_PLAN_H_

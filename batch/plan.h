// Looking at a batch without running it: the plan of what a run would do,
// and the results that earlier runs left on disk.
#ifndef KVSOLVER_BATCH_PLAN_H_
#define KVSOLVER_BATCH_PLAN_H_

#include <cstdio>
#include <string>
#include <vector>

#include "batch/study.h"

/// Prints each directory's task with its jobs in order and whether a run
/// would keep a job's result (`resume`) or run it, and why a job run would
/// fail (every one when `launcher_starts` is false), then the counts: to
/// run, to reuse, that would fail. Reads only.
bool PrintPlan(const Study& study, const std::vector<std::vector<size_t>>& groups,
               const std::string& model, bool resume, bool launcher_starts, FILE* out);

/// Fills `*study` with the results on disk: each job's latest result, or
/// not run when it has none; a finished one whose files (with `model` for
/// solver scripts) changed since is outdated.
void ReadResults(Study* study, const std::string& model);

#endif  // KVSOLVER_BATCH_PLAN_H_

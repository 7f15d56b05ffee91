// Running a batch's tasks on this machine.
#ifndef KVSOLVER_BATCH_LOCAL_H_
#define KVSOLVER_BATCH_LOCAL_H_

#include <vector>

#include "batch/monitor.h"
#include "batch/task.h"

/// How many tasks may run, and when to stop starting them.
struct Pace {
  size_t parallel = 1;   ///< tasks at once
  size_t max_fails = 0;  ///< start nothing new after this many unsuccessful jobs; 0: never
};

/// Runs each directory's jobs (`groups`: job indexes by directory) in
/// tasks, processes of their own, at most `pace.parallel` at once, each
/// running one group after another as it is given them; a task that ends
/// early is replaced. Hands every job's result to `monitor` as its task
/// reports it. After a stop signal
/// no task starts and the running ones are stopped; every job without a
/// result at the end is given one.
void RunLocally(const TaskSettings& settings, const std::vector<std::vector<size_t>>& groups,
                const Pace& pace, Monitor* monitor);

#endif  // KVSOLVER_BATCH_LOCAL_H_

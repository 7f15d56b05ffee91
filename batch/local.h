// Running a batch's tasks on this machine.
#ifndef KVSOLVER_BATCH_LOCAL_H_
#define KVSOLVER_BATCH_LOCAL_H_

#include <string>
#include <vector>

#include "batch/jobs.h"

/// Runs each directory's task as a process of its own, at most `parallel`
/// at once, showing the progress, until all have ended; after a stop
/// signal no task starts and the running ones are sent SIGTERM and waited
/// for. Returns false when a task could not be started.
bool RunLocally(const std::string& self, const std::string& model, const std::vector<Job>& jobs,
                const std::vector<std::vector<size_t>>& groups, size_t parallel);

#endif  // KVSOLVER_BATCH_LOCAL_H_

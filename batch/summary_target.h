// Where --summary may go: a file the batch replaces whole, again and
// again, so never one the study reads, nor anything but a file.
#ifndef KVSOLVER_BATCH_SUMMARY_TARGET_H_
#define KVSOLVER_BATCH_SUMMARY_TARGET_H_

#include <string>
#include <vector>

#include "batch/jobs.h"

/// The files a study reads, as paths: each job's file and its model (the
/// file its first line names, or `model` for a solver script, in the job's
/// directory), and `lists`, the -a files ("-": standard input).
std::vector<std::string> StudyInputs(const std::vector<Job>& jobs, const std::string& model,
                                     const std::vector<std::string>& lists);

/// Why the summary can't go to `path`: something other than a regular file
/// is there (a directory, a device, a FIFO, a symbolic link), or a file of
/// `inputs`, by any name. Empty when it may: nothing is there, or a file
/// of none of them.
std::string SummaryTargetProblem(const std::string& path, const std::vector<std::string>& inputs);

#endif  // KVSOLVER_BATCH_SUMMARY_TARGET_H_

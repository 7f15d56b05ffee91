// What a batch checks before it runs anything: that the launcher can start
// at all, and that each job names a model that is there.
#ifndef KVSOLVER_BATCH_PREFLIGHT_H_
#define KVSOLVER_BATCH_PREFLIGHT_H_

#include <string>

#include "batch/jobs.h"

/// Why `launcher` can't start at all, or empty. It is run once with
/// --version, which solves nothing, in a scratch directory of its own;
/// exit status 126 or 127 (a program the system can't execute, or can't
/// load with its libraries) is a launcher that can't start, and its output's
/// first line says why. A check that can't be made finds no problem.
std::string LauncherProblem(const std::string& launcher);

/// Why `job` in directory `dirfd` would fail before it solves, or empty:
/// its command file names no model, or the model it names (`model` for a
/// solver script) is no file there.
std::string JobProblem(int dirfd, const Job& job, const std::string& model);

#endif  // KVSOLVER_BATCH_PREFLIGHT_H_

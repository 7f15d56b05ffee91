// What a job's run depends on, by content: its command file and its model
// file. --resume keeps a finished result only while both are unchanged.
#ifndef KVSOLVER_BATCH_INPUTS_H_
#define KVSOLVER_BATCH_INPUTS_H_

#include <optional>
#include <string>

#include "batch/jobs.h"
#include "batch/result.h"

/// The contents of a job's two files, each as a hash, "missing" or "none".
struct Inputs {
  std::string job_hash;
  std::string model_hash;
};

/// Hashes the files that a run of `job` in directory `dirfd` reads: the
/// command file the launcher picks (NAME.kcf before NAME.acf), and the
/// model named by its first line, or `model` for a solver script.
Inputs HashInputs(int dirfd, const Job& job, const std::string& model);

/// Whether --resume keeps `earlier` for a job whose files are `now`: it
/// finished, and neither file has changed since, by content.
bool KeepsResult(const std::optional<Result>& earlier, const Inputs& now);

#endif  // KVSOLVER_BATCH_INPUTS_H_

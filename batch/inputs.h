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
  /// The command file holds what the line-end converter rewrites: a
  /// carriage return or a byte-order mark.
  bool convertible = false;
};

/// The command file a run of `job` in directory `dirfd` reads: NAME.kcf
/// before NAME.acf, or the solver script.
std::string CommandFile(int dirfd, const Job& job);

/// The model that command file `file` in `dirfd` names, read as the
/// launcher reads it (its byte-order mark passed over, UTF-16LE decoded,
/// a CRLF line end as the converter leaves it); empty when it names none or
/// can't be read.
std::string ModelNamed(int dirfd, const std::string& file);

/// The file a run of `job` in `dirfd` reads its model from: the one its
/// command file names, or `model` for a solver script; empty for none.
std::string ModelFile(int dirfd, const Job& job, const std::string& model);

/// Hashes the files that a run of `job` in directory `dirfd` reads: its
/// command file, and the model that file names, or `model` for a solver
/// script.
Inputs HashInputs(int dirfd, const Job& job, const std::string& model);

/// The files of `after` that are not as they were in `before`, by name
/// ("job.kcf", "beam.kmd"), joined with " and "; empty when none changed.
std::string ChangedFiles(int dirfd, const Job& job, const std::string& model,
                         const Inputs& before, const Inputs& after);

/// Whether --resume keeps `earlier` for a job whose files are `now`: it
/// finished, and neither file has changed since, by content.
bool KeepsResult(const std::optional<Result>& earlier, const Inputs& now);

/// Makes a finished `*earlier` of `job` outdated when --resume would run
/// the job again (KeepsResult), its meaning naming the files changed since.
void MarkOutdated(int dirfd, const Job& job, const std::string& model, Result* earlier);

#endif  // KVSOLVER_BATCH_INPUTS_H_

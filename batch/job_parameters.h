// The parameters of a study's jobs, from the tables of cases that
// --make-cases writes (OUTDIR/cases.tsv): joined to the jobs here, once,
// for the table, the summaries and the report alike.
#ifndef KVSOLVER_BATCH_JOB_PARAMETERS_H_
#define KVSOLVER_BATCH_JOB_PARAMETERS_H_

#include <string>
#include <vector>

#include "batch/study.h"

/// Gives each job of `*study` the parameters of its directory: from the
/// case tables `tables` (--parameters), and from the cases.tsv in the
/// parent of each job's directory when it names that directory. A table's
/// first column names case directories beside it; a directory is matched
/// on disk, however the job's path spells it. Returns an empty text, or
/// why one of `tables` can't be read.
std::string JoinParameters(const std::vector<std::string>& tables, Study* study);

#endif  // KVSOLVER_BATCH_JOB_PARAMETERS_H_

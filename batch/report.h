// The batch's results: a table on standard output, and the same rows as
// tab-separated values for other programs.
#ifndef KVSOLVER_BATCH_REPORT_H_
#define KVSOLVER_BATCH_REPORT_H_

#include <optional>
#include <string>
#include <vector>

#include "batch/jobs.h"
#include "batch/outcome.h"

/// Prints one row per job that ran, in the order given.
void PrintTable(const std::vector<Job>& jobs, const std::vector<std::optional<Outcome>>& outcomes);

/// Writes the same rows to `path` under a header line. Returns false when
/// it can't be written.
bool WriteSummary(const std::string& path, const std::vector<Job>& jobs,
                  const std::vector<std::optional<Outcome>>& outcomes);

#endif  // KVSOLVER_BATCH_REPORT_H_

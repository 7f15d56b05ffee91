// The batch's results: a table on standard output, and the summary file
// with the same rows for other programs.
#ifndef KVSOLVER_BATCH_REPORT_H_
#define KVSOLVER_BATCH_REPORT_H_

#include <cstdio>
#include <string>

#include "batch/study.h"

/// Prints one row per job in the order given, then a line for each job
/// that did not succeed (where its log is and what went wrong), then how
/// many jobs ended in each state. Returns false when `out` could not be
/// written.
bool PrintTable(const Study& study, FILE* out);

/// Replaces the summary `path` as a whole: a row for each job that has
/// ended, as JSON Lines when the name ends in ".jsonl", else as
/// tab-separated values under a header line; anything there but a
/// regular file is left as it is. Returns an empty text, or why it could
/// not be written.
std::string WriteSummary(const std::string& path, const Study& study);

#endif  // KVSOLVER_BATCH_REPORT_H_

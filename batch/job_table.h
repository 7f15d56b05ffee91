// The report's table of every job: one row each, in the order given, with
// heads that sort it and a choice of state that filters it. Its script
// shows it a page of rows at a time, so that a study of many thousand
// jobs stays quick to open.
#ifndef KVSOLVER_BATCH_JOB_TABLE_H_
#define KVSOLVER_BATCH_JOB_TABLE_H_

#include <cstddef>
#include <map>
#include <string>

#include "batch/study.h"

/// Rows the table shows at once; the rest stay hidden until paged to.
constexpr size_t kPageRows = 500;

/// The table's section, with a choice of each state in `count` (the jobs
/// in each shown state).
std::string JobTable(const Study& study, const std::map<std::string, size_t>& count);

#endif  // KVSOLVER_BATCH_JOB_TABLE_H_

// The one way results come in: an engine hands each to the monitor, which
// records it in the study and keeps the progress line and the summary file
// up to date with it.
#ifndef KVSOLVER_BATCH_MONITOR_H_
#define KVSOLVER_BATCH_MONITOR_H_

#include <chrono>
#include <string>

#include "batch/html_report.h"
#include "batch/progress.h"
#include "batch/study.h"

/// Watches a study run.
class Monitor {
 public:
  /// Watches `study`, run `parallel` at a time, with its summary in
  /// `summary` (empty for none).
  Monitor(Study* study, size_t parallel, std::string summary);

  /// Keeps the page `path` up to date too, every kReportSeconds while
  /// the study changes, told of the batch by `context`.
  void KeepReport(std::string path, ReportContext context);

  /// An attempt of job `i` began.
  void Started(size_t i);

  /// Job `i` ended as `result`.
  void Ended(size_t i, Result result);

  /// Ends every job without a result as `state` with `meaning`.
  void EndTheRest(State state, const std::string& meaning);

  /// Redraws the progress and, at most once a second, the summary (the
  /// report at most every kReportSeconds).
  void Tick();

  /// Shows the end and writes the summary and the final report whole.
  void Finish();

  /// Why the summary or the report could not be written at some point,
  /// or empty.
  const std::string& failure() const { return failure_; }

  const Study& study() const { return *study_; }

 private:
  void WriteSummaryNow();
  /// Writes the report now, if there is one.
  void WriteReportNow();
  /// Says the first reason a file could not be written, and keeps it.
  void Note(const std::string& why);

  Study* study_;
  Progress progress_;
  std::string summary_;
  std::string failure_;
  bool changed_ = false;
  std::chrono::steady_clock::time_point written_;
  std::string report_;       ///< the report's path, or empty
  ReportContext context_;    ///< what the report tells of the batch
  bool report_changed_ = false;  ///< a job started or ended since it was written
  std::chrono::steady_clock::time_point report_written_;
};

#endif  // KVSOLVER_BATCH_MONITOR_H_

// The study's report to look at: one HTML page that holds everything it
// shows (style, script, charts), so that it opens from disk, with no
// network and no other file, and can be mailed or archived beside the
// study. It is made from the study's records, as the table and the
// summary are.
#ifndef KVSOLVER_BATCH_HTML_REPORT_H_
#define KVSOLVER_BATCH_HTML_REPORT_H_

#include <string>

#include "batch/study.h"

/// How often the page of a running study is written again, and reloads
/// itself, in seconds.
constexpr int kReportSeconds = 5;

/// What the page tells of the batch beyond its records; instants as
/// results write them.
struct ReportContext {
  std::string command;     ///< the command line that made the page
  std::string started;     ///< the batch's start
  std::string ended;       ///< its end; empty while it runs
  std::string written;     ///< when the page is made
  bool from_disk = false;  ///< made by --status: start, end and whether the
                           ///< study runs come from the records instead
};

/// The context of a batch started now by the command line `argv`, or of
/// a page made now `from_disk`.
ReportContext ContextNow(int argc, char** argv, bool from_disk);

/// Whether the page shows a study that still runs: one that says so, or
/// records of which one still runs.
bool StillRunning(const Study& study, const ReportContext& context);

/// The page of `study`. Reads the logs of the jobs that did not finish,
/// for their last lines.
std::string HtmlReport(const Study& study, const ReportContext& context);

/// Replaces `path` with the page, whole and at once. Returns an empty
/// text, or why it could not be written (a path that is there and is no
/// regular file is not replaced).
std::string WriteHtmlReport(const std::string& path, const Study& study,
                            const ReportContext& context);

#endif  // KVSOLVER_BATCH_HTML_REPORT_H_

// The end of a job's log, as the report shows it beside a job that did not
// finish: read when the report is made, and bounded however long the log.
#ifndef KVSOLVER_BATCH_LOG_TAIL_H_
#define KVSOLVER_BATCH_LOG_TAIL_H_

#include <cstddef>
#include <string>

/// What the end of a log holds.
struct LogTail {
  std::string text;     ///< its last lines, each ending in a newline
  bool cut = false;     ///< the log holds more than `text`
  std::string problem;  ///< why it could not be read; empty when it was
};

/// The last `lines` lines of the file `path` within its last `bytes`
/// bytes; a line cut by that bound is left out. A FIFO, a device or a
/// symbolic link is not read: the batch's logs are files of their own.
LogTail ReadLogTail(const std::string& path, size_t lines, size_t bytes);

#endif  // KVSOLVER_BATCH_LOG_TAIL_H_

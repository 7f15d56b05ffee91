// How a run of the launcher ended, judged from its exit and the end of its
// log: the state, the return value and what it means.
#ifndef KVSOLVER_BATCH_OUTCOME_H_
#define KVSOLVER_BATCH_OUTCOME_H_

#include <optional>
#include <string>

#include "batch/result.h"

/// What the end of a log says: the value of its report line, when the log
/// ends with one, and the launcher's message just before it, if any.
struct LogEnding {
  std::optional<int> return_value;
  std::string message;
};

/// Reads the end of a log's text (its last bytes are enough). A report
/// line counts only as the log's last line: a line that looks like one
/// further up (a model name, a library's message) is no report.
LogEnding ReadLogEnding(const std::string& tail);

/// The last bytes of the file open at `fd`, enough for ReadLogEnding.
std::string ReadTail(int fd);

/// Who ended the launcher, when it was not its own end.
enum class Sender {
  kNobody,   ///< it exited, or a signal from elsewhere ended it
  kBatch,    ///< the batch was stopped (Ctrl-C, SIGTERM, the batch gone)
  kTimeout,  ///< --timeout ran out
};

/// Fills the state, return value, meaning, signal and exit status of
/// `*result` from the launcher's wait status and its log's ending. Only an
/// exit status of 0 with a report line saying 0 is finished.
void JudgeRun(int wait_status, Sender sender, const LogEnding& ending, Result* result);

#endif  // KVSOLVER_BATCH_OUTCOME_H_

// How a job ended: what its run of the launcher left in its directory
// (the .result file the task writes, the report line in the .log), and
// what that means.
#ifndef KVSOLVER_BATCH_OUTCOME_H_
#define KVSOLVER_BATCH_OUTCOME_H_

#include <optional>
#include <string>

#include "batch/jobs.h"

/// The end of one job's run.
struct Outcome {
  bool signaled;     ///< ended by a signal rather than an exit
  int code;          ///< the exit status, or the signal
  double seconds;    ///< how long it ran
  std::optional<int> return_value;  ///< the value of its report line, if any
};

/// Writes how the job's run ended to its .result file, whole or not at all.
void WriteResult(const Job& job, bool signaled, int code, double seconds);

/// Whether the job's run has ended: its .result file is there.
bool HasResult(const Job& job);

/// Reads the job's .result file and the report line of its .log. Returns
/// nothing when the job has not ended (or never ran).
std::optional<Outcome> ReadOutcome(const Job& job);

/// Whether the job succeeded: it reported 0.
bool Succeeded(const Outcome& outcome);

/// The return value as a table shows it: the report line's integer, else
/// "exit N" or the signal's name.
std::string ReturnValueText(const Outcome& outcome);

/// What the outcome means, in a few words.
std::string Meaning(const Outcome& outcome);

#endif  // KVSOLVER_BATCH_OUTCOME_H_

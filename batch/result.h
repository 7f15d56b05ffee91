// The one record of how a job ended. A task builds it once, writes it to
// the job's .result file and hands it to the batch; the table, the summary,
// the progress line and --resume all read this record and nothing else.
#ifndef KVSOLVER_BATCH_RESULT_H_
#define KVSOLVER_BATCH_RESULT_H_

#include <optional>
#include <string>
#include <vector>

/// What became of a job.
enum class State {
  kFinished,  ///< exit status 0 and a report line saying 0
  kFailed,    ///< the launcher ended with another value, or without one
  kKilled,    ///< ended by a signal, with no report line
  kTimedOut,  ///< ended by --timeout
  kLost,      ///< started, but left no readable result
  kNotRun,    ///< never started
  kReused,    ///< --resume kept an earlier finished result
  kRunning,   ///< started and not ended yet (only --status shows it)
  kOutdated,  ///< finished, on files that have changed since (only --status shows it)
};

/// The state's name, as the table, the summary and the .result file have it.
const char* StateName(State state);

/// Whether a job in `state` counts as done well.
bool Succeeded(State state);

/// An attempt of a job that was run again after it: how it ended.
struct Attempt {
  State state = State::kLost;
  std::string meaning;
  std::optional<int> return_value;
  std::optional<int> exit_status;
  std::optional<int> signal;
  std::string started;  ///< UTC, ISO 8601
  double seconds = 0;   ///< its run time
  std::string log;      ///< the log it left, NAME.log.K for attempt K
};

/// One job's result.
struct Result {
  State state = State::kNotRun;
  std::optional<int> return_value;  ///< the report line's value
  std::string meaning;              ///< what happened, in words
  int attempts = 0;                 ///< runs of the job in the batch that wrote it
  double seconds = 0;               ///< the last attempt's run time
  std::string started;              ///< its start, UTC, ISO 8601; empty: not run
  std::string host;                 ///< the short host name that ran it
  std::string log;                  ///< the log's path, as the jobs were given
  // What the last attempt's launcher cost, from the kernel's accounting of
  // the ended process: empty for a run that never started, and in a record
  // of the format's first version.
  std::optional<long long> max_rss_kib;  ///< peak resident memory, KiB
  std::optional<double> user_seconds;    ///< CPU time in user mode
  std::optional<double> system_seconds;  ///< CPU time in the kernel
  // Kept in the .result file only.
  std::string batch;       ///< the token of the batch whose task wrote it
  std::string job_hash;    ///< the command file's content as the run read it
  std::string model_hash;  ///< the model file's content as the run read it
  std::optional<int> signal;  ///< the signal that ended the launcher, if one did
  std::optional<int> exit_status;  ///< the launcher's exit status, if it exited
  std::string task;    ///< the cluster task that ran it ("JOBID_INDEX"), if one did
  std::string output;  ///< that task's output file
  std::vector<Attempt> earlier;  ///< the attempts before the last, in order
};

/// A result with only its state, meaning and log: a job that did not run,
/// or whose run left nothing to read.
Result Unrun(State state, std::string meaning, std::string log);

/// The version of the .result format that this program writes; it reads
/// the ones before too: version 2 has no earlier attempts, version 1 no
/// figures of cost either.
constexpr int kResultVersion = 3;

/// `result` as one line of JSON, without a line end: the .result file's
/// text and what a task reports to its batch.
std::string ResultToJson(const Result& result);

/// Reads what ResultToJson wrote. Returns nothing for any other text: a
/// truncated, garbled or inconsistent record, or another version of the
/// format, is no result at all.
std::optional<Result> ResultFromJson(const std::string& text);

/// Whether ReplaceResult leaves NAME.part, holding the record it replaced,
/// for the next record of the same job to be written into.
enum class Part { kRemove, kKeepForNext };

/// Writes `result` to `name` in directory `dirfd`, whole or not at all,
/// through NAME.part, a file of its own, exchanged with the record it
/// replaces. Returns an empty text, or why it failed, naming the file as
/// `shown`. No .part file is left on failure, nor on success unless
/// `part` keeps it: a job's running record and its result then share one
/// file of the file system's, spared an inode freed and allocated.
std::string ReplaceResult(int dirfd, const std::string& name, const std::string& shown,
                          const Result& result, Part part = Part::kRemove);

/// Removes whatever is at `name` in `dirfd` and creates a file there anew,
/// open with `flags` (O_WRONLY or O_RDWR): a file of the caller's own, never
/// another directory's through a shared hard link, nor a link's target.
/// Returns its descriptor, or -1 with errno set.
int CreateFileAnew(int dirfd, const std::string& name, int flags);

/// Opens `name` in `dirfd` emptied, with `flags` as CreateFileAnew takes
/// them, when it is already a file of the caller's own: a regular file it
/// owns, of one link, not a symbolic one. Anything else is created anew.
/// Reusing the file spares the file system an inode freed and another
/// allocated for each run. Returns its descriptor, or -1 with errno set.
int OpenOwnFileEmptied(int dirfd, const std::string& name, int flags);

/// Reads the .result file `name` in directory `dirfd`; nothing when there
/// is none, it does not parse, or it can't be true of a job's file: a
/// "reused" or "outdated" state (a row's, never a file's), a value beyond 32 bits, a
/// start that is no instant.
std::optional<Result> ReadResult(int dirfd, const std::string& name);

#endif  // KVSOLVER_BATCH_RESULT_H_

// Starting and waiting for the programs a batch runs: the launcher, and
// the cluster's commands.
#ifndef KVSOLVER_BATCH_SPAWN_H_
#define KVSOLVER_BATCH_SPAWN_H_

#include <sys/types.h>

#include <string>
#include <vector>

#include "batch/outcome.h"

/// How a program is started.
struct Launch {
  std::vector<std::string> argv;  ///< argv[0]: a path, or a name looked up in PATH
  int directory = -1;             ///< a directory to run in; -1: ours
  int output = -1;                ///< its standard output and error; -1: ours
  int error = -1;                 ///< its standard error alone, when not -1
};

/// fork(), tried again a few times, a little later each, while the system
/// is out of processes.
pid_t ForkRetrying();

/// Starts `launch` with standard input from /dev/null, in a process group
/// of its own (so that it and its children can be stopped together), with
/// default signal handling, and ended with SIGTERM if this process ends
/// first. A fork that fails for want of processes is tried again. Returns the process id, or -1 with `*why` set.
pid_t Start(const Launch& launch, std::string* why);

/// How long a run may take: SIGTERM to its group after `timeout` seconds
/// (0: no limit), SIGKILL `kill_after` seconds later.
struct Limits {
  double timeout = 0;
  double kill_after = 10;
};

/// Waits for `pid` (started by Start) to end and returns its wait status.
/// A stop signal, or the end of `limits.timeout`, sends its group SIGTERM,
/// then SIGKILL; `*sender` says who ended it.
int WaitFor(pid_t pid, const Limits& limits, Sender* sender);

/// Runs `argv` to its end, its standard output into `*out` and its
/// standard error into `*err` (either may be null to keep ours). Returns
/// its wait status, or -1 with `*err` saying why it could not start.
int Capture(const std::vector<std::string>& argv, std::string* out, std::string* err);

#endif  // KVSOLVER_BATCH_SPAWN_H_

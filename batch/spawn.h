// Starting and waiting for the programs a batch runs: the launcher, and
// the cluster's commands.
#ifndef KVSOLVER_BATCH_SPAWN_H_
#define KVSOLVER_BATCH_SPAWN_H_

#include <sys/resource.h>
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

/// fork() with every signal blocked for its length: the child starts with
/// them all blocked, and lets them in once it has set its own up (see
/// CatchSignalsInTask, DefaultSignals). Made `tries` times, a little later
/// each, while the system is out of processes.
pid_t ForkRetrying(int tries);

/// In a child just forked: closes every descriptor but 0, 1, 2 and `keep`.
void CloseDescriptorsBut(int keep);

/// Starts `launch` with standard input from /dev/null, in a process group
/// of its own (so that it and its children can be stopped together), with
/// default signal handling but for the signals ignored at the start, and
/// ended with SIGTERM if this process ends first. This process adopts what
/// the run leaves behind, for WaitFor to end. A fork that fails for want of
/// processes is tried again. Returns the process id, or -1 with `*why` set.
pid_t Start(const Launch& launch, std::string* why);

/// How long a run may take: SIGTERM to its group after `timeout` seconds
/// (0: no limit), SIGKILL `kill_after` seconds later.
struct Limits {
  double timeout = 0;
  double kill_after = 10;
};

/// Waits for `pid` (started by Start) to end and returns its wait status.
/// A stop signal, or the end of `limits.timeout`, ends it early; `*sender`
/// says who ended it. Either way its whole process group, and any process
/// of the run this process adopted, is then ended (SIGTERM, then SIGKILL
/// `limits.kill_after` seconds later) before it returns. `*usage` gets the
/// kernel's account of what `pid` used: itself and the children it waited
/// for (peak memory: the largest of them; CPU time: their sum).
int WaitFor(pid_t pid, const Limits& limits, Sender* sender, rusage* usage);

/// Runs `argv` to its end, its standard output into `*out` and its
/// standard error into `*err` (either may be null to keep ours). Returns
/// its wait status, or -1 with `*err` saying why it could not start.
int Capture(const std::vector<std::string>& argv, std::string* out, std::string* err);

#endif  // KVSOLVER_BATCH_SPAWN_H_

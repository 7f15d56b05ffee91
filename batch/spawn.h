// Starting and waiting for the programs a batch runs.
#ifndef KVSOLVER_BATCH_SPAWN_H_
#define KVSOLVER_BATCH_SPAWN_H_

#include <sys/types.h>

#include <string>
#include <vector>

/// How a started program is set up.
struct SpawnOptions {
  std::string directory;  ///< where it runs; empty: here
  std::string output;     ///< file for its standard output and error; empty: ours
  bool own_group = false; ///< in a process group of its own, out of the terminal's reach
  int stdout_fd = -1;     ///< a descriptor for its standard output instead
};

/// Starts `argv` (found through PATH when it has no "/") with standard input
/// from /dev/null. Returns its process id, or -1 when it can't be started.
pid_t Spawn(const std::vector<std::string>& argv, const SpawnOptions& options);

/// Waits for `pid`; when a stop signal has come, sends it SIGTERM once
/// (and to its group when it has one of its own) and goes on waiting.
/// Returns its wait status.
int WaitSendingStop(pid_t pid, bool own_group);

#endif  // KVSOLVER_BATCH_SPAWN_H_

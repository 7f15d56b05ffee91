#include "batch/spawn.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "batch/signals.h"

extern char** environ;

pid_t Spawn(const std::vector<std::string>& argv, const SpawnOptions& options) {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  if (!options.directory.empty())
    posix_spawn_file_actions_addchdir_np(&actions, options.directory.c_str());
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  if (options.stdout_fd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, options.stdout_fd, STDOUT_FILENO);
  } else if (!options.output.empty()) {
    // Opened after the change of directory: a name relative to it.
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, options.output.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0666);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  }
  if (options.own_group) {
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
  }
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid;
  int error = posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  return error == 0 ? pid : -1;
}

int WaitSendingStop(pid_t pid, bool own_group) {
  bool sent = false;
  for (;;) {
    int status;
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return status;
    if (done < 0 && errno != EINTR) return 0;
    if (StopSignal() != 0 && !sent) {
      kill(own_group ? -pid : pid, SIGTERM);
      sent = true;
    }
    usleep(20000);
  }
}

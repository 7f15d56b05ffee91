#include "batch/local.h"

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "batch/progress.h"
#include "batch/signals.h"
#include "batch/spawn.h"
#include "batch/task.h"

namespace {

/// Forgets the tasks of `running` that have ended.
void Reap(std::vector<pid_t>* running) {
  for (size_t i = 0; i < running->size();) {
    int status;
    if (waitpid((*running)[i], &status, WNOHANG) == (*running)[i]) {
      running->erase(running->begin() + static_cast<long>(i));
    } else {
      ++i;
    }
  }
}

}  // namespace

bool RunLocally(const std::string& self, const std::string& model, const std::vector<Job>& jobs,
                const std::vector<std::vector<size_t>>& groups, size_t parallel) {
  Progress progress;
  InitProgress(&progress, jobs);
  std::vector<pid_t> running;
  size_t next = 0;
  bool started_all = true, stopping = false;
  for (;;) {
    while (StopSignal() == 0 && running.size() < parallel && next < groups.size()) {
      std::vector<Job> task;
      for (size_t i : groups[next]) task.push_back(jobs[i]);
      ++next;
      // Its own process group: a Ctrl-C reaches the batch alone, which
      // then stops each task in order.
      SpawnOptions options;
      options.own_group = true;
      pid_t pid = Spawn(TaskArguments(self, model, task), options);
      if (pid < 0) {
        std::fprintf(stderr, "kvsolver-batch: cannot start a task for %s\n",
                     task[0].directory.c_str());
        started_all = false;
        continue;
      }
      running.push_back(pid);
    }
    if (StopSignal() != 0 && !stopping) {
      for (pid_t pid : running) kill(-pid, SIGTERM);
      stopping = true;
    }
    Reap(&running);
    UpdateProgress(&progress, jobs);
    if (running.empty() && (next == groups.size() || StopSignal() != 0)) break;
    usleep(100000);
  }
  EndProgress(&progress, jobs);
  return started_all;
}

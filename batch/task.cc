#include "batch/task.h"

#include <sys/wait.h>

#include <chrono>

#include "batch/outcome.h"
#include "batch/signals.h"
#include "batch/spawn.h"

void RunTask(const std::string& launcher, const std::string& model,
             const std::vector<Job>& jobs) {
  for (const Job& job : jobs) {
    if (StopSignal() != 0) return;
    std::vector<std::string> argv = {launcher};
    for (std::string& arg : LauncherArguments(job, model)) argv.push_back(arg);
    SpawnOptions options;
    options.directory = job.directory;
    options.output = job.base + ".log";
    auto start = std::chrono::steady_clock::now();
    pid_t pid = Spawn(argv, options);
    int status = pid < 0 ? 127 << 8 : WaitSendingStop(pid, false);
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    bool signaled = WIFSIGNALED(status);
    WriteResult(job, signaled, signaled ? WTERMSIG(status) : WEXITSTATUS(status),
                took.count());
  }
}

std::vector<std::string> TaskArguments(const std::string& self, const std::string& model,
                                       const std::vector<Job>& jobs) {
  std::vector<std::string> args = {self, "--task"};
  if (!model.empty()) {
    args.push_back("--model");
    args.push_back(model);
  }
  args.push_back("--");
  for (const Job& job : jobs) args.push_back(job.path);
  return args;
}

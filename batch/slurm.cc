#include "batch/slurm.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "batch/progress.h"
#include "batch/signals.h"
#include "batch/spawn.h"
#include "batch/task.h"

namespace {

/// `text` as one word of a shell script, whatever it holds.
std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

/// The array's batch script: task N runs the task of directory N, with
/// the jobs named by absolute paths, as the nodes see them.
std::string ArrayScript(const std::string& self, const std::string& launcher,
                        const std::string& model, const std::vector<Job>& jobs,
                        const std::vector<std::vector<size_t>>& groups) {
  std::string script = "#!/bin/sh\ncase \"$SLURM_ARRAY_TASK_ID\" in\n";
  for (size_t g = 0; g < groups.size(); ++g) {
    std::vector<Job> task;
    for (size_t i : groups[g]) {
      Job job = jobs[i];
      job.path = job.key + "/" + job.file;
      task.push_back(job);
    }
    script += std::to_string(g) + ") exec env KVSOLVER=" + Quoted(launcher);
    for (const std::string& arg : TaskArguments(self, model, task)) script += " " + Quoted(arg);
    script += " ;;\n";
  }
  return script + "esac\nexit 1\n";
}

/// Writes `script` to a file of its own; sbatch takes a copy when the
/// array is submitted. Returns its path, or empty.
std::string WriteScript(const std::string& script) {
  const char* tmp = std::getenv("TMPDIR");
  std::string path = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                     "/kvsolver-batch-XXXXXX";
  int fd = mkstemp(path.data());
  if (fd < 0) return "";
  bool written = write(fd, script.data(), script.size()) == static_cast<ssize_t>(script.size());
  close(fd);
  if (written) return path;
  unlink(path.c_str());
  return "";
}

/// Reads sbatch's first line from `fd`: the array's job id.
std::string ReadJobId(int fd) {
  std::string line;
  char c;
  while (read(fd, &c, 1) == 1 && c != '\n') line += c;
  return line.substr(0, line.find(';'));
}

}  // namespace

bool RunOnSlurm(const std::string& self, const std::string& launcher, const std::string& model,
                const std::vector<Job>& jobs, const std::vector<std::vector<size_t>>& groups,
                size_t throttle, const std::vector<std::string>& options) {
  std::string script = WriteScript(ArrayScript(self, launcher, model, jobs, groups));
  if (script.empty()) return false;
  std::string array = "--array=0-" + std::to_string(groups.size() - 1);
  if (throttle > 0) array += "%" + std::to_string(throttle);
  std::vector<std::string> argv = {"sbatch", "--wait", "--parsable", "--job-name=kvsolver-batch",
                                   "--output=/dev/null", array};
  for (const std::string& option : options) argv.push_back(option);
  argv.push_back(script);

  int out[2];
  if (pipe(out) != 0) return false;
  SpawnOptions spawn;
  spawn.stdout_fd = out[1];
  spawn.own_group = true;
  pid_t sbatch = Spawn(argv, spawn);
  close(out[1]);
  std::string job_id = sbatch < 0 ? "" : ReadJobId(out[0]);
  close(out[0]);
  unlink(script.c_str());
  if (sbatch < 0) return false;

  Progress progress;
  InitProgress(&progress, jobs);
  bool cancelled = false;
  int status = 0;
  while (waitpid(sbatch, &status, WNOHANG) != sbatch) {
    if (StopSignal() != 0 && !cancelled && !job_id.empty()) {
      pid_t scancel = Spawn({"scancel", job_id}, SpawnOptions{});
      if (scancel > 0) waitpid(scancel, nullptr, 0);
      cancelled = true;
    }
    UpdateProgress(&progress, jobs);
    usleep(200000);
  }
  EndProgress(&progress, jobs);
  return !job_id.empty();
}

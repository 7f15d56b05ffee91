#include "batch/cluster_task.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

#include "batch/escape.h"
#include "batch/result.h"
#include "batch/study.h"
#include "batch/task.h"

using Json = nlohmann::json;

namespace {

/// The name (a path) at `key` of `object`, as the batch's PutName wrote
/// it. Throws when there is none.
std::string NameAt(const Json& object, const std::string& key) {
  std::optional<std::string> name = TakeName(object, key);
  if (!name) throw std::invalid_argument("no name at " + key);
  return *name;
}

/// This node's name as Slurm knows it (SLURMD_NODENAME), which tells the
/// nodes of one machine apart too; the machine's short name outside Slurm.
std::string NodeName() {
  const char* name = std::getenv("SLURMD_NODENAME");
  return name != nullptr && *name != '\0' ? name : ShortHostName();
}

/// What every task of list `list` is told, on this node.
TaskSettings SettingsOf(const Json& list) {
  TaskSettings settings;
  settings.launcher = NameAt(list, "launcher");
  settings.model = NameAt(list, "model");
  settings.batch = list.at("batch").get<std::string>();
  settings.resume = list.at("resume").get<bool>();
  settings.retries = list.at("retries").get<int>();
  settings.retry_on = list.at("retry_on").get<std::vector<int>>();
  settings.limits.timeout = list.at("timeout").get<double>();
  settings.limits.kill_after = list.at("kill_after").get<double>();
  settings.host = NodeName();
  settings.mark_running = true;
  const char* job = std::getenv("SLURM_ARRAY_JOB_ID");
  const char* index = std::getenv("SLURM_ARRAY_TASK_ID");
  if (job != nullptr && index != nullptr) {
    settings.task = std::string(job) + "_" + index;
    settings.output = NameAt(list, "folder") + "/" + settings.task + ".out";
  }
  return settings;
}

/// The attempts made of `job` before this task runs it: `listed`, those of
/// the batch's earlier rounds, or the one a run of this batch was making
/// when Slurm cut its task off and started it again (a requeue), so that
/// the count goes on and that run's log is kept as NAME.log.N.
int AttemptsBefore(const TaskSettings& settings, const Job& job, int listed) {
  std::optional<Result> marker = ReadJobResult(job);
  bool cut_off = marker && marker->batch == settings.batch && marker->state == State::kRunning;
  return cut_off ? std::max(listed, marker->attempts) : listed;
}

/// Leaves each of `jobs` a lost result that says why.
void MarkLost(const TaskSettings& settings, const std::vector<Job>& jobs,
              const std::string& why) {
  for (const Job& job : jobs) {
    int dirfd = OpenDirectory(job);
    if (dirfd < 0) continue;
    Result result = Unrun(State::kLost, why, LogPath(job));
    result.batch = settings.batch;
    result.host = settings.host;
    result.task = settings.task;
    result.output = settings.output;
    ReplaceResult(dirfd, job.result(), ResultPath(job), result);
    close(dirfd);
  }
}

}  // namespace

int RunClusterTask(const std::string& path, size_t offset, int prologue_status) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  Json list = Json::parse(text.str(), nullptr, false);
  const char* id = std::getenv("SLURM_ARRAY_TASK_ID");
  size_t index = offset + (id != nullptr ? std::strtoul(id, nullptr, 10) : 0);
  if (list.is_discarded() || !list.is_object() || !list.contains("tasks") ||
      index >= list["tasks"].size()) {
    std::fprintf(stderr, "kvsolver-batch: %s holds no task %zu\n",
                 EscapeControls(path).c_str(), index);
    return 2;
  }
  try {
    TaskSettings settings = SettingsOf(list);
    bool reported = true;
    for (const Json& directory : list["tasks"][index]) {
      std::vector<Job> jobs;
      std::vector<size_t> indexes;
      for (const Json& entry : directory.at("jobs")) {
        Job job;
        NameJob(NameAt(directory, "directory"), NameAt(entry, "file"), &job);
        job.earlier_attempts =
            AttemptsBefore(settings, job, entry.at("earlier_attempts").get<int>());
        indexes.push_back(jobs.size());
        jobs.push_back(job);
      }
      if (prologue_status != 0) {
        MarkLost(settings, jobs, "the task prologue failed with exit status " +
                                     std::to_string(prologue_status) + "; see " + settings.output);
        continue;
      }
      reported = RunTask(settings, jobs, indexes, -1) && reported;
    }
    return reported ? 0 : 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "kvsolver-batch: %s is no task list: %s\n",
                 EscapeControls(path).c_str(), error.what());
    return 2;
  }
}

#include "batch/slurm.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "batch/signals.h"
#include "batch/spawn.h"

using Json = nlohmann::json;

namespace {

/// `text` as one word of a shell script, whatever it holds.
std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

/// The task list: what every task is told, and each task's jobs by the
/// absolute paths the nodes see.
std::string TaskList(const TaskSettings& settings, const Study& study,
                     const std::vector<std::vector<size_t>>& groups) {
  Json tasks = Json::array();
  for (const std::vector<size_t>& group : groups) {
    Json jobs = Json::array();
    char real[PATH_MAX];
    const Job& first = study.jobs[group.front()];
    std::string directory = realpath(first.directory.c_str(), real) != nullptr ? real
                                                                               : first.directory;
    for (size_t i : group) jobs.push_back({{"index", i}, {"file", study.jobs[i].file}});
    tasks.push_back({{"directory", directory}, {"jobs", jobs}});
  }
  Json list = {{"launcher", settings.launcher},   {"model", settings.model},
               {"batch", settings.batch},         {"resume", settings.resume},
               {"retries", settings.retries},     {"retry_on", settings.retry_on},
               {"timeout", settings.limits.timeout},
               {"kill_after", settings.limits.kill_after},
               {"tasks", tasks}};
  return list.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

/// Writes `text` to `path` whole. Returns an empty text, or why not.
std::string WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) return "cannot write " + path + ": " + std::strerror(errno);
  return "";
}

/// Hands the result of each job of `monitor`'s study that has none yet
/// and whose task left one for this batch.
void CollectResults(const TaskSettings& settings, Monitor* monitor) {
  const Study& study = monitor->study();
  for (size_t i = 0; i < study.jobs.size(); ++i) {
    if (study.ended[i]) continue;
    int dirfd = open(study.jobs[i].directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirfd < 0) continue;
    std::optional<Result> result = ReadResult(dirfd, study.jobs[i].result);
    close(dirfd);
    if (!result || result->batch != settings.batch) continue;
    result->log = study.results[i].log;
    monitor->Ended(i, *result);
  }
}

}  // namespace

std::string RunOnSlurm(const TaskSettings& settings, const SlurmSettings& slurm,
                       const std::vector<std::vector<size_t>>& groups, Monitor* monitor) {
  if (mkdir(slurm.folder.c_str(), 0777) != 0 && errno != EEXIST)
    return "cannot create " + slurm.folder + ": " + std::strerror(errno);
  std::string list = slurm.folder + "/" + settings.batch + ".tasks";
  std::string why = WriteFile(list, TaskList(settings, monitor->study(), groups));
  std::string script = slurm.folder + "/" + settings.batch + ".sh";
  if (why.empty())
    why = WriteFile(script, "#!/bin/sh\nexec " + Quoted(slurm.self) + " --task " + Quoted(list) +
                                "\n");
  if (!why.empty()) return why;
  std::string array = "--array=0-" + std::to_string(groups.size() - 1);
  if (slurm.throttle > 0) array += "%" + std::to_string(slurm.throttle);
  std::vector<std::string> argv = {"sbatch", "--wait", "--parsable", "--job-name=kvsolver-batch",
                                   "--output=" + slurm.folder + "/%A_%a.out", array};
  for (const std::string& option : slurm.options) argv.push_back(option);
  argv.push_back(script);

  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return std::string("cannot start sbatch: ") + strerror(errno);
  Launch launch;
  launch.argv = argv;
  launch.output = out[1];
  launch.error = STDERR_FILENO;
  pid_t sbatch = Start(launch, &why);
  close(out[1]);
  std::string job_id;
  char c;
  ssize_t n;
  while (sbatch > 0 && ((n = read(out[0], &c, 1)) == 1 || (n < 0 && errno == EINTR))) {
    if (n == 1 && c == '\n') break;
    if (n == 1) job_id += c;
  }
  close(out[0]);
  if (sbatch < 0) return why;
  job_id = job_id.substr(0, job_id.find(';'));
  bool cancelled = false;
  int status = 0;
  while (waitpid(sbatch, &status, WNOHANG) != sbatch) {
    if (StopSignal() != 0 && !cancelled && !job_id.empty()) {
      std::string ignored;
      Capture({"scancel", job_id}, nullptr, &ignored);
      cancelled = true;
    }
    CollectResults(settings, monitor);
    monitor->Tick();
    poll(nullptr, 0, 500);
  }
  if (job_id.empty()) return "sbatch did not submit the array";
  CollectResults(settings, monitor);
  // What a cancelled array never started was not run; anything else that
  // left no result was lost.
  for (size_t g = 0; g < groups.size(); ++g)
    for (size_t i : groups[g])
      monitor->Ended(i, StopSignal() != 0
                            ? Unrun(State::kNotRun, "the batch was stopped",
                                    monitor->study().results[i].log)
                            : Unrun(State::kLost,
                                    "its task left no result: see " + slurm.folder + "/" +
                                        job_id + "_" + std::to_string(g) + ".out",
                                    monitor->study().results[i].log));
  return "";
}

int RunClusterTask(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  Json list = Json::parse(text.str(), nullptr, false);
  const char* id = std::getenv("SLURM_ARRAY_TASK_ID");
  if (list.is_discarded() || id == nullptr) {
    std::fprintf(stderr, "kvsolver-batch: cannot read the task list %s\n", path.c_str());
    return 2;
  }
  size_t index = std::strtoul(id, nullptr, 10);
  const Json& task = list.at("tasks").at(index);
  TaskSettings settings;
  settings.launcher = list.at("launcher").get<std::string>();
  settings.model = list.at("model").get<std::string>();
  settings.batch = list.at("batch").get<std::string>();
  settings.resume = list.at("resume").get<bool>();
  settings.retries = list.at("retries").get<int>();
  settings.retry_on = list.at("retry_on").get<std::vector<int>>();
  settings.limits.timeout = list.at("timeout").get<double>();
  settings.limits.kill_after = list.at("kill_after").get<double>();
  settings.host = ShortHostName();
  std::vector<Job> jobs;
  std::vector<size_t> indexes;
  for (const Json& entry : task.at("jobs")) {
    Job job;
    NameJob(task.at("directory").get<std::string>(), entry.at("file").get<std::string>(), &job);
    indexes.push_back(jobs.size());
    jobs.push_back(job);
  }
  return RunTask(settings, jobs, indexes, -1) ? 0 : 1;
}

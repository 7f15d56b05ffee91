#include "batch/slurm_plan.h"

#include <climits>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "batch/escape.h"

using Json = nlohmann::json;

std::vector<std::vector<size_t>> PackTasks(size_t groups, size_t per_task) {
  std::vector<std::vector<size_t>> tasks;
  for (size_t g = 0; g < groups; ++g) {
    if (g % per_task == 0) tasks.emplace_back();
    tasks.back().push_back(g);
  }
  return tasks;
}

std::vector<ArrayPlan> SplitArrays(size_t tasks, size_t max_array_size) {
  std::vector<ArrayPlan> arrays;
  for (size_t first = 0; first < tasks; first += max_array_size)
    arrays.push_back({first, std::min(max_array_size, tasks - first)});
  return arrays;
}

std::string TaskList(const TaskSettings& settings, const std::string& folder,
                     const Study& study, const std::vector<std::vector<size_t>>& groups,
                     const std::vector<int>& attempts_made,
                     const std::vector<std::vector<size_t>>& tasks) {
  Json list_of_tasks = Json::array();
  for (const std::vector<size_t>& task : tasks) {
    Json directories = Json::array();
    for (size_t g : task) {
      const Job& first = study.jobs[groups[g].front()];
      char real[PATH_MAX];
      std::string directory = realpath(first.directory.c_str(), real) != nullptr
                                  ? std::string(real) : first.directory;
      Json jobs = Json::array();
      for (size_t i : groups[g]) {
        Json job = {{"index", i}, {"earlier_attempts", attempts_made[i]}};
        PutName(&job, "file", study.jobs[i].file);
        jobs.push_back(job);
      }
      Json entry = {{"jobs", jobs}};
      PutName(&entry, "directory", directory);
      directories.push_back(entry);
    }
    list_of_tasks.push_back(directories);
  }
  Json list = {{"batch", settings.batch},       {"resume", settings.resume},
               {"retries", settings.retries},   {"retry_on", settings.retry_on},
               {"timeout", settings.limits.timeout},
               {"kill_after", settings.limits.kill_after},
               {"tasks", list_of_tasks}};
  // Paths are names: the nodes get their bytes back (TakeName).
  PutName(&list, "launcher", settings.launcher);
  PutName(&list, "model", settings.model);
  PutName(&list, "folder", folder);
  return list.dump() + "\n";
}

std::string ShellWord(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string ArrayScript(const SlurmSettings& slurm, const std::string& list, size_t first) {
  std::string run = "exec " + ShellWord(slurm.self) + " --task " + ShellWord(list) +
                    " --task-offset " + std::to_string(first);
  std::string script = "#!/bin/bash\n";
  if (slurm.prologue.empty()) return script + run + "\n";
  return script + "kvsolver_batch_prologue() {\n" + slurm.prologue +
         (slurm.prologue.back() == '\n' ? "" : "\n") +
         "}\nkvsolver_batch_prologue\nstatus=$?\n"
         "[ \"$status\" -eq 0 ] || " + run + " --prologue-failed \"$status\"\n" + run + "\n";
}

std::vector<std::string> SbatchArguments(const SlurmSettings& slurm, const ArrayPlan& plan,
                                         const std::string& after, const std::string& script) {
  std::string array = "--array=0-" + std::to_string(plan.count - 1);
  if (slurm.throttle > 0) array += "%" + std::to_string(slurm.throttle);
  std::vector<std::string> argv = {"--parsable", "--job-name=" + slurm.job_name,
                                   "--output=" + slurm.folder + "/%A_%a.out", array};
  if (!after.empty()) argv.push_back("--dependency=afterany:" + after);
  argv.insert(argv.end(), slurm.options.begin(), slurm.options.end());
  argv.push_back(script);
  return argv;
}

#include "batch/plan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <map>
#include <optional>
#include <set>
#include <utility>

#include "batch/directory_lock.h"
#include "batch/escape.h"
#include "batch/inputs.h"
#include "batch/preflight.h"
#include "batch/slurm_commands.h"

namespace {

/// What a run does with job `job` of directory `dirfd` ("run", "reuse: ...",
/// "run: would fail, ..."), counted in `*counts`: to run, to reuse, to fail.
std::string PlanOf(int dirfd, const Job& job, const PlanView& view, size_t counts[3]) {
  if (view.resume &&
      KeepsResult(ReadResult(dirfd, job.result()), HashInputs(dirfd, job, view.model))) {
    ++counts[1];
    return "reuse: finished, files unchanged";
  }
  std::string problem =
      view.launcher_starts ? JobProblem(dirfd, job, view.model) : "the launcher can't start";
  ++counts[problem.empty() ? 0 : 2];
  return problem.empty() ? "run" : "run: would fail, " + problem;
}

}  // namespace

bool PrintPlan(const Study& study, const std::vector<std::vector<size_t>>& groups,
               const PlanView& view, FILE* out) {
  size_t counts[3] = {0, 0, 0};
  for (size_t g = 0; g < groups.size(); ++g) {
    const Job& first = study.jobs[groups[g].front()];
    std::string name = EscapeControls(first.directory);
    if (view.tasks_numbered)
      std::fprintf(out, "task %zu: %s\n", g + 1, name.c_str());
    else
      std::fprintf(out, "directory %s\n", name.c_str());
    int dirfd = OpenDirectory(first);
    for (size_t i : groups[g]) {
      const Job& job = study.jobs[i];
      std::string plan = PlanOf(dirfd, job, view, counts);
      std::fprintf(out, "  %s  %s\n", EscapeControls(job.file).c_str(),
                   EscapeControls(plan).c_str());
    }
    if (dirfd >= 0) close(dirfd);
  }
  std::fprintf(out, "%zu %s: %zu to run, %zu to reuse, %zu that would fail\n",
               study.jobs.size(), study.jobs.size() == 1 ? "job" : "jobs", counts[0], counts[1],
               counts[2]);
  return std::fflush(out) == 0 && std::ferror(out) == 0;
}

namespace {

/// Settles a record that says a job runs here, on this machine: it runs
/// while its task holds the directory's lock; without it, the task died
/// before the job's result, and the record is lost.
void SettleLocalRunning(int dirfd, const std::optional<std::set<std::pair<dev_t, ino_t>>>& held,
                        Result* r) {
  if (DirectoryLocked(dirfd, held)) {
    r->meaning = "running since " + r->started + " on " + r->host;
    std::tm parts = {};
    if (strptime(r->started.c_str(), "%Y-%m-%dT%H:%M:%SZ", &parts) != nullptr)
      r->seconds = std::max(0.0, std::difftime(std::time(nullptr), timegm(&parts)));
    return;
  }
  r->state = State::kLost;
  r->meaning = "its task ended without the job's result (started " + r->started + " on " +
               r->host + ")";
}

/// The end of job `job` of directory `dirfd` (or -1), whose result can't
/// be read: not run, or lost when a directory stands in its result's place,
/// which no run can replace with its record.
Result Unread(int dirfd, const Job& job) {
  struct stat info;
  if (dirfd >= 0 && fstatat(dirfd, job.result().c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
      S_ISDIR(info.st_mode))
    return Unrun(State::kLost, "its result " + ResultPath(job) + " is a directory", LogPath(job));
  return Unrun(State::kNotRun, "no result", "");
}

}  // namespace

void ReadResults(Study* study, const std::string& model) {
  // Jobs whose record says a cluster task runs them wait for one question
  // to Slurm; the others end as they are read.
  std::vector<std::pair<size_t, Result>> on_cluster;
  std::vector<std::string> jobs_running;
  std::optional<std::set<std::pair<dev_t, ino_t>>> held;
  bool held_read = false;
  for (size_t i = 0; i < study->jobs.size(); ++i) {
    const Job& job = study->jobs[i];
    int dirfd = OpenDirectory(job);
    std::optional<Result> result = dirfd >= 0 ? ReadResult(dirfd, job.result()) : std::nullopt;
    if (result && result->state == State::kRunning && result->task.empty()) {
      if (!held_read) held = HeldDirectoryLocks();
      held_read = true;
      SettleLocalRunning(dirfd, held, &*result);
    }
    if (result) MarkOutdated(dirfd, job, model, &*result);
    if (!result) result = Unread(dirfd, job);
    if (dirfd >= 0) close(dirfd);
    if (result->state == State::kRunning && !result->task.empty()) {
      jobs_running.push_back(result->task.substr(0, result->task.find('_')));
      on_cluster.emplace_back(i, std::move(*result));
    } else {
      study->End(i, *result);
    }
  }
  // A job whose cluster task Slurm no longer runs is not running any more.
  std::map<std::string, std::string> queued;
  bool known = jobs_running.empty() || QueuedTasks(jobs_running, &queued);
  for (auto& [i, r] : on_cluster) {
    if (known && queued.count(r.task) == 0) {
      r.state = State::kLost;
      r.meaning = "its task " + r.task + " ended without the job's result; see " + r.output;
    }
    study->End(i, r);
  }
}

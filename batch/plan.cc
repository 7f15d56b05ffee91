#include "batch/plan.h"

#include <fcntl.h>
#include <unistd.h>

#include <map>

#include "batch/escape.h"
#include "batch/inputs.h"
#include "batch/slurm_commands.h"

bool PrintPlan(const Study& study, const std::vector<std::vector<size_t>>& groups,
               const std::string& model, bool resume, FILE* out) {
  for (size_t g = 0; g < groups.size(); ++g) {
    const Job& first = study.jobs[groups[g].front()];
    std::fprintf(out, "task %zu: %s\n", g + 1, EscapeControls(first.directory).c_str());
    int dirfd = resume ? OpenDirectory(first) : -1;
    for (size_t i : groups[g]) {
      const Job& job = study.jobs[i];
      bool keep = dirfd >= 0 &&
                  KeepsResult(ReadResult(dirfd, job.result), HashInputs(dirfd, job, model));
      std::fprintf(out, "  %s  %s\n", EscapeControls(job.file).c_str(),
                   keep ? "reuse: finished, files unchanged" : "run");
    }
    if (dirfd >= 0) close(dirfd);
  }
  return std::fflush(out) == 0 && std::ferror(out) == 0;
}

void ReadResults(Study* study) {
  std::vector<Result> results;
  std::vector<std::string> jobs_running;
  for (size_t i = 0; i < study->jobs.size(); ++i) {
    std::optional<Result> result = ReadJobResult(study->jobs[i]);
    results.push_back(result ? *result : Unrun(State::kNotRun, "no result", ""));
    if (result && result->state == State::kRunning && !result->task.empty())
      jobs_running.push_back(result->task.substr(0, result->task.find('_')));
  }
  // A job whose cluster task Slurm no longer runs is not running any more.
  std::map<std::string, std::string> queued;
  bool known = jobs_running.empty() || QueuedTasks(jobs_running, &queued);
  for (size_t i = 0; i < results.size(); ++i) {
    Result& r = results[i];
    if (known && r.state == State::kRunning && !r.task.empty() && queued.count(r.task) == 0) {
      r.state = State::kLost;
      r.meaning = "its task " + r.task + " ended without the job's result; see " + r.output;
    }
    study->End(i, r);
  }
}

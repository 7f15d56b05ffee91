#include "batch/plan.h"

#include <fcntl.h>
#include <unistd.h>

#include "batch/escape.h"
#include "batch/inputs.h"

namespace {

/// Runs `read(dirfd)` for the open directory of `job`, or with -1.
int OpenDirectory(const Job& job) {
  return open(job.directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

}  // namespace

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
  for (size_t i = 0; i < study->jobs.size(); ++i) {
    const Job& job = study->jobs[i];
    int dirfd = OpenDirectory(job);
    std::optional<Result> result = dirfd >= 0 ? ReadResult(dirfd, job.result) : std::nullopt;
    if (dirfd >= 0) close(dirfd);
    if (result) {
      result->log = study->results[i].log;
      study->End(i, *result);
    } else {
      study->End(i, Unrun(State::kNotRun, "no result", study->results[i].log));
    }
  }
}

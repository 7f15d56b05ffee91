#include "batch/summary_target.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "batch/inputs.h"

namespace {

/// `name`, a file of `job`'s directory unless it is absolute.
std::string InDirectory(const Job& job, const std::string& name) {
  return name.empty() || name[0] == '/' ? name : PathInDirectory(job, name);
}

}  // namespace

std::vector<std::string> StudyInputs(const std::vector<Job>& jobs, const std::string& model,
                                     const std::vector<std::string>& lists) {
  std::vector<std::string> inputs;
  for (const Job& job : jobs) {
    inputs.push_back(job.path);
    int dirfd = OpenDirectory(job);
    if (dirfd < 0) continue;
    // The files the run reads: NAME.kcf before NAME.acf, and its model.
    std::string file = CommandFile(dirfd, job);
    std::string named = job.script ? model : ModelNamed(dirfd, file);
    close(dirfd);
    inputs.push_back(PathInDirectory(job, file));
    if (!named.empty()) inputs.push_back(InDirectory(job, named));
  }
  for (const std::string& list : lists) inputs.push_back(list == "-" ? "/dev/stdin" : list);
  return inputs;
}

std::string SummaryTargetProblem(const std::string& path, const std::vector<std::string>& inputs) {
  struct stat target;
  if (lstat(path.c_str(), &target) != 0)
    return errno == ENOENT ? "" : "--summary " + path + ": " + std::strerror(errno);
  if (!S_ISREG(target.st_mode))
    return "--summary " + path + " is no regular file; it is left as it is";
  for (const std::string& input : inputs) {
    struct stat info;
    if (stat(input.c_str(), &info) == 0 && info.st_dev == target.st_dev &&
        info.st_ino == target.st_ino)
      return "--summary " + path + " is " + input + ", which the study reads";
  }
  return "";
}

#include "batch/jobs.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <map>

std::string ParseJob(const std::string& path, Job* job) {
  size_t slash = path.rfind('/');
  job->path = path;
  job->directory = slash == std::string::npos ? "." : path.substr(0, slash);
  if (job->directory.empty()) job->directory = "/";
  job->file = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t dot = job->file.rfind('.');
  std::string extension = dot == std::string::npos ? "" : job->file.substr(dot);
  if (dot == 0 || (extension != ".kcf" && extension != ".acf" && extension != ".kss"))
    return "is no .kcf, .acf or .kss file";
  job->base = job->file.substr(0, dot);
  job->script = extension == ".kss";
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return "is no file";
  char real[PATH_MAX];
  if (realpath(job->directory.c_str(), real) == nullptr) return "has no directory";
  job->key = real;
  std::string prefix = job->directory == "." ? "" : job->directory + "/";
  job->log = prefix + job->base + ".log";
  job->result = prefix + job->base + ".result";
  return "";
}

std::vector<std::vector<size_t>> GroupByDirectory(const std::vector<Job>& jobs) {
  std::vector<std::vector<size_t>> groups;
  std::map<std::string, size_t> group_of;
  for (size_t i = 0; i < jobs.size(); ++i) {
    auto [at, added] = group_of.emplace(jobs[i].key, groups.size());
    if (added) groups.emplace_back();
    groups[at->second].push_back(i);
  }
  return groups;
}

std::vector<std::string> LauncherArguments(const Job& job, const std::string& model) {
  if (job.script) return {model, job.base};
  return {job.base};
}

#include "batch/jobs.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <utility>

bool NameJob(const std::string& directory, const std::string& file, Job* job) {
  job->directory = directory;
  job->file = file;
  job->path = PathInDirectory(*job, file);
  size_t dot = file.rfind('.');
  std::string extension = dot == std::string::npos ? "" : file.substr(dot);
  if (dot == 0 || (extension != ".kcf" && extension != ".acf" && extension != ".kss"))
    return false;
  job->script = extension == ".kss";
  return true;
}

std::string ParseJob(const std::string& path, Job* job) {
  size_t slash = path.rfind('/');
  std::string directory = slash == std::string::npos ? std::string(".")
                          : slash == 0                ? std::string("/")
                                                      : path.substr(0, slash);
  if (!NameJob(directory, slash == std::string::npos ? path : path.substr(slash + 1), job))
    return "is no .kcf, .acf or .kss file";
  job->path = path;
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return "is no file";
  if (stat(job->directory.c_str(), &info) != 0) return "has no directory";
  job->device = info.st_dev;
  job->inode = info.st_ino;
  return "";
}

std::string PathInDirectory(const Job& job, const std::string& name) {
  if (job.directory == ".") return name;
  if (job.directory == "/") return "/" + name;
  return job.directory + "/" + name;
}

std::string LogPath(const Job& job) { return PathInDirectory(job, job.log()); }

std::string ResultPath(const Job& job) { return PathInDirectory(job, job.result()); }

int OpenDirectory(const Job& job) {
  return open(job.directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

std::vector<std::vector<size_t>> GroupByDirectory(const std::vector<Job>& jobs) {
  std::vector<std::vector<size_t>> groups;
  std::map<std::pair<dev_t, ino_t>, size_t> group_of;
  for (size_t i = 0; i < jobs.size(); ++i) {
    auto [at, added] = group_of.emplace(std::make_pair(jobs[i].device, jobs[i].inode),
                                        groups.size());
    if (added) groups.emplace_back();
    groups[at->second].push_back(i);
  }
  groups.shrink_to_fit();
  return groups;
}

namespace {

/// `name` as the launcher takes it for a file, never for an option: with
/// "./" before it when it begins with '-'.
std::string AsOperand(const std::string& name) {
  return !name.empty() && name[0] == '-' ? "./" + name : name;
}

}  // namespace

std::vector<std::string> LauncherArguments(const Job& job, const std::string& model) {
  if (job.script) return {AsOperand(model), AsOperand(job.base())};
  return {AsOperand(job.base())};
}

std::string ReadJobList(const std::string& path, std::vector<std::string>* paths,
                        std::vector<std::string>* origins) {
  std::string name = path == "-" ? "standard input" : path;
  FILE* in = path == "-" ? stdin : std::fopen(path.c_str(), "r");
  if (in == nullptr) return "cannot read " + name + ": " + std::strerror(errno);
  char* line = nullptr;
  size_t room = 0;
  ssize_t n;
  std::string why;
  for (size_t number = 1; why.empty() && (n = getline(&line, &room, in)) > 0; ++number) {
    std::string entry(line, static_cast<size_t>(n));
    if (entry.back() == '\n') entry.pop_back();
    if (entry.find('\0') != std::string::npos)
      why = name + ": line " + std::to_string(number) + " holds a NUL byte";
    else if (!entry.empty())
      paths->push_back(entry);
    if (why.empty() && !entry.empty() && origins != nullptr)
      origins->push_back(name + ", line " + std::to_string(number));
  }
  if (why.empty() && std::ferror(in) != 0) why = "cannot read " + name + ": " + std::strerror(errno);
  std::free(line);
  if (in != stdin) std::fclose(in);
  return why;
}

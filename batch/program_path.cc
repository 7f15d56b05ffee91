#include "batch/program_path.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

/// Whether `path` is a file this process may run; `*error` says why not.
bool Runnable(const std::string& path, int* error) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || access(path.c_str(), X_OK) != 0) {
    *error = errno;
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    *error = EACCES;
    return false;
  }
  return true;
}

std::string WorkingDirectory() {
  char here[PATH_MAX];
  return getcwd(here, sizeof here) != nullptr ? here : ".";
}

}  // namespace

std::string ResolveProgram(const std::string& name, std::string* why) {
  int error = ENOENT;
  if (name.find('/') != std::string::npos) {
    std::string path = AbsolutePath(name);
    if (Runnable(path, &error)) return path;
  } else if (!name.empty()) {
    const char* search = std::getenv("PATH");
    std::string list = search != nullptr ? search : "/usr/local/bin:/usr/bin:/bin";
    for (size_t from = 0; from <= list.size();) {
      size_t colon = list.find(':', from);
      if (colon == std::string::npos) colon = list.size();
      // An empty entry is the working directory.
      std::string dir = colon > from ? list.substr(from, colon - from) : std::string(".");
      std::string path = AbsolutePath(dir) + "/" + name;
      int tried;
      if (Runnable(path, &tried)) return path;
      if (tried != ENOENT) error = tried;
      from = colon + 1;
    }
  }
  *why = "cannot run " + name + ": " + std::strerror(error);
  return "";
}

std::string AbsolutePath(const std::string& path) {
  return path[0] == '/' ? path : WorkingDirectory() + "/" + path;
}

std::string SelfPath() {
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return "kvsolver-batch";
  path[n] = '\0';
  return path;
}

#include "batch/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

/// Writes `text` whole to `fd`. Returns an empty text or why not.
std::string WriteWhole(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::strerror(n < 0 ? errno : ENOSPC);
    done += static_cast<size_t>(n);
  }
  return "";
}

/// Gives `fd` the mode a new file gets: 0666 less the umask.
std::string SetCreationMode(int fd) {
  mode_t mask = umask(0);
  umask(mask);
  return fchmod(fd, 0666 & ~mask) == 0 ? "" : std::strerror(errno);
}

}  // namespace

std::string NotReplaceable(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode)) return "";
  return path + ": not a regular file";
}

std::string ReplaceFile(const std::string& path, const std::string& text,
                        const std::string& temporary) {
  std::string why = NotReplaceable(path);
  if (!why.empty()) return "cannot write " + why;
  size_t slash = path.rfind('/');
  std::string name =
      (slash == std::string::npos ? "" : path.substr(0, slash + 1)) + temporary + "XXXXXX";
  int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return "cannot write " + path + ": " + std::strerror(errno);
  why = WriteWhole(fd, text);
  if (why.empty()) why = SetCreationMode(fd);
  if (close(fd) != 0 && why.empty()) why = std::strerror(errno);
  if (why.empty() && rename(name.c_str(), path.c_str()) != 0) why = std::strerror(errno);
  if (why.empty()) return "";
  unlink(name.c_str());
  return "cannot write " + path + ": " + why;
}

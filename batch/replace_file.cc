#include "batch/replace_file.h"

#include <fcntl.h>
#include <sys/random.h>
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

/// The mode a new file gets: 0666 less the umask.
mode_t CreationMode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

/// Creates a file of its own in `dirfd`, named `temporary` and six random
/// characters, into `*name`. Returns its descriptor, or -1 with errno.
int CreateTemporary(int dirfd, const std::string& temporary, std::string* name) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned char random[6];
    if (getrandom(random, sizeof random, 0) != sizeof random) return -1;
    *name = temporary;
    for (unsigned char byte : random) *name += kLetters[byte % (sizeof kLetters - 1)];
    int fd = openat(dirfd, name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    0600);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
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
  std::string directory = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  int dirfd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirfd < 0) return "cannot write " + path + ": " + std::strerror(errno);
  why = ReplaceFileAt(dirfd, path.substr(slash + 1), text, CreationMode(), temporary, path);
  close(dirfd);
  return why;
}

std::string ReplaceFileAt(int dirfd, const std::string& name, const std::string& text,
                          mode_t mode, const std::string& temporary, const std::string& shown) {
  std::string made;
  int fd = CreateTemporary(dirfd, temporary, &made);
  if (fd < 0) return "cannot write " + shown + ": " + std::strerror(errno);
  std::string why = WriteWhole(fd, text);
  if (why.empty() && fchmod(fd, mode) != 0) why = std::strerror(errno);
  if (close(fd) != 0 && why.empty()) why = std::strerror(errno);
  if (why.empty() && renameat(dirfd, made.c_str(), dirfd, name.c_str()) != 0)
    why = std::strerror(errno);
  if (why.empty()) return "";
  unlinkat(dirfd, made.c_str(), 0);
  return "cannot write " + shown + ": " + why;
}

#include "batch/read_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

/// Reads the open `fd` to its end into `*text`; errno's text, or empty.
std::string ReadFd(int fd, std::string* text) {
  char block[1 << 16];
  for (;;) {
    ssize_t n = read(fd, block, sizeof block);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::strerror(errno);
    if (n == 0) return "";
    text->append(block, static_cast<size_t>(n));
  }
}

/// Reads the file opened as `fd` (or -1, errno set) and closes it.
std::string ReadOpened(int fd, const std::string& shown, std::string* text) {
  if (fd < 0) return "cannot read " + shown + ": " + std::strerror(errno);
  struct stat info;
  std::string why = fstat(fd, &info) != 0 ? std::strerror(errno)
                    : S_ISREG(info.st_mode) ? ReadFd(fd, text)
                                            : "not a regular file";
  close(fd);
  return why.empty() ? "" : "cannot read " + shown + ": " + why;
}

}  // namespace

std::string ReadWholeFile(const std::string& path, std::string* text) {
  return ReadOpened(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC), path, text);
}

std::string ReadWholeFileAt(int dirfd, const std::string& name, const std::string& shown,
                            std::string* text) {
  return ReadOpened(openat(dirfd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC),
                    shown, text);
}

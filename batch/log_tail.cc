#include "batch/log_tail.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

/// Reads up to `bytes` bytes of `fd` from its end into `*text`. Returns
/// whether it started past the file's beginning, and -1 on failure.
int ReadEnd(int fd, size_t bytes, std::string* text) {
  struct stat info;
  if (fstat(fd, &info) != 0) return -1;
  if (!S_ISREG(info.st_mode)) {
    errno = EINVAL;
    return -1;
  }
  off_t size = info.st_size;
  off_t from = size > static_cast<off_t>(bytes) ? size - static_cast<off_t>(bytes) : 0;
  text->resize(static_cast<size_t>(size - from));
  size_t done = 0;
  while (done < text->size()) {
    ssize_t n =
        pread(fd, text->data() + done, text->size() - done, from + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  text->resize(done);
  return from > 0 ? 1 : 0;
}

/// `text`'s last `lines` lines; a first line that began before `text`
/// did (`partial`) is dropped. Sets `*cut` when lines were left out.
std::string LastLines(const std::string& text, size_t lines, bool partial, bool* cut) {
  size_t begin = 0;
  if (partial) {
    size_t newline = text.find('\n');
    begin = newline == std::string::npos ? text.size() : newline + 1;
  }
  size_t end = text.size();
  if (end > begin && text[end - 1] == '\n') --end;
  size_t from = end;
  for (size_t taken = 0; from > begin; --from)
    if (text[from - 1] == '\n' && ++taken == lines) break;
  *cut = partial || from > begin;
  return from < end ? text.substr(from, end - from) + "\n" : "";
}

}  // namespace

LogTail ReadLogTail(const std::string& path, size_t lines, size_t bytes) {
  LogTail tail;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW);
  std::string text;
  int partial = fd < 0 ? -1 : ReadEnd(fd, bytes, &text);
  if (partial < 0) {
    bool other = errno == EINVAL || errno == ELOOP;
    tail.problem = "cannot read " + path + ": " +
                   (other ? std::string("not a regular file") : std::strerror(errno));
  } else {
    tail.text = LastLines(text, lines, partial == 1, &tail.cut);
  }
  if (fd >= 0) close(fd);
  return tail;
}

#include "command_input/file_code.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "command_input/converter.h"

namespace {

/// Opens `path` for reading as bytes if it is a regular file. A directory,
/// a device or a FIFO can't be a command file, and opening one never
/// waits: a FIFO without a writer is refused at once, unread.
FILE* OpenRegularFile(const char* path) {
  int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || fcntl(fd, F_SETFL, 0) != 0) {
    close(fd);
    return nullptr;
  }
  FILE* file = fdopen(fd, "rb");
  if (file == nullptr) close(fd);
  return file;
}

/// Reads the first bytes of `file` and sets `*code` when they are a mark.
void DetectMark(FILE* file, enFileCode* code) {
  unsigned char head[3] = {0, 0, 0};
  size_t n = std::fread(head, 1, sizeof head, file);
  if (n >= 2 && head[0] == 0xFF && head[1] == 0xFE)
    *code = FileCodeUnicode;
  else if (n == 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF)
    *code = FileCodeUtf8;
}

}  // namespace

FILE* OpenFileAsFileCode(enFileCode* code, const char* path) {
  FILE* file = OpenRegularFile(path);
  if (file == nullptr) return nullptr;
  std::fclose(file);

  RunConverter(path);

  file = OpenRegularFile(path);
  if (file == nullptr) return nullptr;
  DetectMark(file, code);
  std::rewind(file);
  return file;
}

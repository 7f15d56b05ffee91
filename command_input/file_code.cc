#include "command_input/file_code.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "command_input/converter.h"
#include "command_input/line_reader.h"

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

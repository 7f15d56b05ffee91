#include "command_input/file_code.h"

#include <sys/stat.h>

#include "command_input/converter.h"

namespace {

/// Opens `path` for reading if it is a regular file: a directory or a device
/// can't be a command file.
FILE* OpenRegularFile(const char* path) {
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return nullptr;
  struct stat info;
  if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) {
    std::fclose(file);
    return nullptr;
  }
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

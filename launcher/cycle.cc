#include "launcher/cycle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "command_input/writers.h"
#include "console/console.h"
#include "console/messages.h"
#include "launcher/return_values.h"
#include "launcher/stream_lock.h"

namespace {

/// Opens the command stream for writing, locks it and empties it. A
/// symbolic link in its place is never followed, whether it points at a
/// file of the user's or nowhere, and a FIFO or device there is never
/// waited on: only a regular file is the stream. Nor is a file with another
/// hard link, which may be a file of the user's or a cloned directory's
/// stream; it is refused before its lock is tried, so a run in the clone
/// never waits on this one. A stream another run holds is left as it is,
/// and `*in_use` set.
FILE* OpenCommandStream(int* lock, bool* in_use) {
  int fd = open(kCommandStreamName,
                O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink > 1) {
    close(fd);
    return nullptr;
  }
  *in_use = LockCommandStream(fd, lock) == StreamLock::kInUse;
  if (*in_use) {
    close(fd);
    return nullptr;
  }
  if (ftruncate(fd, 0) != 0 || fcntl(fd, F_SETFL, 0) != 0) {
    close(fd);
    return nullptr;
  }
  FILE* stream = fdopen(fd, "w");
  if (stream == nullptr) close(fd);
  return stream;
}

/// The console dialogue: an auto-command file named at the first prompt,
/// or a model name after a bare ENTER.
void ReadFromDialogue(FILE* stream, char* mode, DialogueState* dialogue) {
  std::string& answer = dialogue->answer;
  if (!ReadFromConsol(stream, &answer, mode)) throw kRunEnded;
  if (answer == "\n") return;
  if (answer.empty()) {
    // End of input gives an empty base name once; met again, it ends the
    // dialogue rather than running the same file over and over.
    if (dialogue->input_ended) throw kRunEnded;
    dialogue->input_ended = true;
  }
  std::string base = answer;
  if (!base.empty() && base.back() == '\n') base.pop_back();
  if (!ReadFromKcf(stream, base.c_str())) throw kNoAutoCommandFile;
}

}  // namespace

FILE* CreateCommandStream(int* lock) {
  bool in_use = false;
  FILE* stream = OpenCommandStream(lock, &in_use);
  if (in_use) {
    Print(kStreamInUse);
    throw kStreamInUseByAnotherRun;
  }
  if (stream == nullptr) {
    Print(kCannotCreateStream);
    throw kStreamFailed;
  }
  // Long scripts are copied in large writes.
  std::setvbuf(stream, nullptr, _IOFBF, size_t{1} << 16);
  return stream;
}

void ReadCommands(int argc, char** argv, FILE* stream, char* mode,
                  DialogueState* dialogue) {
  switch (argc) {
    case 1:
      ReadFromDialogue(stream, mode, dialogue);
      return;
    case 2:
      std::strcpy(mode, "sta");
      if (!ReadFromKcf(stream, argv[1])) throw kNoAutoCommandFile;
      return;
    case 3:
      // The name becomes the stream's first line: a line end in it would
      // hand the solver lines that no file holds.
      if (std::strpbrk(argv[1], "\n\r") != nullptr) {
        Print(kModelNameHoldsLineEnd);
        throw kUsageError;
      }
      std::strcpy(mode, "sta");
      if (!ReadFromKss(stream, argv[1], argv[2])) throw kNoSolverScript;
      return;
    default:
      Print(kUsage);
      throw kUsageError;
  }
}

void CloseCommandStream(FILE** stream) {
  bool failed = std::ferror(*stream) != 0;
  if (std::fclose(*stream) != 0) failed = true;
  *stream = nullptr;
  if (failed) {
    Print(kCannotWriteStream);
    throw kStreamFailed;
  }
}

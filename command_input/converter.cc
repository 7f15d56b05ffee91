#include "command_input/converter.h"

#include <cerrno>
#include <spawn.h>
#include <sys/wait.h>

#include "console/console.h"

extern char** environ;

void RunConverter(const char* path) {
  // The converter shares the console; what was printed so far comes first.
  FlushConsole();
  char program[] = "dos2unix";
  // A symbolic link is converted like the file it names, not skipped.
  char follow_links[] = "-F";
  char end_of_options[] = "--";
  char* argv[] = {program, follow_links, end_of_options, const_cast<char*>(path),
                  nullptr};
  pid_t pid;
  if (posix_spawnp(&pid, program, nullptr, nullptr, argv, environ) != 0)
    return;
  int status;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

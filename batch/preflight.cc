#include "batch/preflight.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "batch/inputs.h"
#include "batch/outcome.h"
#include "batch/spawn.h"

namespace {

/// The exit statuses of a program that never ran: 126, it can't be
/// executed; 127, it or a library it needs can't be found or loaded.
bool NeverRan(int status) {
  return WIFEXITED(status) && (WEXITSTATUS(status) == 126 || WEXITSTATUS(status) == 127);
}

/// The first line of `text` that holds anything.
std::string FirstLine(const std::string& text) {
  size_t start = text.find_first_not_of('\n');
  if (start == std::string::npos) return "";
  return text.substr(start, text.find('\n', start) - start);
}

/// Runs `launcher --version` in directory `dirfd`, its output into the
/// file open at `output`. Returns its wait status, or -1 when it could not
/// be started.
int RunVersion(const std::string& launcher, int dirfd, int output) {
  Launch launch;
  launch.argv = {launcher, "--version"};
  launch.directory = dirfd;
  launch.output = output;
  std::string why;
  pid_t pid = Start(launch, &why);
  if (pid < 0) return -1;
  Sender sender;
  rusage usage;
  return WaitFor(pid, Limits{60, 1}, &sender, &usage);
}

}  // namespace

std::string LauncherProblem(const std::string& launcher) {
  const char* tmp = std::getenv("TMPDIR");
  std::string scratch = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                        "/kvsolver-batch-check-XXXXXX";
  // A check that can't be made (no scratch directory, no process to spare)
  // stops nothing: the jobs tell what happens.
  if (mkdtemp(scratch.data()) == nullptr) return "";
  int dirfd = open(scratch.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  int output = dirfd >= 0 ? openat(dirfd, "output", O_RDWR | O_CREAT | O_CLOEXEC, 0600) : -1;
  int status = output >= 0 ? RunVersion(launcher, dirfd, output) : -1;
  std::string why;
  if (status != -1 && NeverRan(status))
    why = "the launcher " + launcher + " can't start (exit status " +
          std::to_string(WEXITSTATUS(status)) + "): " + FirstLine(ReadTail(output)) +
          "; every job would fail";
  if (output >= 0) close(output);
  if (dirfd >= 0) close(dirfd);
  std::error_code ignored;
  std::filesystem::remove_all(scratch, ignored);
  return why;
}

std::string JobProblem(int dirfd, const Job& job, const std::string& model) {
  std::string named = ModelFile(dirfd, job, model);
  if (named.empty()) return CommandFile(dirfd, job) + " names no model";
  struct stat info;
  if (fstatat(dirfd, named.c_str(), &info, 0) != 0 || !S_ISREG(info.st_mode))
    return "its model " + named + " is not there";
  return "";
}

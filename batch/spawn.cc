#include "batch/spawn.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>

#include "batch/signals.h"

namespace {

using Clock = std::chrono::steady_clock;

/// In the child: everything Start promises, then the program. Reports a
/// failure to exec as its errno on `report`.
[[noreturn]] void RunChild(const Launch& launch, pid_t parent, int report) {
  setpgid(0, 0);
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() != parent) _exit(127);
  struct sigaction action = {};
  action.sa_handler = SIG_DFL;
  for (int signal = 1; signal < NSIG; ++signal) sigaction(signal, &action, nullptr);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  int error = 0;
  int input = open("/dev/null", O_RDONLY);
  if (input < 0 || dup2(input, STDIN_FILENO) < 0) error = errno;
  if (error == 0 && launch.directory >= 0 && fchdir(launch.directory) != 0) error = errno;
  if (error == 0 && launch.output >= 0 &&
      (dup2(launch.output, STDOUT_FILENO) < 0 || dup2(launch.output, STDERR_FILENO) < 0))
    error = errno;
  if (error == 0 && launch.error >= 0 && dup2(launch.error, STDERR_FILENO) < 0) error = errno;
  if (error == 0) {
    std::vector<char*> args;
    for (const std::string& arg : launch.argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    error = errno;
  }
  [[maybe_unused]] ssize_t n = write(report, &error, sizeof error);
  _exit(127);
}

double SecondsUntil(Clock::time_point when) {
  return std::chrono::duration<double>(when - Clock::now()).count();
}

}  // namespace

pid_t ForkRetrying() {
  pid_t pid = -1;
  for (int tries = 0; tries < 5; ++tries) {
    pid = fork();
    if (pid >= 0 || errno != EAGAIN) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100 << tries));
  }
  return pid;
}

pid_t Start(const Launch& launch, std::string* why) {
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) {
    *why = std::string("cannot start ") + launch.argv[0] + ": " + std::strerror(errno);
    return -1;
  }
  pid_t parent = getpid(), pid = ForkRetrying();
  if (pid == 0) RunChild(launch, parent, report[1]);
  int error = pid < 0 ? errno : 0;
  close(report[1]);
  if (pid > 0) {
    ssize_t n;
    while ((n = read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    if (n != sizeof error) error = 0;
    if (error != 0) waitpid(pid, nullptr, 0);
  }
  close(report[0]);
  if (error == 0) return pid;
  *why = std::string("cannot start ") + launch.argv[0] + ": " + std::strerror(error);
  return -1;
}

int WaitFor(pid_t pid, const Limits& limits, Sender* sender) {
  *sender = Sender::kNobody;
  int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  Clock::time_point never = Clock::time_point::max();
  Clock::time_point deadline = limits.timeout > 0
      ? Clock::now() + std::chrono::duration_cast<Clock::duration>(
                           std::chrono::duration<double>(limits.timeout))
      : never;
  Clock::time_point kill_at = never;
  for (;;) {
    int status;
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid || (done < 0 && errno != EINTR)) {
      if (pidfd >= 0) close(pidfd);
      return done == pid ? status : 0;
    }
    bool timed_out = deadline != never && SecondsUntil(deadline) <= 0;
    if (kill_at == never && (StopSignal() != 0 || timed_out)) {
      *sender = StopSignal() != 0 ? Sender::kBatch : Sender::kTimeout;
      kill(-pid, SIGTERM);
      kill_at = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                   std::chrono::duration<double>(limits.kill_after));
    } else if (kill_at != never && SecondsUntil(kill_at) <= 0) {
      kill(-pid, SIGKILL);
    }
    Clock::time_point next = kill_at != never ? kill_at : deadline;
    double wait = next == never ? -1 : SecondsUntil(next);
    int timeout_ms = wait < 0 ? (next == never ? -1 : 0) : static_cast<int>(wait * 1000) + 1;
    if (pidfd < 0 && (timeout_ms < 0 || timeout_ms > 50)) timeout_ms = 50;
    struct pollfd fds[2] = {{pidfd, POLLIN, 0}, {WakeDescriptor(), POLLIN, 0}};
    poll(fds, 2, timeout_ms);
    DrainWake();
  }
}

int Capture(const std::vector<std::string>& argv, std::string* out, std::string* err) {
  int out_pipe[2] = {-1, -1}, err_pipe[2] = {-1, -1};
  if ((out != nullptr && pipe2(out_pipe, O_CLOEXEC) != 0) ||
      (err != nullptr && pipe2(err_pipe, O_CLOEXEC) != 0)) {
    if (err != nullptr) *err = std::string("cannot start ") + argv[0] + ": " + std::strerror(errno);
    return -1;
  }
  Launch launch;
  launch.argv = argv;
  launch.output = out_pipe[1];
  launch.error = err_pipe[1];
  std::string why;
  pid_t pid = Start(launch, &why);
  for (int fd : {out_pipe[1], err_pipe[1]})
    if (fd >= 0) close(fd);
  struct pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  std::string* into[2] = {out, err};
  while (fds[0].fd >= 0 || fds[1].fd >= 0) {
    if (poll(fds, 2, -1) < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char block[4096];
      ssize_t n = read(fds[i].fd, block, sizeof block);
      if (n > 0) {
        into[i]->append(block, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        close(fds[i].fd);
        fds[i].fd = -1;
      }
    }
  }
  if (pid < 0) {
    if (err != nullptr) *err = why;
    return -1;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

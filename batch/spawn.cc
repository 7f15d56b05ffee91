#include "batch/spawn.h"

#include <fcntl.h>
#include <sched.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <set>
#include <thread>

#include "batch/signals.h"

namespace {

using Clock = std::chrono::steady_clock;

/// The time `seconds` from now.
Clock::time_point After(double seconds) {
  return Clock::now() +
         std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

double SecondsUntil(Clock::time_point when) {
  return std::chrono::duration<double>(when - Clock::now()).count();
}

/// Calls `start` (a fork) with every signal blocked for its length, `tries`
/// times, a little later each, while the system is out of processes.
pid_t Retrying(int tries, const std::function<pid_t()>& start) {
  pid_t pid = -1;
  for (int attempt = 0; attempt < tries; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(100 << attempt));
    if (StopSignal() != 0 && attempt > 0) break;
    sigset_t mask = HoldSignals();
    pid = start();
    if (pid == 0) return 0;
    int error = errno;
    ReleaseSignals(mask);
    errno = error;
    if (pid > 0 || errno != EAGAIN) break;
  }
  return pid;
}

/// What a child started by StartProcess needs, made before it starts: it
/// shares this process's memory until it execs, so it allocates nothing.
struct ChildPlan {
  const Launch* launch;
  std::vector<char*> argv;  ///< launch->argv's texts, ended by a null
  pid_t parent;
  int error = 0;  ///< why it could not exec, set by the child
};

/// In the child: everything Start promises, then the program. A failure
/// to exec is left as its errno in the plan.
int RunChild(void* arg) {
  ChildPlan* plan = static_cast<ChildPlan*>(arg);
  const Launch& launch = *plan->launch;
  setpgid(0, 0);
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() != plan->parent) _exit(127);
  DefaultSignals();
  int error = 0;
  int input = open("/dev/null", O_RDONLY);
  if (input < 0 || dup2(input, STDIN_FILENO) < 0) error = errno;
  if (error == 0 && launch.directory >= 0 && fchdir(launch.directory) != 0) error = errno;
  if (error == 0 && launch.output >= 0 &&
      (dup2(launch.output, STDOUT_FILENO) < 0 || dup2(launch.output, STDERR_FILENO) < 0))
    error = errno;
  if (error == 0 && launch.error >= 0 && dup2(launch.error, STDERR_FILENO) < 0) error = errno;
  if (error == 0) {
    execvp(plan->argv[0], plan->argv.data());
    error = errno;
  }
  plan->error = error;
  _exit(127);
}

/// Starts RunChild as vfork() would: sharing this process's memory until
/// it execs, with this process waiting until then. Unlike fork(), its cost
/// does not grow with this process's memory, which holds a whole study.
pid_t CloneChild(ChildPlan* plan) {
  // One at a time: this process waits while a child runs on it.
  alignas(64) static char stack[1 << 18];
  return clone(RunChild, stack + sizeof stack, CLONE_VM | CLONE_VFORK | SIGCHLD, plan);
}

/// Start without the adopting: for the programs whose children are theirs.
pid_t StartProcess(const Launch& launch, std::string* why) {
  ChildPlan plan{&launch, {}, getpid()};
  for (const std::string& arg : launch.argv) plan.argv.push_back(const_cast<char*>(arg.c_str()));
  plan.argv.push_back(nullptr);
  pid_t pid = Retrying(5, [&plan] { return CloneChild(&plan); });
  int error = pid < 0 ? errno : plan.error;
  if (pid > 0 && error != 0) waitpid(pid, nullptr, 0);
  if (error == 0) return pid;
  *why = std::string("cannot start ") + launch.argv[0] + ": " + std::strerror(error);
  return -1;
}

/// This process's children, started or adopted, as /proc lists them.
std::vector<pid_t> Children() {
  std::string path = "/proc/self/task/" + std::to_string(getpid()) + "/children";
  std::vector<pid_t> children;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return children;
  std::string text;
  char block[512];
  ssize_t n;
  while ((n = read(fd, block, sizeof block)) > 0) text.append(block, static_cast<size_t>(n));
  close(fd);
  const char* at = text.c_str();
  char* end = nullptr;
  for (long child; (child = std::strtol(at, &end, 10)), end != at; at = end)
    children.push_back(static_cast<pid_t>(child));
  return children;
}

/// Reaps what has ended of the run led by `leader`: its group, and the
/// children outside it; the leader's wait status goes to `*status`, and
/// the kernel's account of what it used to `*usage`. Returns the children
/// that remain.
std::vector<pid_t> Reap(pid_t leader, int* status, rusage* usage) {
  int ended;
  pid_t done;
  rusage used;
  while ((done = wait4(-leader, &ended, WNOHANG, &used)) > 0) {
    if (done != leader) continue;
    *status = ended;
    *usage = used;
  }
  std::vector<pid_t> remaining;
  for (pid_t child : Children()) {
    if (wait4(child, &ended, WNOHANG, &used) != child) {
      remaining.push_back(child);
    } else if (child == leader) {
      *status = ended;
      *usage = used;
    }
  }
  return remaining;
}

/// Whether any process is left in the group of `leader`.
bool GroupAlive(pid_t leader) {
  return kill(-leader, 0) == 0 || errno == EPERM;
}

/// Sends `signal` to each of `children` and to the group each leads; with
/// SIGTERM, once a child, and not to those of `leader`'s group, which had
/// theirs.
void SignalChildren(pid_t leader, const std::vector<pid_t>& children, int signal,
                    std::set<pid_t>* warned) {
  for (pid_t child : children) {
    pid_t group = getpgid(child);
    if (signal == SIGTERM && (group == leader || !warned->insert(child).second)) continue;
    kill(child, signal);
    if (group == child) kill(-child, signal);
  }
}

/// Ends what is left of the run led by `leader`: SIGTERM to its group and
/// to the children this process adopted, SIGKILL `kill_after` seconds
/// later; gives up on what is still there as long again after that.
void EndRun(pid_t leader, double kill_after, int* status, rusage* usage) {
  kill(-leader, SIGTERM);
  std::set<pid_t> warned;
  Clock::time_point kill_at = After(kill_after), give_up = Clock::time_point::max();
  for (;;) {
    std::vector<pid_t> children = Reap(leader, status, usage);
    if (!GroupAlive(leader) && children.empty()) return;
    bool late = SecondsUntil(kill_at) <= 0;
    if (late && give_up == Clock::time_point::max()) give_up = After(kill_after);
    if (SecondsUntil(give_up) <= 0) return;
    if (late) kill(-leader, SIGKILL);
    SignalChildren(leader, children, late ? SIGKILL : SIGTERM, &warned);
    poll(nullptr, 0, 10);
  }
}

/// Whether `pid` has ended; it is left to be reaped, so that its process
/// group's id stays its own.
bool HasEnded(pid_t pid) {
  siginfo_t info = {};
  int done;
  while ((done = waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT)) < 0 &&
         errno == EINTR) {
  }
  return done < 0 || info.si_pid == pid;
}

/// How long to poll until `deadline` (never: without end), in milliseconds.
int PollTimeout(Clock::time_point deadline, bool have_pidfd) {
  int timeout_ms = -1;
  if (deadline != Clock::time_point::max())
    timeout_ms = static_cast<int>(std::max(0.0, SecondsUntil(deadline)) * 1000) + 1;
  if (!have_pidfd && (timeout_ms < 0 || timeout_ms > 50)) timeout_ms = 50;
  return timeout_ms;
}

}  // namespace

pid_t ForkRetrying(int tries) {
  return Retrying(tries, [] { return fork(); });
}

void CloseDescriptorsBut(int keep) {
  unsigned first = 3;
  if (keep >= 3) {
    if (keep > 3) close_range(3, static_cast<unsigned>(keep) - 1, 0);
    first = static_cast<unsigned>(keep) + 1;
  }
  close_range(first, ~0U, 0);
}

pid_t Start(const Launch& launch, std::string* why) {
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  return StartProcess(launch, why);
}

int WaitFor(pid_t pid, const Limits& limits, Sender* sender, rusage* usage) {
  *sender = Sender::kNobody;
  int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  Clock::time_point deadline =
      limits.timeout > 0 ? After(limits.timeout) : Clock::time_point::max();
  while (!HasEnded(pid)) {
    if (StopSignal() != 0 || SecondsUntil(deadline) <= 0) {
      *sender = StopSignal() != 0 ? Sender::kBatch : Sender::kTimeout;
      break;
    }
    struct pollfd fds[2] = {{pidfd, POLLIN, 0}, {WakeDescriptor(), POLLIN, 0}};
    poll(fds, 2, PollTimeout(deadline, pidfd >= 0));
    DrainWake();
  }
  if (pidfd >= 0) close(pidfd);
  int status = 0;
  *usage = {};
  EndRun(pid, limits.kill_after, &status, usage);
  return status;
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
  pid_t pid = StartProcess(launch, &why);
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

#include "batch/local.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "batch/signals.h"
#include "batch/spawn.h"

namespace {

/// A task that is running, as the batch sees it. A task runs the groups
/// the batch orders it to, one after another, so that a study of many
/// small jobs forks the batch once a slot rather than once a group.
struct Running {
  pid_t pid;
  int channel;           ///< its socket: reports come in, orders go out
  size_t group;          ///< the group it was last ordered to run
  size_t reported = 0;   ///< the results of that group it has reported
  bool ordering = true;  ///< whether it may be ordered another group
  std::string buffer{};  ///< the part of a report line read so far
};

/// Descriptors the batch keeps free for its own files (the summary) while
/// tasks run.
constexpr int kSpareDescriptors = 8;

/// Whether `error` says the system is short of descriptors or processes,
/// which the end of a running task may give back.
bool ShortOfResources(int error) {
  return error == EMFILE || error == ENFILE || error == EAGAIN;
}

/// Whether descriptor `fd` leaves fewer than kSpareDescriptors free.
bool TooFewLeft(int fd) {
  struct rlimit limit;
  return getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
         static_cast<rlim_t>(fd) + kSpareDescriptors >= limit.rlim_cur;
}

/// In the task: the next group ordered on `channel` into `*group`; false
/// when the batch orders no more, or the task is stopped or halted.
bool NextOrder(int channel, size_t* group) {
  size_t done = 0;
  char* bytes = reinterpret_cast<char*>(group);
  while (done < sizeof *group) {
    ssize_t n = read(channel, bytes + done, sizeof *group - done);
    if (n < 0 && errno == EINTR && StopSignal() == 0 && !HaltAsked()) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return StopSignal() == 0 && !HaltAsked();
}

/// In the forked task: out of the terminal's reach (a Ctrl-C reaches the
/// batch alone, which then stops each task in order), gone with the batch,
/// holding no descriptor of the batch's but its channel; runs each group
/// it is ordered to until the orders end, or it is stopped or halted.
[[noreturn]] void RunTaskChild(const TaskSettings& settings, const Study& study,
                               const std::vector<std::vector<size_t>>& groups, pid_t parent,
                               int channel) {
  setpgid(0, 0);
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() != parent) _exit(1);
  CloseDescriptorsBut(channel);
  CatchSignalsInTask();
  size_t group;
  while (NextOrder(channel, &group) && group < groups.size())
    if (!RunTask(settings, study.jobs, groups[group], channel)) _exit(1);
  _exit(0);
}

/// Orders `task` to run group `group`. A task that can't be ordered has
/// ended, and the batch settles the group's jobs when it sees it gone.
void Order(Running* task, size_t group) {
  task->group = group;
  task->reported = 0;
  ssize_t n;
  while ((n = write(task->channel, &group, sizeof group)) < 0 && errno == EINTR) {
  }
  if (n != static_cast<ssize_t>(sizeof group)) task->ordering = false;
}

/// Tells `task` that no order follows: it ends once its group is done.
void EndOrders(Running* task) {
  if (task->ordering) shutdown(task->channel, SHUT_WR);
  task->ordering = false;
}

/// Starts a task as a child of this process and orders it group `group`;
/// `alone`: no other task runs, so a fork short of processes is tried
/// again a while. Returns it, or a pid of -1 with the cause in `*error`.
Running StartTask(const TaskSettings& settings, const Study& study,
                  const std::vector<std::vector<size_t>>& groups, size_t group, bool alone,
                  int* error) {
  int channel[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, channel) != 0) {
    *error = errno;
    return {-1, -1, group};
  }
  if (!alone && TooFewLeft(channel[1])) {
    close(channel[0]);
    close(channel[1]);
    *error = EMFILE;
    return {-1, -1, group};
  }
  pid_t parent = getpid(), pid = ForkRetrying(alone ? 5 : 1);
  if (pid == 0) RunTaskChild(settings, study, groups, parent, channel[1]);
  *error = errno;
  close(channel[1]);
  if (pid < 0) {
    close(channel[0]);
    return {-1, -1, group};
  }
  Running task{pid, channel[0], group};
  Order(&task, group);
  return task;
}

/// Takes in the complete report lines of `task`.
void TakeReports(Running* task, Monitor* monitor) {
  size_t end;
  while ((end = task->buffer.find('\n')) != std::string::npos) {
    std::string line = task->buffer.substr(0, end);
    task->buffer.erase(0, end + 1);
    char* rest = nullptr;
    size_t index = std::strtoul(line.c_str() + std::min<size_t>(2, line.size()), &rest, 10);
    if (line.size() < 3 || index >= monitor->study().jobs.size()) continue;
    if (line[0] == 'S') {
      monitor->Started(index);
    } else if (line[0] == 'R' && *rest == ' ') {
      ++task->reported;
      std::optional<Result> result = ResultFromJson(rest + 1);
      if (result) monitor->Ended(index, *result);
    }
  }
}

/// The way `status` ended a task, in words.
std::string TaskEnd(int status) {
  if (WIFSIGNALED(status)) {
    const char* name = sigabbrev_np(WTERMSIG(status));
    return std::string("its task was ended by SIG") + (name != nullptr ? name : "?");
  }
  return "its task ended with exit status " + std::to_string(WEXITSTATUS(status));
}

/// Gives the jobs of an ended task that it left without a result one: the
/// job it had started is lost; those it never started were not run.
void SettleTask(int status, const std::vector<size_t>& group,
                const std::string& not_run, Monitor* monitor) {
  for (size_t i : group) {
    if (monitor->study().ended[i]) continue;
    std::string log = LogPath(monitor->study().jobs[i]);
    if (monitor->study().started[i])
      monitor->Ended(i, Unrun(State::kLost, TaskEnd(status) + " before the job's result", log));
    else
      monitor->Ended(i, Unrun(State::kNotRun,
                              not_run.empty() ? TaskEnd(status) + " before its turn" : not_run,
                              log));
  }
}

/// Why jobs not started yet won't be: the batch stopped, or too many failed.
std::string NotRunReason(bool halted) {
  if (StopSignal() != 0) {
    const char* name = sigabbrev_np(StopSignal());
    return std::string("the batch was stopped by SIG") + (name != nullptr ? name : "?");
  }
  return halted ? "--max-fails was reached" : "";
}

/// The tasks of a batch: those running, and where the rest begin.
struct Tasks {
  std::vector<Running> running;
  size_t next = 0;    ///< the first group not ordered
  bool held = false;  ///< one could not start for want of resources: wait for one to end
};

/// A running task that has done its group and may be ordered another, or
/// null.
Running* Idle(const std::vector<std::vector<size_t>>& groups, Tasks* tasks) {
  for (Running& task : tasks->running)
    if (task.ordering && task.reported >= groups[task.group].size()) return &task;
  return nullptr;
}

/// Orders the groups not yet begun to idle tasks, and to new ones while
/// there is room, until a stop or halt. A task short of descriptors or
/// processes waits for a running one to end; one that can't start with
/// none running loses its group's jobs. Tasks with nothing left to do are
/// told so.
void OrderTasks(const TaskSettings& settings, const std::vector<std::vector<size_t>>& groups,
                size_t parallel, bool halted, Tasks* tasks, Monitor* monitor) {
  while (StopSignal() == 0 && !halted && tasks->next < groups.size()) {
    if (Running* idle = Idle(groups, tasks)) {
      Order(idle, tasks->next++);
      continue;
    }
    if (tasks->held || tasks->running.size() >= parallel) break;
    int error = 0;
    Running task = StartTask(settings, monitor->study(), groups, tasks->next,
                             tasks->running.empty(), &error);
    if (task.pid > 0) {
      tasks->running.push_back(std::move(task));
    } else if (ShortOfResources(error) && !tasks->running.empty()) {
      tasks->held = true;
      break;
    } else {
      std::string why = std::string("cannot start its task: ") + std::strerror(error);
      for (size_t i : groups[tasks->next])
        monitor->Ended(i, Unrun(State::kLost, why, LogPath(monitor->study().jobs[i])));
    }
    ++tasks->next;
  }
  // With groups left, no task is idle; without, none is ordered again.
  if (StopSignal() != 0 || halted || tasks->next >= groups.size())
    for (Running& task : tasks->running) EndOrders(&task);
}

/// Takes in what the running tasks reported, as `fds` (theirs, in order)
/// say; settles those that ended.
void ReadTasks(const std::vector<pollfd>& fds, const std::vector<std::vector<size_t>>& groups,
               bool halted, Tasks* tasks, Monitor* monitor) {
  std::vector<Running> still;
  for (size_t t = 0; t < tasks->running.size(); ++t) {
    Running& task = tasks->running[t];
    char block[1 << 14];
    ssize_t n = fds[t].revents != 0 ? read(task.channel, block, sizeof block) : -1;
    if (n > 0) task.buffer.append(block, static_cast<size_t>(n));
    TakeReports(&task, monitor);
    // A task that ended with an order unread may say so once as an error.
    bool ended = n == 0 || (n < 0 && fds[t].revents != 0 && errno != EINTR && errno != EAGAIN);
    if (!ended) {
      still.push_back(std::move(task));
      continue;
    }
    int status = 0;
    while (waitpid(task.pid, &status, 0) < 0 && errno == EINTR) {
    }
    close(task.channel);
    SettleTask(status, groups[task.group], NotRunReason(halted), monitor);
    tasks->held = false;
  }
  tasks->running = std::move(still);
}

}  // namespace

void RunLocally(const TaskSettings& settings, const std::vector<std::vector<size_t>>& groups,
                const Pace& pace, Monitor* monitor) {
  Tasks tasks;
  bool stop_sent = false, halt_sent = false;
  for (;;) {
    bool halted = pace.max_fails > 0 && monitor->study().unsuccessful >= pace.max_fails;
    if (halted && !halt_sent) {
      for (const Running& task : tasks.running) kill(task.pid, SIGUSR1);
      halt_sent = true;
    }
    if (StopSignal() != 0 && !stop_sent) {
      for (const Running& task : tasks.running) kill(task.pid, SIGTERM);
      stop_sent = true;
    }
    OrderTasks(settings, groups, pace.parallel, halted, &tasks, monitor);
    if (tasks.running.empty()) break;
    std::vector<pollfd> fds;
    for (const Running& task : tasks.running) fds.push_back({task.channel, POLLIN, 0});
    fds.push_back({WakeDescriptor(), POLLIN, 0});
    if (poll(fds.data(), fds.size(), 1000) < 0 && errno != EINTR) break;
    DrainWake();
    ReadTasks(fds, groups, halted, &tasks, monitor);
    monitor->Tick();
  }
  std::string reason = NotRunReason(pace.max_fails > 0 &&
                                    monitor->study().unsuccessful >= pace.max_fails);
  monitor->EndTheRest(State::kNotRun, reason);
}

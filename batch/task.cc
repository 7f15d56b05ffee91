#include "batch/task.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <ctime>

#include "batch/directory_lock.h"
#include "batch/inputs.h"
#include "batch/result.h"
#include "batch/signals.h"
#include "launcher/return_values.h"

namespace {

/// How long a task whose launcher died of a SIGTERM or SIGKILL it did not
/// send waits for its own, in milliseconds, before it starts the next job.
constexpr int kTaskSignalWait = 2000;

/// The time now in UTC, ISO 8601, to the second.
std::string UtcNow() {
  std::time_t now = std::time(nullptr);
  std::tm utc;
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

/// Writes `text` whole to `fd`. Returns false when it can't.
bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

/// Where a task's reports go.
struct Reporter {
  int fd;
  bool ok = true;
  void Say(const std::string& line) {
    if (fd >= 0 && ok) ok = WriteAll(fd, line);
  }
};

/// Makes room for attempt `attempt`'s log: the previous attempt's log is
/// kept as NAME.log.N; a first attempt removes those of an earlier batch.
void KeepEarlierLogs(int dirfd, const std::string& log, int attempt) {
  if (attempt > 1) {
    std::string kept = log + "." + std::to_string(attempt - 1);
    renameat(dirfd, log.c_str(), dirfd, kept.c_str());
    return;
  }
  for (int n = 1; unlinkat(dirfd, (log + "." + std::to_string(n)).c_str(), 0) == 0; ++n) {
  }
}

/// `why`, naming the file `name` of `job` and the cause in errno.
std::string Failure(const char* what, const Job& job, const std::string& name) {
  return std::string(what) + " " + PathInDirectory(job, name) + ": " + std::strerror(errno);
}

/// Has the line-end converter rewrite command file `file` now, as the
/// launcher does before it reads it, so that what is hashed is what the run
/// reads and the launcher's own rewrite then changes nothing. A missing
/// converter leaves the file as it is, as it does for the launcher.
void Convert(int dirfd, const std::string& file) {
  Launch launch;
  launch.argv = {"dos2unix", "-F", "--", file};
  launch.directory = dirfd;
  launch.output = open("/dev/null", O_WRONLY | O_CLOEXEC);
  std::string why;
  pid_t pid = launch.output >= 0 ? Start(launch, &why) : -1;
  if (launch.output >= 0) close(launch.output);
  while (pid > 0 && waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
}

/// The job's files as the run will read them.
Inputs InputsAsRead(int dirfd, const Job& job, const std::string& model) {
  Inputs inputs = HashInputs(dirfd, job, model);
  if (!inputs.convertible) return inputs;
  Convert(dirfd, CommandFile(dirfd, job));
  return HashInputs(dirfd, job, model);
}

/// Puts `running` in place of the job's earlier result: once an attempt
/// has begun, no earlier result outlives it, however the attempt ends.
/// Returns an empty text, or why the earlier result is still there.
std::string MarkRunning(int dirfd, const Job& job, const Result& running) {
  std::string why =
      ReplaceResult(dirfd, job.result(), ResultPath(job), running, Part::kKeepForNext);
  if (why.empty() || unlinkat(dirfd, job.result().c_str(), 0) == 0 || errno == ENOENT) return "";
  return why;
}

/// Seconds of `time`.
double Seconds(const timeval& time) {
  return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

/// Keeps in `*result` what the run cost, as the kernel accounted it.
void NoteCost(const rusage& usage, Result* result) {
  result->max_rss_kib = usage.ru_maxrss;
  result->user_seconds = Seconds(usage.ru_utime);
  result->system_seconds = Seconds(usage.ru_stime);
}

/// Says in `*result` that `changed` were edited while the run read them: a
/// run that finished did so on files that are no longer these.
void NoteChanged(const std::string& changed, Result* result) {
  if (result->state == State::kFinished) {
    result->state = State::kFailed;
    result->meaning = "finished, but " + changed + " changed while it ran";
  } else {
    result->meaning += "; " + changed + " changed while it ran";
  }
}

/// One attempt at `job`: its files made ready, the launcher run and judged.
/// Returns the result, and whether it is to be written (`*ran`: the job's
/// record says running); `*sender` says who ended it.
Result RunAttempt(const TaskSettings& settings, int dirfd, const Job& job, int attempt,
                  Sender* sender, bool* ran) {
  Result result;
  result.batch = settings.batch;
  result.host = settings.host;
  result.log = LogPath(job);
  result.attempts = attempt;
  result.started = UtcNow();
  result.task = settings.task;
  result.output = settings.output;
  *sender = Sender::kNobody;
  *ran = false;
  struct stat info;
  if (fstatat(dirfd, job.file.c_str(), &info, 0) != 0 || !S_ISREG(info.st_mode)) {
    result.state = State::kLost;
    result.meaning = Failure("vanished before its turn:", job, job.file);
    return result;
  }
  KeepEarlierLogs(dirfd, job.log(), attempt);
  int log = OpenOwnFileEmptied(dirfd, job.log(), O_RDWR);
  if (log < 0) {
    result.state = State::kLost;
    result.meaning = Failure("cannot create", job, job.log());
    return result;
  }
  Inputs read = InputsAsRead(dirfd, job, settings.model);
  result.state = State::kRunning;
  std::string why = MarkRunning(dirfd, job, result);
  if (!why.empty()) {
    result.state = State::kLost;
    result.meaning = why;
    close(log);
    return result;
  }
  *ran = true;
  Launch launch;
  launch.argv = {settings.launcher};
  for (std::string& arg : LauncherArguments(job, settings.model)) launch.argv.push_back(arg);
  launch.directory = dirfd;
  launch.output = log;
  auto start = std::chrono::steady_clock::now();
  pid_t pid = Start(launch, &why);
  if (pid < 0) {
    result.state = State::kLost;
    result.meaning = why;
  } else {
    rusage usage;
    int status = WaitFor(pid, settings.limits, sender, &usage);
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    JudgeRun(status, *sender, ReadLogEnding(ReadTail(log)), &result);
    NoteCost(usage, &result);
  }
  close(log);
  result.job_hash = read.job_hash;
  result.model_hash = read.model_hash;
  std::string changed =
      ChangedFiles(dirfd, job, settings.model, read, HashInputs(dirfd, job, settings.model));
  if (!changed.empty()) NoteChanged(changed, &result);
  return result;
}

/// Writes `*result` as the job's .result, or, when that fails, makes it
/// lost and says why.
void Commit(int dirfd, const Job& job, Result* result) {
  std::string why = ReplaceResult(dirfd, job.result(), ResultPath(job), *result);
  if (why.empty()) return;
  result->meaning = why + " (the run: " +
                    StateName(result->state) + ", " + result->meaning + ")";
  result->state = State::kLost;
}

/// Whether an attempt that ended as `result` is worth another.
bool WorthRetrying(const TaskSettings& settings, const Result& result, Sender sender) {
  if (StopSignal() != 0 || HaltAsked()) return false;
  switch (result.state) {
    case State::kLost:
      return true;
    case State::kKilled:
      return sender == Sender::kNobody;
    case State::kFailed:
      return result.return_value &&
             (*result.return_value == kStreamInUseByAnotherRun ||
              std::count(settings.retry_on.begin(), settings.retry_on.end(),
                         *result.return_value) > 0);
    default:
      return false;
  }
}

/// Whether a cluster task's run that ended as `result` may have ended with
/// its task: stopped by the task, or by a SIGTERM or SIGKILL that Slurm,
/// ending the task (cancelled, out of time, its node going down), may have
/// got to the launcher before the task saw its own. The job is left marked
/// running, and the batch asks Slurm what happened; it is never run again
/// inside a task that is being ended.
bool EndedWithTask(const Result& result, Sender sender) {
  if (sender == Sender::kBatch) return true;
  bool slurm_signal = result.signal == SIGTERM || result.signal == SIGKILL;
  return (result.state == State::kKilled && slurm_signal) ||
         (StopSignal() != 0 && result.state == State::kTimedOut);
}

/// How the attempt that ended as `result` ended, its log kept as `log`.
Attempt AttemptOf(const Result& result, std::string log) {
  return {result.state,       result.meaning, result.return_value, result.exit_status,
          result.signal,      result.started, result.seconds,      std::move(log)};
}

/// Keeps the attempts before the last in `*result`, and says in its
/// meaning how each ended.
void NoteHistory(std::vector<Attempt> history, Result* result) {
  int number = result->attempts - static_cast<int>(history.size());
  for (const Attempt& attempt : history)
    result->meaning += "; attempt " + std::to_string(number++) + ": " +
                       StateName(attempt.state) + ", " + attempt.meaning;
  result->earlier = std::move(history);
}

/// Runs `job` to its result: kept from before under --resume, or run, and
/// run again while worth it.
Result RunJob(const TaskSettings& settings, int dirfd, const Job& job, size_t index,
              Reporter* reporter) {
  std::optional<Result> earlier = ReadResult(dirfd, job.result());
  if (earlier && earlier->batch == settings.batch && earlier->state != State::kRunning)
    return *earlier;
  if (settings.resume) {
    if (KeepsResult(earlier, HashInputs(dirfd, job, settings.model))) {
      earlier->state = State::kReused;
      earlier->meaning = "finished " + earlier->started + ", files unchanged";
      earlier->attempts = 0;
      return *earlier;
    }
  }
  std::vector<Attempt> history;
  for (int attempt = job.earlier_attempts + 1;; ++attempt) {
    Result result;
    reporter->Say("S " + std::to_string(index) + "\n");
    Sender sender;
    bool ran;
    result = RunAttempt(settings, dirfd, job, attempt, &sender, &ran);
    bool stopped = settings.mark_running && EndedWithTask(result, sender);
    // Slurm signals every process of a task it ends; the launcher may die of
    // it before the task has caught its own, which must come before the task
    // starts another job.
    if (stopped && sender != Sender::kBatch) StopCaughtWithin(kTaskSignalWait);
    bool last = stopped || attempt > settings.retries || !WorthRetrying(settings, result, sender);
    if (!last) {
      history.push_back(AttemptOf(result, PathInDirectory(job, job.log() + "." +
                                                                    std::to_string(attempt))));
      continue;
    }
    NoteHistory(std::move(history), &result);
    // Only a job's last attempt leaves a result; the others keep their logs.
    if (ran && !stopped) Commit(dirfd, job, &result);
    return result;
  }
}

}  // namespace

std::string ShortHostName() {
  char host[256] = "";
  gethostname(host, sizeof host - 1);
  std::string name = host;
  return name.substr(0, name.find('.'));
}

bool RunTask(const TaskSettings& settings, const std::vector<Job>& jobs,
             const std::vector<size_t>& indexes, int report) {
  Reporter reporter{report};
  const Job& first = jobs[indexes.front()];
  int dirfd = OpenDirectory(first);
  struct stat info;
  std::string refused;
  if (dirfd < 0 || fstat(dirfd, &info) != 0) {
    refused = Failure("cannot open", first, ".");
  } else if (first.inode != 0 && (info.st_dev != first.device || info.st_ino != first.inode)) {
    refused = "the directory " + first.directory + " was replaced";
  } else if (!LockDirectory(dirfd)) {
    refused = kDirectoryInUse;
  }
  for (size_t index : indexes) {
    if (StopSignal() != 0 || HaltAsked()) break;
    State state = refused == kDirectoryInUse ? State::kNotRun : State::kLost;
    Result result = refused.empty()
                        ? RunJob(settings, dirfd, jobs[index], index, &reporter)
                        : Unrun(state, refused, LogPath(jobs[index]));
    reporter.Say("R " + std::to_string(index) + " " + ResultToJson(result) + "\n");
  }
  if (dirfd >= 0) close(dirfd);
  return reporter.ok;
}

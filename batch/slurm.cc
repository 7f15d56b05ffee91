#include "batch/slurm.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <map>
#include <optional>
#include <utility>

#include "batch/escape.h"
#include "batch/program_path.h"
#include "batch/signals.h"
#include "batch/slurm_commands.h"

namespace {

/// A submitted array.
struct Array {
  std::string id;
  ArrayPlan plan;
};

using Clock = std::chrono::steady_clock;

/// How often the batch asks Slurm about its arrays: one squeue for all of
/// them. The results on disk are read every second meanwhile.
constexpr auto kQueuePace = std::chrono::seconds(3);

/// How long a queue that can't be read is waited for before it is taken
/// as empty.
constexpr auto kQueueUnreadable = std::chrono::minutes(2);

/// One array task as the batch follows it.
struct Followed {
  std::string id;                 ///< "JOBID_INDEX"
  std::vector<size_t> jobs;       ///< the study's jobs it runs
  bool running = false;           ///< running, when the queue was last read
  std::optional<Clock::time_point> gone;  ///< since when the queue no longer shows it
  bool ended = false;
};

/// Writes `text` to `path` whole. Returns an empty text, or why not.
std::string WriteFile(const std::string& path, const std::string& text) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return "cannot write " + path + ": " + std::strerror(errno);
  ssize_t n = write(fd, text.data(), text.size());
  int error = n == static_cast<ssize_t>(text.size()) ? 0 : n < 0 ? errno : ENOSPC;
  if (close(fd) != 0 && error == 0) error = errno;
  return error == 0 ? "" : "cannot write " + path + ": " + std::strerror(error);
}

/// The command that collects the study later, from any shell.
std::string CollectCommand(const SlurmSettings& slurm, const TaskSettings& settings,
                           const std::string& jobs_file) {
  std::string command = "cd " + ShellWord(AbsolutePath(".")) + " && " + ShellWord(slurm.self) +
                        " --status";
  if (!settings.model.empty()) command += " --model " + ShellWord(settings.model);
  return command + " -a " + ShellWord(jobs_file);
}

/// Hands `monitor` the results that this batch's tasks left for `jobs`:
/// a final one ends its job, a running one starts it.
void Collect(const TaskSettings& settings, const std::vector<size_t>& jobs, Monitor* monitor) {
  const Study& study = monitor->study();
  int dirfd = -1;
  std::string open_directory;
  for (size_t i : jobs) {
    if (study.ended[i]) continue;
    const Job& job = study.jobs[i];
    if (dirfd < 0 || open_directory != job.directory) {
      if (dirfd >= 0) close(dirfd);
      dirfd = OpenDirectory(job);
      open_directory = job.directory;
    }
    std::optional<Result> result = dirfd >= 0 ? ReadResult(dirfd, job.result()) : std::nullopt;
    if (!result || result->batch != settings.batch) continue;
    if (result->state == State::kRunning)
      monitor->Started(i);
    else
      monitor->Ended(i, *result);
  }
  if (dirfd >= 0) close(dirfd);
}

/// The latest record this batch's task left for job `i`, final or running.
std::optional<Result> Latest(const TaskSettings& settings, const Job& job) {
  std::optional<Result> result = ReadJobResult(job);
  if (result && result->batch != settings.batch) result.reset();
  return result;
}

/// Replaces the "running" that this batch's task left in `job`'s .result
/// with `settled`, what the batch made of the job when the task ended, so
/// that --status later says the same. Leaves a directory that another
/// batch holds now alone; says on standard error when it can't write.
void RecordSettled(const TaskSettings& settings, const Job& job, const Result& settled) {
  int dirfd = OpenDirectory(job);
  std::string shown = ResultPath(job);
  std::string why = dirfd < 0 ? "cannot replace " + shown + ": " + std::strerror(errno) : "";
  bool held_elsewhere = dirfd >= 0 && flock(dirfd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  std::optional<Result> now =
      dirfd >= 0 && !held_elsewhere ? ReadResult(dirfd, job.result()) : std::nullopt;
  if (now && now->batch == settings.batch && now->state == State::kRunning)
    why = ReplaceResult(dirfd, job.result(), shown, settled);
  if (dirfd >= 0) close(dirfd);
  if (!why.empty()) std::fprintf(stderr, "kvsolver-batch: %s\n", EscapeControls(why).c_str());
}

/// Settles the jobs of `task`, which Slurm no longer runs, that have no
/// final result: not run or stopped after a cancel; otherwise lost, with
/// Slurm's word and the task's output, or put in `*again` to be run again.
/// A job the task left marked running keeps the batch's verdict on disk.
void Settle(const TaskSettings& settings, const SlurmSettings& slurm, const Followed& task,
            bool cancelled, Monitor* monitor, std::vector<int>* attempts_made,
            std::vector<size_t>* again) {
  Collect(settings, task.jobs, monitor);
  std::string slurm_state;
  std::string output = slurm.folder + "/" + task.id + ".out";
  for (size_t i : task.jobs) {
    const Study& study = monitor->study();
    if (study.ended[i]) continue;
    std::optional<Result> marker = Latest(settings, study.jobs[i]);
    // What the job's run showed of itself, kept in the result it gets.
    auto from_marker = [&](State state, const std::string& meaning) {
      Result result = Unrun(state, meaning, LogPath(study.jobs[i]));
      if (!marker) return result;
      result.batch = settings.batch;
      result.attempts = marker->attempts;
      result.started = marker->started;
      result.host = marker->host;
      result.task = marker->task;
      result.output = marker->output;
      return result;
    };
    // The verdict on a job its task left marked running, kept on disk too.
    auto settle = [&](Result result) {
      if (marker) RecordSettled(settings, study.jobs[i], result);
      monitor->Ended(i, std::move(result));
    };
    if (cancelled) {
      Result stopped =
          marker ? from_marker(State::kKilled, "stopped with the batch: its task cancelled (SIGTERM)")
                 : from_marker(State::kNotRun, "the batch was stopped");
      if (marker) stopped.signal = SIGTERM;
      settle(stopped);
      continue;
    }
    int attempts = std::max(marker ? marker->attempts : 0, (*attempts_made)[i] + 1);
    if (attempts <= settings.retries) {
      (*attempts_made)[i] = attempts;
      again->push_back(i);
      continue;
    }
    if (slurm_state.empty()) slurm_state = FinalState(task.id);
    Result lost = from_marker(State::kLost,
                              "its task " + task.id + " ended without the job's result (Slurm: " +
                                  (slurm_state.empty() ? "state unknown" : slurm_state) +
                                  "); see " + output);
    lost.attempts = attempts;
    settle(lost);
  }
}

/// Submits the tasks of `groups`, each array after the one before when
/// throttled. Returns the arrays; on a refusal cancels what was submitted.
std::vector<Array> SubmitRound(const TaskSettings& settings, const SlurmSettings& slurm,
                               const Study& study, const std::vector<std::vector<size_t>>& groups,
                               const std::vector<int>& attempts_made, int round,
                               std::vector<std::vector<size_t>>* tasks, std::string* why) {
  *tasks = PackTasks(groups.size(), slurm.per_task);
  std::string stem = slurm.folder + "/" + settings.batch + "-" + std::to_string(round);
  *why = WriteFile(stem + ".tasks", TaskList(settings, slurm.folder, study, groups,
                                             attempts_made, *tasks));
  std::vector<Array> arrays;
  for (const ArrayPlan& plan : SplitArrays(tasks->size(), MaxArraySize())) {
    std::string script = stem + "-" + std::to_string(arrays.size() + 1) + ".sh";
    if (why->empty()) *why = WriteFile(script, ArrayScript(slurm, stem + ".tasks", plan.first));
    std::string after = slurm.throttle > 0 && !arrays.empty() ? arrays.back().id : "";
    std::string id = why->empty() ? Submit(SbatchArguments(slurm, plan, after, script), why) : "";
    if (id.empty()) {
      std::vector<std::string> ids;
      for (const Array& array : arrays) ids.push_back(array.id);
      if (!ids.empty() && Cancel(ids)) *why += "; the arrays submitted before it were cancelled";
      return {};
    }
    const Job& first = study.jobs[groups[(*tasks)[plan.first].front()].front()];
    const Job& last = study.jobs[groups[(*tasks)[plan.first + plan.count - 1].back()].front()];
    std::fprintf(stderr, "kvsolver-batch: Slurm job %s: %zu tasks, directories %s to %s\n",
                 id.c_str(), plan.count, EscapeControls(first.directory).c_str(),
                 EscapeControls(last.directory).c_str());
    arrays.push_back({id, plan});
  }
  return arrays;
}

/// The tasks of `arrays`, each with the study's jobs it runs.
std::vector<Followed> TasksOf(const std::vector<Array>& arrays,
                              const std::vector<std::vector<size_t>>& groups,
                              const std::vector<std::vector<size_t>>& tasks) {
  std::vector<Followed> followed;
  for (const Array& array : arrays) {
    for (size_t i = 0; i < array.plan.count; ++i) {
      Followed task;
      task.id = array.id + "_" + std::to_string(i);
      for (size_t g : tasks[array.plan.first + i])
        task.jobs.insert(task.jobs.end(), groups[g].begin(), groups[g].end());
      followed.push_back(task);
    }
  }
  return followed;
}

/// Reads the queue of the arrays `ids`, one squeue for all, into each
/// task's `running` and `gone`. A queue unread since `*read_at` for long
/// is taken as empty.
void ReadQueue(const std::vector<std::string>& ids, std::vector<Followed>* followed,
               Clock::time_point* read_at) {
  std::map<std::string, std::string> queued;
  Clock::time_point now = Clock::now();
  if (QueuedTasks(ids, &queued))
    *read_at = now;
  else if (now - *read_at <= kQueueUnreadable)
    return;
  for (Followed& task : *followed) {
    auto at = queued.find(task.id);
    task.running = at != queued.end() && (at->second == "RUNNING" || at->second == "COMPLETING");
    if (at == queued.end() && !task.gone) task.gone = now;
  }
}

/// Whether every one of `jobs` has its result.
bool AllEnded(const Study& study, const std::vector<size_t>& jobs) {
  return std::all_of(jobs.begin(), jobs.end(), [&](size_t i) { return study.ended[i]; });
}

/// Whether `task` is done with: all its jobs have their results, or Slurm
/// ended it and its results had `latency_wait` seconds to be seen (a
/// shared file system may show a node's writes late), none after a cancel.
bool Over(const Followed& task, const Study& study, double latency_wait, bool cancelled) {
  if (AllEnded(study, task.jobs)) return true;
  if (!task.gone) return false;
  return cancelled || Clock::now() - *task.gone >= std::chrono::duration<double>(latency_wait);
}

/// Follows `arrays` until none of their tasks is left to follow, or
/// SIGHUP. Returns false after SIGHUP.
bool Follow(const TaskSettings& settings, const SlurmSettings& slurm,
            const std::vector<Array>& arrays, const std::vector<std::vector<size_t>>& groups,
            const std::vector<std::vector<size_t>>& tasks, Monitor* monitor,
            std::vector<int>* attempts_made, std::vector<size_t>* again) {
  std::vector<Followed> followed = TasksOf(arrays, groups, tasks);
  std::vector<std::string> ids;
  for (const Array& array : arrays) ids.push_back(array.id);
  bool cancelled = false;
  Clock::time_point read_at = Clock::now(), next_read = read_at;
  for (size_t open = followed.size(); open > 0;) {
    if (StopSignal() == SIGHUP) return false;
    if (StopSignal() != 0 && !cancelled) {
      Cancel(ids);
      cancelled = true;
      next_read = Clock::now();
    }
    if (Clock::now() >= next_read) {
      ReadQueue(ids, &followed, &read_at);
      next_read = Clock::now() + kQueuePace;
    }
    for (Followed& task : followed) {
      if (task.ended) continue;
      if (task.running || task.gone) Collect(settings, task.jobs, monitor);
      if (!Over(task, monitor->study(), slurm.latency_wait, cancelled)) continue;
      Settle(settings, slurm, task, cancelled, monitor, attempts_made, again);
      task.ended = true;
      --open;
    }
    monitor->Tick();
    if (open == 0) break;
    struct pollfd wake = {WakeDescriptor(), POLLIN, 0};
    poll(&wake, 1, 1000);
    DrainWake();
  }
  return true;
}

}  // namespace

SlurmEnd RunOnSlurm(const TaskSettings& settings, const SlurmSettings& slurm,
                    const std::vector<std::vector<size_t>>& groups, bool detach,
                    Monitor* monitor, std::string* why) {
  if (mkdir(slurm.folder.c_str(), 0777) != 0 && errno != EEXIST) {
    *why = "cannot create " + slurm.folder + ": " + std::strerror(errno);
    return SlurmEnd::kFailed;
  }
  std::string jobs_file = slurm.folder + "/" + settings.batch + ".jobs";
  std::string list;
  for (const Job& job : monitor->study().jobs) list += job.path + "\n";
  *why = WriteFile(jobs_file, list);
  if (!why->empty()) return SlurmEnd::kFailed;
  std::string collect = CollectCommand(slurm, settings, jobs_file);
  std::vector<std::vector<size_t>> round_groups = groups;
  std::vector<int> attempts_made(monitor->study().jobs.size(), 0);
  for (int round = 1;; ++round) {
    std::vector<std::vector<size_t>> tasks;
    std::vector<Array> arrays = SubmitRound(settings, slurm, monitor->study(), round_groups,
                                            attempts_made, round, &tasks, why);
    if (arrays.empty()) {
      if (round == 1) return SlurmEnd::kFailed;
      monitor->EndTheRest(State::kLost, *why);
      return SlurmEnd::kDone;
    }
    if (detach) {
      std::fprintf(stderr, "kvsolver-batch: submitted; collect the study with\n  %s\n",
                   collect.c_str());
      return SlurmEnd::kDetached;
    }
    std::vector<size_t> again;
    if (!Follow(settings, slurm, arrays, round_groups, tasks, monitor, &attempts_made, &again)) {
      std::fprintf(stderr, "\nkvsolver-batch: hung up; the arrays run on; collect the study "
                           "with\n  %s\n", collect.c_str());
      return SlurmEnd::kDetached;
    }
    if (again.empty()) return SlurmEnd::kDone;
    round_groups = GroupByDirectory(monitor->study().jobs);
    for (std::vector<size_t>& group : round_groups) {
      std::vector<size_t> kept;
      for (size_t i : group)
        if (std::find(again.begin(), again.end(), i) != again.end()) kept.push_back(i);
      group = kept;
    }
    std::erase_if(round_groups, [](const std::vector<size_t>& g) { return g.empty(); });
    std::fprintf(stderr, "kvsolver-batch: submitting %zu lost jobs again\n", again.size());
  }
}

bool PrintSlurmPlan(const SlurmSettings& slurm, const Study& study,
                    const std::vector<std::vector<size_t>>& groups, FILE* out) {
  std::vector<std::vector<size_t>> tasks = PackTasks(groups.size(), slurm.per_task);
  std::vector<ArrayPlan> arrays = SplitArrays(tasks.size(), MaxArraySize());
  for (size_t a = 0; a < arrays.size(); ++a) {
    std::string script = slurm.folder + "/BATCH-1-" + std::to_string(a + 1) + ".sh";
    std::string after = slurm.throttle > 0 && a > 0 ? "JOBID-OF-ARRAY-" + std::to_string(a) : "";
    std::string command = "sbatch";
    for (const std::string& arg : SbatchArguments(slurm, arrays[a], after, script))
      command += " " + ShellWord(arg);
    std::fprintf(out, "array %zu: tasks 0-%zu\n  %s\n", a + 1, arrays[a].count - 1,
                 EscapeControls(command).c_str());
    for (size_t t = 0; t < arrays[a].count; ++t) {
      std::fprintf(out, "  task %zu:", t);
      for (size_t g : tasks[arrays[a].first + t])
        std::fprintf(out, " %s", EscapeControls(study.jobs[groups[g].front()].directory).c_str());
      std::fputc('\n', out);
    }
  }
  return std::fflush(out) == 0 && std::ferror(out) == 0;
}

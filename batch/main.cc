// kvsolver-batch: runs many kvsolver jobs, here or as a Slurm job array,
// and reports them in one table.
//
// Jobs in one directory share its command stream, so they run one after
// the other in one task; the directories' tasks run side by side. Each
// task reports every job's result as one record, which the table, the
// summary and the progress line are made from.
#include <fcntl.h>
#include <malloc.h>
#include <sys/random.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "batch/escape.h"
#include "batch/html_report.h"
#include "batch/job_parameters.h"
#include "batch/local.h"
#include "batch/make_cases.h"
#include "batch/monitor.h"
#include "batch/options.h"
#include "batch/plan.h"
#include "batch/preflight.h"
#include "batch/program_path.h"
#include "batch/report.h"
#include "batch/cluster_task.h"
#include "batch/signals.h"
#include "batch/slurm.h"
#include "batch/study.h"
#include "batch/summary_target.h"
#include "batch/task.h"

namespace {

constexpr int kAllSucceeded = 0;
constexpr int kSomeFailed = 1;
constexpr int kCannotStart = 2;

int Fail(const std::string& why) {
  std::fprintf(stderr, "kvsolver-batch: %s\n", EscapeLines(why).c_str());
  return kCannotStart;
}

int UsageError(const std::string& why) {
  std::fprintf(stderr, "kvsolver-batch: %s\nTry 'kvsolver-batch --help'.\n",
               EscapeControls(why).c_str());
  return kCannotStart;
}

/// Reads every JOB path, and lets the request's list of them go: the jobs
/// hold them now. Returns an empty text, or why one is no job.
std::string ParseJobs(Request* request, std::vector<Job>* jobs) {
  std::vector<std::string> paths, origins;
  std::swap(paths, request->paths);
  std::swap(origins, request->origins);
  jobs->reserve(paths.size());
  for (size_t i = 0; i < paths.size(); ++i) {
    Job job;
    std::string why = ParseJob(paths[i], &job);
    if (!why.empty()) return (origins[i].empty() ? "" : origins[i] + ": ") + paths[i] + " " + why;
    if (job.script && request->model.empty())
      return paths[i] + " is a solver script: give --model";
    jobs->push_back(std::move(job));
  }
  // Two jobs of one directory with one base name would share a log: the
  // first job given that repeats an earlier one's is named.
  auto key = [&](uint32_t i) {
    const Job& job = (*jobs)[i];
    return std::tuple(job.device, job.inode,
                      std::string_view(job.file).substr(0, job.file.size() - 4));
  };
  std::vector<uint32_t> order(jobs->size());
  for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](uint32_t a, uint32_t b) { return key(a) < key(b); });
  size_t repeated = jobs->size();
  for (size_t k = 1; k < order.size(); ++k)
    if (key(order[k - 1]) == key(order[k])) repeated = std::min<size_t>(repeated, order[k]);
  if (repeated < jobs->size())
    return (*jobs)[repeated].path + ": another job of its directory has the same name, and log";
  return "";
}

/// Opens /dev/null read-only on whichever of descriptors 0, 1 and 2 is
/// closed, so that no pipe or file of the batch takes its place: the table
/// written to a closed standard output fails, as it should.
void HoldStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) >= 0) continue;
    int opened = open("/dev/null", O_RDONLY);
    if (opened >= 0 && opened != fd) {
      dup2(opened, fd);
      close(opened);
    }
  }
}

/// Why the --summary of `request` can't go where it says, or empty.
std::string SummaryProblem(const Request& request, const std::vector<Job>& jobs) {
  if (request.summary.empty()) return "";
  return SummaryTargetProblem(request.summary, StudyInputs(jobs, request.model, request.lists));
}

/// The launcher every task runs: what KVSOLVER names, else the kvsolver
/// beside this program. Empty, with `*why`, when it can't be run.
std::string LauncherPath(const std::string& self, std::string* why) {
  const char* named = std::getenv("KVSOLVER");
  if (named != nullptr && *named != '\0') return ResolveProgram(named, why);
  return ResolveProgram(self.substr(0, self.rfind('/') + 1) + "kvsolver", why);
}

/// A token no other batch has: results that carry it are this batch's.
std::string BatchToken() {
  unsigned char bytes[12];
  if (getrandom(bytes, sizeof bytes, 0) != sizeof bytes) {
    std::snprintf(reinterpret_cast<char*>(bytes), sizeof bytes, "%d", getpid());
  }
  std::string token;
  char hex[3];
  for (unsigned char byte : bytes) {
    std::snprintf(hex, sizeof hex, "%02x", byte);
    token += hex;
  }
  return token;
}

/// What every task of the batch is told, but the launcher.
TaskSettings TaskSettingsOf(const Request& request) {
  TaskSettings settings;
  settings.model = request.model;
  settings.batch = BatchToken();
  settings.host = ShortHostName();
  settings.resume = request.resume;
  settings.retries = request.retries;
  settings.retry_on = request.retry_on;
  settings.limits = {request.timeout, request.kill_after};
  return settings;
}

/// How the batch goes to Slurm, when it does.
SlurmSettings SlurmSettingsOf(const Request& request, const std::string& self) {
  SlurmSettings slurm;
  slurm.self = self;
  slurm.folder = AbsolutePath(request.slurm_output);
  slurm.job_name = request.job_name;
  slurm.throttle = request.parallel;
  slurm.per_task = request.per_task;
  slurm.prologue = request.prologue;
  slurm.options = request.sbatch_options;
  slurm.latency_wait = request.latency_wait;
  return slurm;
}

/// Says on standard error, before anything runs, which jobs would fail
/// before they solve. They run all the same, for the launcher's own verdict.
void WarnOfProblems(const Study& study, const std::string& model) {
  for (const Job& job : study.jobs) {
    int dirfd = OpenDirectory(job);
    std::string problem = dirfd >= 0 ? JobProblem(dirfd, job, model) : "";
    if (dirfd >= 0) close(dirfd);
    if (!problem.empty())
      std::fprintf(stderr, "kvsolver-batch: would fail: %s: %s\n",
                   EscapeControls(job.path).c_str(), EscapeControls(problem).c_str());
  }
}

/// Says once how many jobs --resume kept.
void SayReused(const Study& study) {
  size_t reused = std::count_if(study.rows.begin(), study.rows.end(),
                                [](const Row& r) { return r.state == State::kReused; });
  std::fprintf(stderr, "kvsolver-batch: --resume reused %zu of %zu %s\n", reused,
               study.jobs.size(), study.jobs.size() == 1 ? "job" : "jobs");
}

/// The table and the exit status of a study whose results are all in.
int Report(const Study& study, const Monitor* monitor) {
  if (!PrintTable(study, stdout)) return Fail("cannot write the table to standard output");
  if (monitor != nullptr && !monitor->failure().empty()) return kCannotStart;
  if (StopSignal() != 0) return 128 + StopSignal();
  return study.AllSucceeded() ? kAllSucceeded : kSomeFailed;
}

}  // namespace

int main(int argc, char** argv) {
  // Every task is a fork of the batch: with no fast bins, a task's
  // allocations never walk (and so copy) the batch's freed chunks.
  mallopt(M_MXFAST, 0);
  HoldStandardDescriptors();
  CatchSignals();
  Request request;
  std::string why = ParseOptions(argc, argv, &request);
  if (!why.empty()) return UsageError(why);
  if (request.help) return std::fputs(kBatchUsage, stdout) >= 0 && std::fflush(stdout) == 0 ? 0 : 2;
  if (request.version) {
    std::printf("kvsolver-batch %s\n", KVSOLVER_VERSION);
    return std::fflush(stdout) == 0 ? 0 : 2;
  }
  if (!request.task_file.empty())
    return RunClusterTask(request.task_file, request.task_offset, request.prologue_failed);
  if (request.make_cases)
    return MakeCases({request.paths[0], request.paths[1], request.paths[2], request.force},
                     stdout, stderr);
  std::vector<Job> jobs;
  why = ParseJobs(&request, &jobs);
  if (why.empty()) why = SummaryProblem(request, jobs);
  if (!why.empty()) return UsageError(why);
  std::vector<std::vector<size_t>> groups = GroupByDirectory(jobs);
  // What reading the list took is free now: given back before the rows
  // are made, it does not add to the batch's peak.
  malloc_trim(0);
  Study study(std::move(jobs));
  why = JoinParameters(request.parameters, &study);
  if (!why.empty()) return UsageError(why);

  if (request.status) {
    ReadResults(&study, request.model);
    if (!request.summary.empty()) {
      why = WriteSummary(request.summary, study);
      if (!why.empty()) return Fail(why);
    }
    if (!request.report.empty()) {
      why = WriteHtmlReport(request.report, study, ContextNow(argc, argv, true));
      if (!why.empty()) return Fail(why);
    }
    return Report(study, nullptr);
  }

  std::string self = SelfPath();
  SlurmSettings slurm = SlurmSettingsOf(request, self);
  TaskSettings settings = TaskSettingsOf(request);
  settings.launcher = LauncherPath(self, &why);
  // The nodes of a cluster have libraries of their own: only a launcher
  // run here is tried here.
  if (!settings.launcher.empty() && !request.slurm) why = LauncherProblem(settings.launcher);
  if (request.dry_run) {
    PlanView view{request.model, request.resume, why.empty(), !request.slurm};
    bool written = PrintPlan(study, groups, view, stdout) &&
                   (!request.slurm || PrintSlurmPlan(slurm, study, groups, stdout));
    if (!written) return Fail("cannot write the plan to standard output");
    return why.empty() ? 0 : Fail(why);
  }
  if (settings.launcher.empty()) return UsageError(why);
  if (!why.empty()) return Fail(why);
  WarnOfProblems(study, request.model);
  if (!request.summary.empty()) {
    why = WriteSummary(request.summary, study);
    if (!why.empty()) return UsageError(why);
  }
  ReportContext context = ContextNow(argc, argv, false);
  if (!request.report.empty()) {
    why = WriteHtmlReport(request.report, study, context);
    if (!why.empty()) return UsageError(why);
  }
  Pace pace;
  pace.parallel = request.parallel > 0 ? request.parallel
                                       : static_cast<size_t>(std::max(1L, sysconf(_SC_NPROCESSORS_ONLN)));
  pace.max_fails = request.max_fails;
  Monitor monitor(&study, pace.parallel, request.summary);
  monitor.KeepReport(request.report, context);
  if (request.slurm) {
    SlurmEnd end = RunOnSlurm(settings, slurm, groups, request.detach, &monitor, &why);
    if (end == SlurmEnd::kFailed) return Fail(why);
    if (end == SlurmEnd::kDetached) return StopSignal() != 0 ? 128 + StopSignal() : 0;
  } else {
    RunLocally(settings, groups, pace, &monitor);
  }
  monitor.Finish();
  if (request.resume) SayReused(study);
  return Report(study, &monitor);
}

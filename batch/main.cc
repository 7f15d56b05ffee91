// kvsolver-batch: runs many kvsolver jobs, here or as a Slurm job array,
// and reports them in one table.
//
// Jobs in one directory share its command stream, so they run one after
// the other in one task; the directories' tasks run side by side. A task is
// this program again, started with --task, so that it runs the same way on
// this machine and on a cluster's nodes.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "batch/jobs.h"
#include "batch/local.h"
#include "batch/outcome.h"
#include "batch/report.h"
#include "batch/signals.h"
#include "batch/slurm.h"
#include "batch/task.h"

namespace {

constexpr int kAllSucceeded = 0;
constexpr int kSomeFailed = 1;
constexpr int kCannotStart = 2;

constexpr char kUsage[] =
    "Usage: kvsolver-batch [-j N] [--model NAME] [--summary FILE]\n"
    "                      [--slurm [--sbatch-option OPT]...] JOB...\n"
    "\n"
    "Runs kvsolver for each JOB and prints a table of how each ended.\n"
    "  JOB                DIR/NAME.kcf or DIR/NAME.acf: kvsolver NAME in DIR;\n"
    "                     DIR/NAME.kss: kvsolver MODEL NAME in DIR\n"
    "  -j N               at most N directories at once (default: the CPUs)\n"
    "  --model NAME       the model for .kss jobs, passed as given\n"
    "  --summary FILE     the table's rows as tab-separated values\n"
    "  --slurm            run the directories as one Slurm job array\n"
    "  --sbatch-option OPT  pass OPT on to sbatch (with --slurm)\n"
    "Each job's output goes to DIR/NAME.log. Jobs in one directory run one\n"
    "after the other. Exit status: 0 when every job returned 0, 1 when any\n"
    "did not, 2 for a usage error. See man kvsolver-batch.\n";

/// What the command line asks for.
struct Request {
  size_t parallel = 0;
  std::string model;
  std::string summary;
  bool slurm = false;
  std::vector<std::string> sbatch_options;
  bool task = false;
  std::vector<std::string> paths;
};

int UsageError(const std::string& why) {
  std::fprintf(stderr, "kvsolver-batch: %s\n%s", why.c_str(), kUsage);
  return kCannotStart;
}

/// Whether `arg` is option `name` with a value, as "--name VALUE" or
/// "--name=VALUE" (or "-jN"); takes the value into `*value`.
bool TakeValue(const std::string& name, int argc, char** argv, int* i, std::string* value) {
  std::string arg = argv[*i];
  if (arg == name) {
    if (*i + 1 >= argc) return false;
    *value = argv[++*i];
    return true;
  }
  std::string joined = name.size() == 2 ? name : name + "=";
  if (arg.size() > joined.size() && arg.compare(0, joined.size(), joined) == 0) {
    *value = arg.substr(joined.size());
    return true;
  }
  return false;
}

/// Reads the command line into `*request`. Returns an empty text, or why
/// it is no request.
std::string ParseArguments(int argc, char** argv, Request* request) {
  bool options_ended = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i], value;
    if (options_ended || arg.empty() || arg[0] != '-') {
      request->paths.push_back(arg);
    } else if (arg == "--") {
      options_ended = true;
    } else if (arg == "--slurm") {
      request->slurm = true;
    } else if (arg == "--task") {
      request->task = true;
    } else if (TakeValue("-j", argc, argv, &i, &value)) {
      char* end = nullptr;
      long n = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || n < 1 || n > 100000) return "-j needs a number of at least 1";
      request->parallel = static_cast<size_t>(n);
    } else if (TakeValue("--model", argc, argv, &i, &value)) {
      request->model = value;
    } else if (TakeValue("--summary", argc, argv, &i, &value)) {
      request->summary = value;
    } else if (TakeValue("--sbatch-option", argc, argv, &i, &value)) {
      request->sbatch_options.push_back(value);
    } else {
      return "unknown option " + arg;
    }
  }
  if (request->paths.empty()) return "no JOB given";
  if (!request->sbatch_options.empty() && !request->slurm) return "--sbatch-option needs --slurm";
  return "";
}

/// Reads every JOB path. Returns an empty text, or why one is no job.
std::string ParseJobs(const Request& request, std::vector<Job>* jobs) {
  std::set<std::string> logs;
  for (const std::string& path : request.paths) {
    Job job;
    std::string why = ParseJob(path, &job);
    if (!why.empty()) return path + " " + why;
    if (job.script && request.model.empty()) return path + " is a solver script: give --model";
    if (!logs.insert(job.key + "/" + job.base).second)
      return path + ": another job of its directory has the same name, and log";
    jobs->push_back(job);
  }
  return "";
}

/// This program's own path, for starting its tasks.
std::string SelfPath() {
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return "kvsolver-batch";
  path[n] = '\0';
  return path;
}

/// The launcher: KVSOLVER from the environment, else the kvsolver beside
/// this program.
std::string LauncherPath(const std::string& self) {
  const char* named = std::getenv("KVSOLVER");
  if (named != nullptr && *named != '\0') return named;
  return self.substr(0, self.rfind('/') + 1) + "kvsolver";
}

}  // namespace

int main(int argc, char** argv) {
  Request request;
  std::string why = ParseArguments(argc, argv, &request);
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!why.empty()) return UsageError(why);
  std::vector<Job> jobs;
  why = ParseJobs(request, &jobs);
  if (!why.empty()) return UsageError(why);

  CatchStopSignals();
  std::string self = SelfPath();
  std::string launcher = LauncherPath(self);
  if (request.task) {
    RunTask(launcher, request.model, jobs);
    return 0;
  }
  if (access(launcher.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "kvsolver-batch: cannot run the launcher %s\n", launcher.c_str());
    return kCannotStart;
  }
  // What an earlier batch left must not pass for this one's results.
  for (const Job& job : jobs) {
    unlink(job.result.c_str());
    unlink(job.log.c_str());
  }

  std::vector<std::vector<size_t>> groups = GroupByDirectory(jobs);
  bool started;
  if (request.slurm) {
    started = RunOnSlurm(self, launcher, request.model, jobs, groups, request.parallel,
                         request.sbatch_options);
  } else {
    size_t parallel = request.parallel;
    if (parallel == 0) parallel = static_cast<size_t>(std::max(1L, sysconf(_SC_NPROCESSORS_ONLN)));
    started = RunLocally(self, request.model, jobs, groups, parallel);
  }
  if (!started) {
    std::fprintf(stderr, "kvsolver-batch: the batch could not be started\n");
    return kCannotStart;
  }

  std::vector<std::optional<Outcome>> outcomes;
  bool all_succeeded = true;
  for (const Job& job : jobs) {
    outcomes.push_back(ReadOutcome(job));
    all_succeeded = all_succeeded && outcomes.back() && Succeeded(*outcomes.back());
  }
  PrintTable(jobs, outcomes);
  if (!request.summary.empty() && !WriteSummary(request.summary, jobs, outcomes)) {
    std::fprintf(stderr, "kvsolver-batch: cannot write %s\n", request.summary.c_str());
    all_succeeded = false;
  }
  if (StopSignal() != 0) return 128 + StopSignal();
  return all_succeeded ? kAllSucceeded : kSomeFailed;
}

#include "batch/options.h"

#include <getopt.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "batch/jobs.h"
#include "batch/read_file.h"

const char kBatchUsage[] =
    "Usage: kvsolver-batch [OPTION]... JOB...\n"
    "       kvsolver-batch [OPTION]... -a FILE\n"
    "       kvsolver-batch --make-cases [--force] TEMPLATE TABLE OUTDIR\n"
    "\n"
    "Runs kvsolver for each JOB and prints a table of how each ended.\n"
    "  JOB                  DIR/NAME.kcf or DIR/NAME.acf: kvsolver NAME in DIR;\n"
    "                       DIR/NAME.kss: kvsolver MODEL NAME in DIR\n"
    "  -a, --arg-file FILE  read JOBs from FILE, one a line (- for standard input)\n"
    "  -j, --jobs N         at most N directories at once (default: the CPUs)\n"
    "      --model NAME     the model for .kss jobs, passed as given\n"
    "      --summary FILE   the rows as tab-separated values (FILE.tsv, FILE.txt) or\n"
    "                       JSON Lines (FILE.jsonl), kept up to date while it runs\n"
    "      --report FILE    a page to look at (HTML, self-contained), kept up to date\n"
    "      --resume         keep finished results whose job and model files are\n"
    "                       unchanged; run the rest\n"
    "      --retries N      run a job again, up to N more times, when it was lost,\n"
    "                       killed by a signal, or found its stream in use (-5)\n"
    "      --retry-on V,...\n"
    "                       retry these return values too (and, without --retries,\n"
    "                       run such a job once more)\n"
    "      --timeout S      stop a job after S seconds (SIGTERM, then SIGKILL)\n"
    "      --kill-after S   seconds from SIGTERM to SIGKILL (default 10)\n"
    "      --max-fails N    start no new job once N jobs did not finish\n"
    "  -n, --dry-run        print the plan; run, create and change nothing\n"
    "      --status         run nothing; print the table of the results on disk\n"
    "      --slurm          run the directories as Slurm job arrays; with it:\n"
    "      --sbatch-option OPT\n"
    "                       pass OPT on to sbatch (--time=1:00:00, --mem=4G, ...)\n"
    "      --per-task K     each array task runs K directories (default 1)\n"
    "      --job-name NAME  the arrays' job name (default kvsolver-batch)\n"
    "      --slurm-output DIR\n"
    "                       the batch's folder: task lists, scripts and each\n"
    "                       task's output (default kvsolver-batch-slurm)\n"
    "      --task-prologue FILE\n"
    "                       shell lines each task runs first (module load ...)\n"
    "      --latency-wait S\n"
    "                       seconds to look for a job's result after its task\n"
    "                       ended, for file systems that show it late (default 5)\n"
    "      --detach         submit, print how to collect the study, and exit\n"
    "      --parameters FILE  add the parameter columns of the case table FILE\n"
    "                       (OUTDIR/cases.tsv; found beside the cases without it)\n"
    "      --make-cases     make a directory under OUTDIR for each row of TABLE\n"
    "                       (CSV, or TSV for .tsv): a copy of TEMPLATE, {name} in\n"
    "                       its .kcf, .acf, .kss and .kmd files the row's value\n"
    "      --force          with --make-cases: overwrite cases edited by hand\n"
    "  -h, --help           print this text\n"
    "      --version        print the version\n"
    "Each job's output goes to DIR/NAME.log, how it ended to DIR/NAME.result.\n"
    "Jobs in one directory run one after the other. Exit status: 0 when every\n"
    "job finished (or was reused), 1 when any did not, 2 for a usage error or a\n"
    "table, summary or report that could not be written. See man kvsolver-batch.\n";

namespace {

enum LongOnly {
  kModel = 256, kSummary, kResume, kRetries, kRetryOn, kTimeout, kKillAfter, kMaxFails,
  kStatus, kSlurm, kSbatchOption, kTask, kVersion, kPerTask, kJobName, kSlurmOutput,
  kTaskPrologue, kDetach, kTaskOffset, kPrologueFailed, kReport, kMakeCases, kForce,
  kParameters, kLatencyWait,
};

constexpr option kOptions[] = {
    {"arg-file", required_argument, nullptr, 'a'},
    {"jobs", required_argument, nullptr, 'j'},
    {"model", required_argument, nullptr, kModel},
    {"summary", required_argument, nullptr, kSummary},
    {"report", required_argument, nullptr, kReport},
    {"resume", no_argument, nullptr, kResume},
    {"retries", required_argument, nullptr, kRetries},
    {"retry-on", required_argument, nullptr, kRetryOn},
    {"timeout", required_argument, nullptr, kTimeout},
    {"kill-after", required_argument, nullptr, kKillAfter},
    {"max-fails", required_argument, nullptr, kMaxFails},
    {"dry-run", no_argument, nullptr, 'n'},
    {"status", no_argument, nullptr, kStatus},
    {"slurm", no_argument, nullptr, kSlurm},
    {"sbatch-option", required_argument, nullptr, kSbatchOption},
    {"per-task", required_argument, nullptr, kPerTask},
    {"job-name", required_argument, nullptr, kJobName},
    {"slurm-output", required_argument, nullptr, kSlurmOutput},
    {"task-prologue", required_argument, nullptr, kTaskPrologue},
    {"detach", no_argument, nullptr, kDetach},
    {"latency-wait", required_argument, nullptr, kLatencyWait},
    {"task", required_argument, nullptr, kTask},
    {"task-offset", required_argument, nullptr, kTaskOffset},
    {"prologue-failed", required_argument, nullptr, kPrologueFailed},
    {"make-cases", no_argument, nullptr, kMakeCases},
    {"force", no_argument, nullptr, kForce},
    {"parameters", required_argument, nullptr, kParameters},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
};

/// Reads `text` as a whole integer from `low` to `high` into `*value`.
bool ReadInteger(const char* text, long low, long high, long* value) {
  char* end = nullptr;
  errno = 0;
  *value = std::strtol(text, &end, 10);
  return end != text && *end == '\0' && errno == 0 && *value >= low && *value <= high;
}

/// Reads `text` as a number of seconds, decimals allowed, into `*value`:
/// more than 0, or at least 0 when `zero` is allowed.
bool ReadSeconds(const char* text, double* value, bool zero = false) {
  char* end = nullptr;
  *value = std::strtod(text, &end);
  bool above = zero ? *value >= 0 : *value > 0;
  return end != text && *end == '\0' && std::isfinite(*value) && above && *value < 1e9;
}

/// Reads the comma-separated return values `text` into `*values`.
bool ReadValues(const std::string& text, std::vector<int>* values) {
  size_t from = 0;
  for (;;) {
    size_t comma = text.find(',', from);
    long value;
    std::string part = text.substr(from, comma == std::string::npos ? comma : comma - from);
    if (!ReadInteger(part.c_str(), INT_MIN, INT_MAX, &value)) return false;
    values->push_back(static_cast<int>(value));
    if (comma == std::string::npos) return true;
    from = comma + 1;
  }
}

/// `need`, saying what the option was given instead.
std::string Needs(const char* need, const char* arg) {
  return std::string(need) + ", not '" + arg + "'";
}

/// Why `path` is no name for a summary, or empty: it ends in .tsv, .txt
/// or .jsonl, or has no extension (tab-separated).
std::string SummaryNameProblem(const std::string& path) {
  std::string name = path.substr(path.rfind('/') + 1);
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return "";
  std::string extension = name.substr(dot);
  if (extension == ".tsv" || extension == ".txt" || extension == ".jsonl") return "";
  return "--summary writes tab-separated values (.tsv, .txt) or JSON Lines (.jsonl), not " +
         extension + ": " + path;
}

/// Takes option `option` with argument `arg`. Returns why it is wrong, or
/// an empty text.
std::string TakeOption(int option, const char* arg, Request* r) {
  long n = 0;
  switch (option) {
    case 'a':
      r->lists.push_back(arg);
      return ReadJobList(arg, &r->paths, &r->origins);
    case 'j':
      if (!ReadInteger(arg, 1, 100000, &n))
        return Needs("-j needs a number from 1 to 100000", arg);
      r->parallel = static_cast<size_t>(n);
      return "";
    case kModel:
      r->model = arg;
      if (r->model.find_first_of("\r\n") != std::string::npos)
        return "--model holds a line end";
      return "";
    case kSummary: r->summary = arg; return SummaryNameProblem(arg);
    case kReport: r->report = arg; return "";
    case kResume: r->resume = true; return "";
    case kRetries:
      if (!ReadInteger(arg, 0, 1000, &n))
        return Needs("--retries needs a number from 0 to 1000", arg);
      r->retries = static_cast<int>(n);
      return "";
    case kRetryOn:
      return ReadValues(arg, &r->retry_on) ? ""
             : Needs("--retry-on needs return values, as -10,7", arg);
    case kTimeout:
      return ReadSeconds(arg, &r->timeout) ? ""
             : Needs("--timeout needs a number of seconds", arg);
    case kKillAfter:
      return ReadSeconds(arg, &r->kill_after) ? ""
             : Needs("--kill-after needs a number of seconds", arg);
    case kMaxFails:
      if (!ReadInteger(arg, 1, LONG_MAX, &n))
        return Needs("--max-fails needs a number of at least 1", arg);
      r->max_fails = static_cast<size_t>(n);
      return "";
    case 'n': r->dry_run = true; return "";
    case kStatus: r->status = true; return "";
    case kSlurm: r->slurm = true; return "";
    case kSbatchOption: r->sbatch_options.push_back(arg); return "";
    case kPerTask:
      if (!ReadInteger(arg, 1, 1000000, &n))
        return Needs("--per-task needs a number of at least 1", arg);
      r->per_task = static_cast<size_t>(n);
      return "";
    case kJobName:
      r->job_name = arg;
      return r->job_name.empty() || r->job_name.find_first_of("\r\n") != std::string::npos
                 ? "--job-name needs a name on one line" : "";
    case kSlurmOutput: r->slurm_output = arg; return "";
    case kTaskPrologue: return ReadWholeFile(arg, &r->prologue);
    case kDetach: r->detach = true; return "";
    case kLatencyWait:
      r->latency_wait_given = true;
      return ReadSeconds(arg, &r->latency_wait, true) ? ""
                                                     : "--latency-wait needs a number of seconds";
    case kTask: r->task_file = arg; return "";
    case kTaskOffset:
      if (!ReadInteger(arg, 0, LONG_MAX, &n)) return "--task-offset needs a number";
      r->task_offset = static_cast<size_t>(n);
      return "";
    case kPrologueFailed:
      if (!ReadInteger(arg, 0, 255, &n)) return "--prologue-failed needs an exit status";
      r->prologue_failed = static_cast<int>(n);
      return "";
    case kMakeCases: r->make_cases = true; return "";
    case kForce: r->force = true; return "";
    case kParameters: r->parameters.push_back(arg); return "";
    case 'h': r->help = true; return "";
    case kVersion: r->version = true; return "";
    default: return "unknown option";
  }
}

/// The long options that `arg` ("--re", "--re=x") abbreviates, as
/// "--report, --resume"; the options only tasks take are left out.
std::string LongOptionsStarting(const std::string& arg) {
  std::string prefix = arg.substr(2, arg.find('=') - 2);
  std::string names;
  for (const option& known : kOptions) {
    if (known.name == nullptr || known.val == kTask || known.val == kTaskOffset ||
        known.val == kPrologueFailed || std::strncmp(known.name, prefix.c_str(), prefix.size()) != 0)
      continue;
    names += (names.empty() ? "--" : ", --") + std::string(known.name);
  }
  return names;
}

}  // namespace

std::string ParseOptions(int argc, char** argv, Request* request) {
  opterr = 0;
  optind = 1;
  int option;
  bool retries_given = false;
  while ((option = getopt_long(argc, argv, ":a:j:nh", kOptions, nullptr)) != -1) {
    if (option == '?' || option == ':') {
      std::string name = optopt != 0 ? std::string("-") + static_cast<char>(optopt)
                                     : std::string(argv[optind - 1]);
      std::string matches = option == '?' && optopt == 0 ? LongOptionsStarting(name) : "";
      if (matches.find(',') != std::string::npos)
        return "option " + name.substr(0, name.find('=')) + " is ambiguous: " + matches;
      return (option == ':' || (optopt != 0 && std::string("aj").find(static_cast<char>(optopt)) !=
                                                   std::string::npos)
                  ? "option " + name + " needs a value"
                  : "unknown option " + name);
    }
    retries_given = retries_given || option == kRetries;
    std::string why = TakeOption(option, optarg, request);
    if (!why.empty()) return why;
  }
  for (int i = optind; i < argc; ++i) request->paths.push_back(argv[i]);
  request->origins.resize(request->paths.size());
  if (request->help || request->version || !request->task_file.empty()) return "";
  if (request->make_cases)
    return request->paths.size() == 3 ? "" : "--make-cases needs TEMPLATE TABLE OUTDIR";
  if (request->force) return "--force needs --make-cases";
  if (request->paths.empty()) return "no JOB given";
  bool slurm_only = !request->sbatch_options.empty() || request->per_task != 1 ||
                    request->job_name != "kvsolver-batch" ||
                    request->slurm_output != "kvsolver-batch-slurm" ||
                    !request->prologue.empty() || request->detach ||
                    request->latency_wait_given;
  if (slurm_only && !request->slurm)
    return "--sbatch-option, --per-task, --job-name, --slurm-output, --task-prologue, "
           "--latency-wait and --detach need --slurm";
  if (request->dry_run && request->status) return "--dry-run and --status exclude each other";
  // Return values to retry ask for a retry: one, unless --retries says.
  if (!request->retry_on.empty() && !retries_given) request->retries = 1;
  return "";
}

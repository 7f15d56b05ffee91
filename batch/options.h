// kvsolver-batch's command line.
#ifndef KVSOLVER_BATCH_OPTIONS_H_
#define KVSOLVER_BATCH_OPTIONS_H_

#include <string>
#include <vector>

/// What the command line asks for.
struct Request {
  size_t parallel = 0;                 ///< -j; 0: the CPUs
  std::string model;                   ///< --model
  std::string summary;                 ///< --summary
  std::string report;                  ///< --report
  bool resume = false;                 ///< --resume
  int retries = 0;                     ///< --retries; 1 when only --retry-on is given
  std::vector<int> retry_on;           ///< --retry-on
  double timeout = 0;                  ///< --timeout; 0: none
  double kill_after = 10;              ///< --kill-after
  size_t max_fails = 0;                ///< --max-fails; 0: none
  bool dry_run = false;                ///< --dry-run
  bool status = false;                 ///< --status
  bool slurm = false;                  ///< --slurm
  std::vector<std::string> sbatch_options;  ///< --sbatch-option
  size_t per_task = 1;                 ///< --per-task
  std::string job_name = "kvsolver-batch";  ///< --job-name
  std::string slurm_output = "kvsolver-batch-slurm";  ///< --slurm-output
  std::string prologue;                ///< --task-prologue: the file's text
  bool detach = false;                 ///< --detach
  double latency_wait = 5;             ///< --latency-wait
  bool latency_wait_given = false;     ///< whether --latency-wait was given
  std::string task_file;               ///< --task: run one cluster task of this list
  size_t task_offset = 0;              ///< --task-offset: the array's first task
  int prologue_failed = 0;             ///< --prologue-failed: the prologue's exit status
  bool make_cases = false;             ///< --make-cases TEMPLATE TABLE OUTDIR
  bool force = false;                  ///< --force: overwrite cases edited by hand
  std::vector<std::string> parameters; ///< --parameters: case tables to join
  bool help = false;                   ///< -h, --help
  bool version = false;                ///< --version
  std::vector<std::string> paths;      ///< the JOBs, from the arguments and -a
  std::vector<std::string> origins;    ///< by JOB: "FILE, line N" for -a, else empty
  std::vector<std::string> lists;      ///< the -a files, as given
};

/// Reads the command line into `*request`. Returns an empty text, or why
/// it is no request.
std::string ParseOptions(int argc, char** argv, Request* request);

/// The usage text that --help prints.
extern const char kBatchUsage[];

#endif  // KVSOLVER_BATCH_OPTIONS_H_

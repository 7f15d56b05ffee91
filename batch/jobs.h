// The jobs of a batch: which launcher run each JOB path stands for, and
// the files it leaves in its directory.
#ifndef KVSOLVER_BATCH_JOBS_H_
#define KVSOLVER_BATCH_JOBS_H_

#include <sys/types.h>

#include <string>
#include <vector>

/// One job: a command file, run by the launcher in the file's directory.
struct Job {
  std::string path;       ///< as given
  std::string directory;  ///< its directory as given, "." for none
  dev_t device = 0;       ///< the directory on disk: jobs alike share it,
  ino_t inode = 0;        ///< however the path spells or reaches it
  std::string file;       ///< the command file's name
  bool script = false;    ///< a .kss solver script (run with the model)
  int earlier_attempts = 0;  ///< attempts an earlier round of the batch made

  // Made from the file's name when asked for, so that a study of many
  // jobs holds each name once.
  /// The command file's name without its extension.
  std::string base() const { return file.substr(0, file.size() - 4); }
  /// BASE.log in the directory: the run's output.
  std::string log() const { return base() + ".log"; }
  /// BASE.result in the directory: how it ended.
  std::string result() const { return base() + ".result"; }
};

/// Names job `file` of `directory` without looking at the disk. Returns
/// false when the name is no .kcf, .acf or .kss file.
bool NameJob(const std::string& directory, const std::string& file, Job* job);

/// Reads JOB path `path`. Returns an empty text and fills `*job`, or says
/// why the path is no job: no .kcf, .acf or .kss file, or a missing one.
std::string ParseJob(const std::string& path, Job* job);

/// `name` in the job's directory, as the jobs were given ("case1/job.log").
std::string PathInDirectory(const Job& job, const std::string& name);

/// The job's log and its result file, as the jobs were given ("case1/job.log").
std::string LogPath(const Job& job);
std::string ResultPath(const Job& job);

/// Opens the job's directory for the *at() calls that work in it, or -1.
int OpenDirectory(const Job& job);

/// The jobs' indexes by directory: directories in the order they first
/// appear, and each directory's jobs in the order given.
std::vector<std::vector<size_t>> GroupByDirectory(const std::vector<Job>& jobs);

/// The launcher's arguments for `job`: the base name, or the model and
/// the base name of a solver script; one that begins with '-' is given as
/// "./NAME", so that the launcher takes no name for an option.
std::vector<std::string> LauncherArguments(const Job& job, const std::string& model);

/// Reads JOB paths from `path` ("-" for standard input), one a line, into
/// `*paths`; empty lines are skipped. Returns an empty text, or why not:
/// it can't be read, or a line holds a NUL byte (naming the line). Each
/// path's origin ("FILE, line N") goes to `*origins`, when given.
std::string ReadJobList(const std::string& path, std::vector<std::string>* paths,
                        std::vector<std::string>* origins = nullptr);

#endif  // KVSOLVER_BATCH_JOBS_H_

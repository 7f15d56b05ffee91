// The jobs of a batch: which launcher run each JOB path stands for, and
// the files it leaves in its directory.
#ifndef KVSOLVER_BATCH_JOBS_H_
#define KVSOLVER_BATCH_JOBS_H_

#include <string>
#include <vector>

/// One job: a command file, run by the launcher in the file's directory.
struct Job {
  std::string path;       ///< as given
  std::string directory;  ///< its directory as given, "." for none
  std::string key;        ///< its directory's real path: jobs alike share it
  std::string file;       ///< the command file's name
  std::string base;       ///< its name without the extension
  bool script;            ///< a .kss solver script (run with the model)
  std::string log;        ///< DIRECTORY/BASE.log: the run's output
  std::string result;     ///< DIRECTORY/BASE.result: how the run ended
};

/// Reads JOB path `path`. Returns an empty text and fills `*job`, or says
/// why the path is no job: no .kcf, .acf or .kss file, or a missing one.
std::string ParseJob(const std::string& path, Job* job);

/// The jobs' indexes by directory: directories in the order they first
/// appear, and each directory's jobs in the order given.
std::vector<std::vector<size_t>> GroupByDirectory(const std::vector<Job>& jobs);

/// The launcher's arguments for `job`: the base name, or the model and
/// the base name of a solver script.
std::vector<std::string> LauncherArguments(const Job& job, const std::string& model);

#endif  // KVSOLVER_BATCH_JOBS_H_

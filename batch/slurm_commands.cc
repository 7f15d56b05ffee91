#include "batch/slurm_commands.h"

#include <sys/wait.h>

#include <cstdlib>
#include <sstream>

#include "batch/spawn.h"

namespace {

/// Whether `status` is a clean exit.
bool Succeeded(int status) {
  return status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

/// `ids` joined by commas.
std::string Joined(const std::vector<std::string>& ids) {
  std::string list;
  for (const std::string& id : ids) list += (list.empty() ? "" : ",") + id;
  return list;
}

/// The value of `key`= in `text` (up to a blank or the line's end).
std::string ValueOf(const std::string& text, const std::string& key) {
  size_t at = text.find(key + "=");
  if (at == std::string::npos) return "";
  at += key.size() + 1;
  return text.substr(at, text.find_first_of(" \n", at) - at);
}

}  // namespace

size_t MaxArraySize() {
  std::string out, err;
  if (!Succeeded(Capture({"scontrol", "show", "config"}, &out, &err))) return 1001;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("MaxArraySize", 0) != 0) continue;
    size_t equals = line.find('=');
    long value = equals == std::string::npos ? 0 : std::atol(line.c_str() + equals + 1);
    return value > 0 ? static_cast<size_t>(value) : 1001;
  }
  return 1001;
}

std::string Submit(const std::vector<std::string>& arguments, std::string* why) {
  std::vector<std::string> argv = {"sbatch"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::string out, err;
  int status = Capture(argv, &out, &err);
  std::string id = out.substr(0, out.find_first_of(";\n"));
  if (Succeeded(status) && !id.empty()) return id;
  while (!err.empty() && err.back() == '\n') err.pop_back();
  *why = status < 0 ? err : "sbatch refused the array: " + (err.empty() ? out : err);
  return "";
}

bool QueuedTasks(const std::vector<std::string>& ids, std::map<std::string, std::string>* states) {
  std::string out, err;
  if (!Succeeded(Capture({"squeue", "--noheader", "--array", "--format=%i %T",
                          "--jobs=" + Joined(ids)}, &out, &err)))
    return false;
  std::istringstream lines(out);
  for (std::string task, state; lines >> task >> state;) (*states)[task] = state;
  return true;
}

std::string FinalState(const std::string& id) {
  std::string out, err;
  if (Succeeded(Capture({"scontrol", "--oneliner", "show", "job", id}, &out, &err))) {
    std::string state = ValueOf(out, "JobState");
    if (!state.empty()) return state;
  }
  out.clear();
  if (Succeeded(Capture({"sacct", "--noheader", "--parsable2", "--allocations",
                         "--format=State", "--jobs=" + id}, &out, &err)))
    return out.substr(0, out.find_first_of(" \n"));
  return "";
}

bool Cancel(const std::vector<std::string>& ids) {
  std::vector<std::string> argv = {"scancel"};
  argv.insert(argv.end(), ids.begin(), ids.end());
  std::string err;
  return Succeeded(Capture(argv, nullptr, &err));
}

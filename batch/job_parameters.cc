#include "batch/job_parameters.h"

#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <set>
#include <utility>

#include "batch/make_cases.h"
#include "batch/param_table.h"

namespace {

using DirectoryId = std::pair<dev_t, ino_t>;

/// The values of the parameter columns by case directory, and the columns.
struct Joined {
  std::vector<std::string> columns;
  std::map<DirectoryId, std::map<std::string, std::string>> values;
};

/// The directory `path` names on disk, or nothing.
std::optional<DirectoryId> IdOf(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return std::nullopt;
  return DirectoryId{info.st_dev, info.st_ino};
}

/// Adds the case table `table` (read from `path`) to `*joined`.
void AddTable(const std::string& path, const ParamTable& table, Joined* joined) {
  for (size_t c = 1; c < table.columns.size(); ++c)
    if (std::find(joined->columns.begin(), joined->columns.end(), table.columns[c]) ==
        joined->columns.end())
      joined->columns.push_back(table.columns[c]);
  std::string directory = path.substr(0, path.rfind('/') + 1);
  for (const ParamTable::Row& row : table.rows) {
    std::optional<DirectoryId> id = IdOf(directory + row.values[0]);
    if (!id) continue;
    for (size_t c = 1; c < table.columns.size(); ++c)
      joined->values[*id][table.columns[c]] = row.values[c];
  }
}

/// The cases.tsv in the parent of each job's directory that is there.
std::vector<std::string> FoundTables(const Study& study) {
  // Jobs side by side share one table: its name is kept once, and only
  // for a table there is.
  std::set<std::pair<dev_t, ino_t>> seen;
  std::vector<std::string> found;
  for (const Job& job : study.jobs) {
    std::string table = job.directory + "/../" + kCasesTable;
    struct stat info;
    if (stat(table.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        seen.insert({info.st_dev, info.st_ino}).second)
      found.push_back(table);
  }
  return found;
}

}  // namespace

std::string JoinParameters(const std::vector<std::string>& tables, Study* study) {
  Joined joined;
  std::set<DirectoryId> read;
  for (const std::string& path : tables) {
    ParamTable table;
    std::string why = ReadParamTable(path, &table);
    if (!why.empty()) return why;
    if (IdOf(path)) read.insert(*IdOf(path));
    AddTable(path, table, &joined);
  }
  for (const std::string& path : FoundTables(*study)) {
    ParamTable table;
    std::optional<DirectoryId> id = IdOf(path);
    if (!id || !read.insert(*id).second || !ReadParamTable(path, &table).empty()) continue;
    AddTable(path, table, &joined);
  }
  study->parameter_columns = joined.columns;
  study->parameters.clear();
  if (joined.columns.empty()) return "";
  study->parameters.resize(study->jobs.size());
  for (size_t i = 0; i < study->jobs.size(); ++i) {
    const auto& values = joined.values[{study->jobs[i].device, study->jobs[i].inode}];
    for (const std::string& column : joined.columns)
      study->parameters[i].push_back(values.count(column) != 0 ? values.at(column) : "");
  }
  return "";
}

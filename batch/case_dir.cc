#include "batch/case_dir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "batch/content_hash.h"
#include "batch/escape.h"
#include "batch/param_table.h"
#include "batch/read_file.h"
#include "batch/replace_file.h"

namespace {

constexpr char kTemporary[] = ".kvsolver-case-";

/// The record of `dirfd` (directory `path`) into `*record`; false when
/// there is none that reads.
bool ReadRecord(int dirfd, const std::string& path, std::map<std::string, std::string>* record) {
  std::string bytes;
  ParamTable table;
  std::string shown = path + "/" + kCaseRecord;
  if (!ReadWholeFileAt(dirfd, kCaseRecord, shown, &bytes).empty() ||
      !ParseParamTable(shown, bytes, &table).empty() || table.columns.size() != 2)
    return false;
  for (const ParamTable::Row& row : table.rows) (*record)[row.values[0]] = row.values[1];
  return true;
}

/// The hash of file `name` in `dirfd`, "missing" when it is no regular file.
std::string HashOnDisk(int dirfd, const std::string& name) {
  std::string bytes;
  return ReadWholeFileAt(dirfd, name, name, &bytes).empty() ? HashBytes(bytes) : "missing";
}

/// The record of `files`.
std::map<std::string, std::string> RecordOf(const CaseFiles& files) {
  std::map<std::string, std::string> record;
  for (const auto& [name, bytes] : files) record[name] = HashBytes(bytes);
  return record;
}

/// The record as its file holds it.
std::string RecordText(const std::map<std::string, std::string>& record) {
  std::string text = "file\txxh128\n";
  for (const auto& [name, hash] : record) text += EscapeField(name) + "\t" + hash + "\n";
  return text;
}

/// Finds the files of `found.record` that are neither as made nor as wanted.
void FindEdits(int dirfd, const std::map<std::string, std::string>& wanted, CaseFinding* found) {
  for (const auto& [name, hash] : found->record) {
    std::string now = HashOnDisk(dirfd, name);
    auto want = wanted.find(name);
    if (now != hash && (want == wanted.end() || now != want->second))
      found->differing.push_back(name);
  }
}

/// Writes what `files` hold of `dirfd` (shown as `path`) that is not so.
std::string WriteFiles(int dirfd, const std::string& path, const CaseFiles& files,
                       const std::map<std::string, mode_t>& modes) {
  for (const auto& [name, bytes] : files) {
    if (HashOnDisk(dirfd, name) == HashBytes(bytes)) continue;
    std::string why = ReplaceFileAt(dirfd, name, bytes, modes.at(name), kTemporary,
                                    path + "/" + name);
    if (!why.empty()) return why;
  }
  return "";
}

/// Removes the recorded files of `found` that `files` no longer hold.
std::string RemoveDropped(int dirfd, const std::string& path, const CaseFiles& files,
                          const CaseFinding& found) {
  for (const auto& [name, hash] : found.record)
    if (files.count(name) == 0 && unlinkat(dirfd, name.c_str(), 0) != 0 && errno != ENOENT)
      return "cannot remove " + path + "/" + name + ": " + std::strerror(errno);
  return "";
}

}  // namespace

CaseFinding FindCase(const std::string& path, const CaseFiles& files) {
  CaseFinding found;
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) return found;
  found.state = CaseState::kInTheWay;
  int dirfd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (dirfd < 0) return found;
  found.state = CaseState::kEdited;
  std::map<std::string, std::string> wanted = RecordOf(files);
  if (ReadRecord(dirfd, path, &found.record)) {
    FindEdits(dirfd, wanted, &found);
    if (found.differing.empty())
      found.state = found.record == wanted ? CaseState::kUnchanged : CaseState::kChanged;
  }
  close(dirfd);
  return found;
}

std::string WriteCase(const std::string& path, const CaseFiles& files,
                      const std::map<std::string, mode_t>& modes, const CaseFinding& found) {
  if (found.state == CaseState::kNew && mkdir(path.c_str(), 0777) != 0)
    return "cannot make " + path + ": " + std::strerror(errno);
  int dirfd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (dirfd < 0) return "cannot open " + path + ": " + std::strerror(errno);
  std::string why = WriteFiles(dirfd, path, files, modes);
  if (why.empty()) why = RemoveDropped(dirfd, path, files, found);
  if (why.empty())
    why = ReplaceFileAt(dirfd, kCaseRecord, RecordText(RecordOf(files)), 0644, kTemporary,
                        path + "/" + kCaseRecord);
  close(dirfd);
  return why;
}

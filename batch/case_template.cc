#include "batch/case_template.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "batch/placeholders.h"
#include "batch/read_file.h"

namespace {

/// The names in the open directory `dirfd`, but "." and "..", sorted.
std::vector<std::string> Names(int dirfd) {
  std::vector<std::string> names;
  DIR* dir = fdopendir(dup(dirfd));
  if (dir == nullptr) return names;
  while (dirent* entry = readdir(dir))
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
      names.push_back(entry->d_name);
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

/// Reads file `name` of the template `path` (open as `dirfd`) into `*file`.
std::string ReadOne(int dirfd, const std::string& path, const std::string& name,
                    TemplateFile* file) {
  std::string shown = path + "/" + name;
  struct stat info;
  if (fstatat(dirfd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
    return "cannot read " + shown + ": " + std::strerror(errno);
  if (!S_ISREG(info.st_mode))
    return shown + ": a template holds regular files only, not a directory or a link";
  file->name = name;
  file->mode = info.st_mode & 07777;
  file->expands = TakesPlaceholders(name);
  return ReadWholeFileAt(dirfd, name, shown, &file->bytes);
}

/// The value of column `name` in `values` under `columns`, if it has one.
std::optional<std::string> ValueOf(const std::vector<std::string>& columns,
                                   const std::vector<std::string>& values,
                                   const std::string& name) {
  auto at = std::find(columns.begin(), columns.end(), name);
  if (at == columns.end()) return std::nullopt;
  return values[static_cast<size_t>(at - columns.begin())];
}

}  // namespace

std::string ReadTemplate(const std::string& path, std::vector<TemplateFile>* files) {
  int dirfd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirfd < 0) return "cannot read the template " + path + ": " + std::strerror(errno);
  std::string why;
  for (const std::string& name : Names(dirfd)) {
    files->emplace_back();
    why = ReadOne(dirfd, path, name, &files->back());
    if (!why.empty()) break;
  }
  close(dirfd);
  if (why.empty() && files->empty()) why = "the template " + path + " holds no file";
  return why;
}

std::string CheckPlaceholders(const std::string& path, const std::vector<TemplateFile>& files,
                              const std::vector<std::string>& columns,
                              std::set<std::string>* used) {
  for (const TemplateFile& file : files) {
    if (!file.expands) continue;
    std::string ignored;
    std::string why = ExpandPlaceholders(
        file.bytes,
        [&](const std::string& name) -> std::optional<std::string> {
          if (std::find(columns.begin(), columns.end(), name) == columns.end())
            return std::nullopt;
          used->insert(name);
          return "";
        },
        &ignored);
    if (!why.empty()) return path + "/" + file.name + ": " + why;
  }
  return "";
}

CaseFiles MakeCaseFiles(const std::vector<TemplateFile>& files,
                        const std::vector<std::string>& columns,
                        const std::vector<std::string>& values) {
  CaseFiles made;
  for (const TemplateFile& file : files) {
    if (!file.expands) {
      made[file.name] = file.bytes;
      continue;
    }
    ExpandPlaceholders(
        file.bytes, [&](const std::string& name) { return ValueOf(columns, values, name); },
        &made[file.name]);
  }
  return made;
}
